#pragma once

namespace torvix {

class CommandLauncher;

// As the program ends: a picture of the window it left on the clipboard stays pasteable, handed
// to the session's clipboard manager (Qt does that on X11 when the application object goes) or
// served on by a small tool started through `launcher`. Call while the application object
// still exists.
void keepClipboardPictureAtExit(CommandLauncher* launcher);

// Whether an X11 clipboard manager owns the CLIPBOARD_MANAGER selection; false elsewhere.
bool x11ClipboardManagerRunning();

}  // namespace torvix
