#include "items/report_entry.h"

namespace torvix {

std::vector<ReportEntry> reportEntries(const FormModel& model, const QStringList& order,
                                       const QStringList& listBoxes) {
    std::vector<ReportEntry> out;
    out.reserve(static_cast<size_t>(order.size()));
    for (const QString& name : order) {
        if (!model.has(name)) continue;
        const FormModel::Control& c = model.control(name);
        ReportEntry e;
        e.name = name;
        e.background = c.background;
        if (listBoxes.contains(name)) {
            e.isList = true;
            e.items = c.items;
        } else {
            e.text = c.text;
        }
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace torvix
