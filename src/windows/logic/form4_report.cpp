#include "windows/logic/form4_report.h"

#include <QDir>

#include "windows/logic/form4_logic.h"

namespace torvix {

std::vector<ReportEntry> form4Report(const FormModel& form1, Machine& machine, UserInterface& ui) {
    Form4Logic form4;
    form4.Form_Load(form1, machine, currentDirectory());
    form4.reportFileError(ui);
    return reportEntries(form4.model(), form4.model().names());
}

}  // namespace torvix
