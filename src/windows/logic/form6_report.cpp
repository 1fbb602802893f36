#include "windows/logic/form6_report.h"

#include <QDir>

#include "windows/logic/form6_logic.h"

namespace torvix {

std::vector<ReportEntry> form6Report(Machine& machine, UserInterface& ui) {
    Form6Logic form6;
    form6.Form_Load(machine, currentDirectory(), ui);
    return reportEntries(form6.model(), form6.model().names());
}

}  // namespace torvix
