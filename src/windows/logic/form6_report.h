#pragma once

#include <vector>

#include "items/report_entry.h"
#include "items/user_interface.h"
#include "platform/machine.h"

namespace torvix {

// `--window Form6`: the special folder window as a click on "特殊フォルダの表示" opens it, its
// file written to the current directory as the window writes it; List1's entries, then
// Command1. A load that fails is told through `ui` (standard error in the report).
std::vector<ReportEntry> form6Report(Machine& machine, UserInterface& ui);

}  // namespace torvix
