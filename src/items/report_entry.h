#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "items/form_model.h"

namespace torvix {

// One control as the report prints it. A list box carries its entries instead of a text.
struct ReportEntry {
    QString name;
    QString text;
    std::optional<Rgb> background;
    bool isList = false;
    QStringList items;
};

// The controls `order` names, read from `model`; the names in `listBoxes` are printed entry by
// entry.
std::vector<ReportEntry> reportEntries(const FormModel& model, const QStringList& order,
                                       const QStringList& listBoxes = {QStringLiteral("List1")});

}  // namespace torvix
