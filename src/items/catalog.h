#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "items/routine.h"

namespace torvix {

// A gathering routine of the main window: its caption button, the value boxes it writes (their
// tooltips carry an unguarded failure) and the routine.
struct ItemRoutine {
    QString button;
    QString routineName;
    QStringList boxes;
    void (*fn)(RoutineContext&);
};

// Every caption button's routine, keyed by button name.
const std::vector<ItemRoutine>& itemRoutines();
const ItemRoutine* findItemRoutine(const QString& button);

// Runs the routine of `button` as a click does; false when it failed (already reported) or the
// button has no routine.
bool runItem(RoutineContext& ctx, const QString& button);

}  // namespace torvix
