#pragma once

#include "app/logic/form_layout.h"

namespace torvix {

// The version history window as designed: List1 and its close button Command1. Command1 has no
// background of its own in the model; the window paints it in the system's menu colour.
const FormSpec& form2Spec();

}  // namespace torvix
