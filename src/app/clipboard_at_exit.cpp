#include "app/clipboard_at_exit.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
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
    if (!画面キャプチャ::keepPictureAfterExit(
            画面キャプチャ::clipboardAtExit(x11ClipboardManagerRunning()), *launcher))
        return;
    // A paste between our end and the tool taking the clipboard would find nothing: wait a
    // moment for the tool (it takes well under a second).
    QClipboard* clipboard = QGuiApplication::clipboard();
    QEventLoop loop;
    QObject::connect(clipboard, &QClipboard::dataChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    if (clipboard->ownsClipboard()) loop.exec();
}

}  // namespace torvix
