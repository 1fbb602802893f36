#pragma once

#include <vector>

#include "items/report_entry.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix {

// `--window Form7`: the logon history window as a mouse-up over "ログオン回数(クリックで一覧)"
// opens it, with "表示する" pressed once on the count it loads with; Text1 line by line, then
// Label1, Text2, Command2, Command1, Command3 and Command4. Nothing else is pressed.
std::vector<ReportEntry> form7Report(Machine& machine, UserInterface& ui);

}  // namespace torvix
