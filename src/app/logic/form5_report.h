#pragma once

#include <vector>

#include "app/logic/form1_logic.h"
#include "app/logic/report.h"
#include "items/user_interface.h"

namespace torvix {

// `--window Form5`: the printer list as a mouse-up over "プリンター(クリックで一覧)" opens it;
// List1's entries, then Command1.
std::vector<ReportEntry> form5Report(Form1Logic& form1, UserInterface& ui);

}  // namespace torvix
