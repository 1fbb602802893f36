#pragma once

// The one door between the program and its window library (libtorvix-window.so). The program
// links Qt Core only and loads the library, with Qt Gui and Widgets behind it, when it opens a
// window. Both sides are built from this header together; the library refuses a program of
// another build through `abi` and `version`.

#include "app/display_check.h"
#include "app/logic/command_line.h"

namespace torvix {

struct WindowEntry {
    int abi;
    const char* version;  // TORVIX_VERSION of the library
    // Opens the window for a Mode::Window command line and runs the event loop; returns the exit
    // code. `display` is the reachable display the program checked; its connection is let go
    // once the application holds its own.
    int (*openWindow)(int argc, char** argv, const CommandLine* commandLine, DisplayCheck* display);
    // Runs a window-less mode of this computer with an application that can tell the primary
    // screen's size (a Wayland compositor, which the program cannot ask by itself).
    int (*reportOnScreen)(int argc, char** argv, const CommandLine* commandLine,
                          DisplayCheck* display);
};

// Raised whenever WindowEntry or a type it passes changes its layout.
constexpr int windowEntryAbi = 1;

}  // namespace torvix

// The library's only exported symbol.
extern "C" const torvix::WindowEntry* torvix_window_entry();
