#pragma once

#include <QByteArray>
#include <QString>

#include "platform/command_launcher.h"

// Keeps a picture this program put on the clipboard pasteable after the program has ended: on
// X11 and Wayland the clipboard's content lives in the program that copied it.
namespace torvix::画面キャプチャ {

// The clipboard as the program ends.
struct ClipboardAtExit {
    QString platform;               // QGuiApplication::platformName(): "xcb", "wayland", ...
    bool ownsClipboard = false;     // no other program has taken the clipboard since
    bool clipboardManager = false;  // an X11 clipboard manager takes the content over itself
    QByteArray png;                 // our picture, still on the clipboard as put there; else empty
};

// The clipboard now; `clipboardManager` comes from the caller, who can ask the X server.
ClipboardAtExit clipboardAtExit(bool clipboardManager);

// Unless the picture is not ours any more, a clipboard manager keeps it (Qt hands it over on X11
// as the application object goes) or the platform shares no clipboard with other programs:
// starts, detached, the tool that serves the picture until another program takes the clipboard
// over (xclip, wl-copy), from a temporary file that is removed once the tool has read it. False
// when nothing was started; a tool that is missing or cannot start is told on standard error.
bool keepPictureAfterExit(const ClipboardAtExit& clipboard, CommandLauncher& launcher);

}  // namespace torvix::画面キャプチャ
