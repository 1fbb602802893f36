#pragma once

#include <optional>

#include "app/display_check.h"
#include "platform/system_functions.h"

namespace torvix {

// The primary screen's size in device pixels, asked of the display server Qt runs on (RandR on
// X11, the first output's mode on Wayland). Qt's own screen geometry is in scaled pixels, rounded:
// times the scale it gives 1280 * 1025 for 1280 * 1024 at 1.5. Other platforms: Qt's answer.
std::optional<ScreenSize> deviceScreenSize();

// Whether the main window should draw its own title bar: Qt runs on Wayland and the compositor
// does not offer to draw title bars itself.
bool compositorLeavesTitleBar();

}  // namespace torvix
