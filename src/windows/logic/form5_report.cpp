#include "windows/logic/form5_report.h"

#include "windows/logic/form5_logic.h"

namespace torvix {

std::vector<ReportEntry> form5Report(Machine& machine) {
    Form5Logic form5;
    form5.Form_Load(machine);
    return reportEntries(form5.model(), form5.model().names());
}

}  // namespace torvix
