#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/system_functions.h"

namespace torvix {

// Whether the display the window would use can be opened, asked before any QApplication exists:
// Qt aborts the process when its platform cannot start.
struct DisplayCheck {
    enum class Kind { None, X11, Wayland, Other };
    Kind kind = Kind::None;  // None: no display is named at all
    bool reachable = false;
    QString name;     // the display as named: ":99", "wayland-0", "offscreen"
    QString problem;  // why it cannot be opened, when not reachable
    // The connection the check made, held until the application has its own: an X server with
    // no other client resets when its last one leaves, and would refuse Qt in the middle.
    std::shared_ptr<void> connection;
};

// Reads QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY and XDG_RUNTIME_DIR. A platform named in
// QT_QPA_PLATFORM is checked when it is xcb or wayland and trusted otherwise (offscreen, ...).
// Without one, a Wayland socket that answers or an X server that answers is reachable.
DisplayCheck checkDisplay();

// The one line told when the display cannot be opened.
QString displayProblemLine(const DisplayCheck& check);

// The primary screen's size in device pixels as Qt's xcb platform would report it (RandR's
// primary monitor, else its first one, else the whole X screen), asked over the connection the
// check holds. Nothing for other displays or when X does not answer. Costs one or two round
// trips and no GUI library, so the report need not load one to tell the display size.
std::optional<ScreenSize> x11PrimaryScreenSize(const DisplayCheck& check);

// What a Wayland compositor tells a client of its own: the first output's current mode in
// device pixels (Qt takes the first output as the primary screen), turned as the output is, and
// whether it offers to draw title bars itself (xdg-decoration). Nothing for other displays or
// when the compositor does not answer. Costs a connection and two round trips, no GUI library.
struct WaylandFacts {
    std::optional<ScreenSize> firstOutput;
    bool serverDecorations = false;
};
std::optional<WaylandFacts> waylandFacts(const DisplayCheck& check);

// Whether `check` names a real screen (an X server or a Wayland compositor) whose size the
// report can ask for.
bool hasRealScreen(const DisplayCheck& check);

}  // namespace torvix
