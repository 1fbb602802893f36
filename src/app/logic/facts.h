#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/logic/form1_logic.h"
#include "platform/machine.h"

namespace torvix {

// One item of the main window under its stable fleet key: the value box it is read from, or the
// three DNS boxes for "dns", or a clock label whose caption is cut off.
struct FactItem {
    QString key;
    QStringList boxes;      // more than one: a JSON array
    QString captionPrefix;  // clock labels: the text before the value
};
const std::vector<FactItem>& factItems();

// --facts: one JSON object with the keys in this order: version, collected, every item of
// factItems(), installed_software, printers, boots. An item is the text its box shows, null
// where the box still shows its design text "------" (or a clock label has no value yet).
// `form1` has run its start-up sequence and one clock tick.
QByteArray factsJson(Form1Logic& form1);

// The start-up sequence and one clock tick on `machine`, then factsJson. Returns the exit code.
int runFacts(Machine& machine, QByteArray& out);

// A local or offset date-time as ISO 8601 with its offset: 2024-04-01T08:05:09+09:00.
QString isoWithOffset(const QDateTime& time);

}  // namespace torvix
