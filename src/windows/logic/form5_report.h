#pragma once

#include <vector>

#include "items/report_entry.h"
#include "platform/machine.h"

namespace torvix {

// `--window Form5`: the printer list as a mouse-up over "プリンター(クリックで一覧)" opens it;
// List1's entries, then Command1.
std::vector<ReportEntry> form5Report(Machine& machine);

}  // namespace torvix
