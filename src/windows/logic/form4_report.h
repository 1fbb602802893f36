#pragma once

#include <vector>

#include "items/form_model.h"
#include "items/report_entry.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix {

// `--window Form4`: the MAC address list as a mouse-up over "MACアドレス(クリックで一覧)" opens
// it, the file written to the current directory as the window writes it; List1's entries, then
// Command1. A file that cannot be written is told through `ui` (standard error in the report).
std::vector<ReportEntry> form4Report(const FormModel& form1, Machine& machine, UserInterface& ui);

}  // namespace torvix
