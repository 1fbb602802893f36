#include "app/clipboard_at_exit.h"

#include <QGuiApplication>
#include <cstdlib>

#ifdef TORVIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "output/picture_keeper.h"
#include "platform/command_launcher.h"

namespace torvix {

bool x11ClipboardManagerRunning() {
#ifdef TORVIX_HAVE_XCB
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    static const char name[] = "CLIPBOARD_MANAGER";
    // An atom nobody has made yet: no manager has ever claimed it on this server.
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    const xcb_atom_t selection = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(atom);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool running = owner && owner->owner != XCB_NONE;
    free(owner);
    return running;
#else
    return false;
#endif
}

void keepClipboardPictureAtExit(CommandLauncher* launcher) {
    if (!launcher || !qGuiApp) return;
    画面キャプチャ::keepPictureAfterExit(
        画面キャプチャ::clipboardAtExit(x11ClipboardManagerRunning()), *launcher);
}

}  // namespace torvix
