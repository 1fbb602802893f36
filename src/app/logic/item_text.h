#pragma once

#include <QString>

#include "items/form_model.h"

namespace torvix {

// The main window's items as text for a ticket: one line per value box, "caption<TAB>value" as
// the window shows them (the DNS caption once for each of its three boxes), then the four clock
// labels, each line ending in "\n".
QString itemTableText(const FormModel& model);

}  // namespace torvix
