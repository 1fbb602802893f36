#include "windows/logic/form7_report.h"

#include "windows/logic/form7_logic.h"

namespace torvix {

std::vector<ReportEntry> form7Report(Machine& machine, UserInterface& ui) {
    Form7Logic form7;
    form7.Form_Activate();  // opening makes it the active window
    form7.Command2_Click(machine, ui);
    return reportEntries(form7.model(), form7.model().names());
}

}  // namespace torvix
