#include "output/picture_keeper.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <cstdio>

#include "output/window_capture.h"

namespace torvix::画面キャプチャ {

ClipboardAtExit clipboardAtExit(bool clipboardManager) {
    ClipboardAtExit at;
    at.platform = QGuiApplication::platformName();
    at.clipboardManager = clipboardManager;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    at.ownsClipboard = clipboard && clipboard->ownsClipboard();
    if (const std::optional<QImage> picture = placedPicture()) {
        QBuffer buffer(&at.png);
        buffer.open(QIODevice::WriteOnly);
        if (!picture->save(&buffer, "PNG")) at.png.clear();
    }
    return at;
}

std::optional<KeeperCommand> keeperCommand(const ClipboardAtExit& clipboard) {
    if (!clipboard.ownsClipboard || clipboard.png.isEmpty()) return std::nullopt;
    const QString png = QStringLiteral("image/png");
    if (clipboard.platform == QLatin1String("xcb")) {
        if (clipboard.clipboardManager) return std::nullopt;
        return KeeperCommand{QStringLiteral("xclip"),
                             {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                              QStringLiteral("-t"), png, QStringLiteral("-i")}};
    }
    // Wayland has no common protocol for handing the content over: wl-copy serves it, and a
    // desktop's own clipboard keeper takes it from there as from any other program.
    if (clipboard.platform == QLatin1String("wayland"))
        return KeeperCommand{QStringLiteral("wl-copy"), {QStringLiteral("--type"), png}};
    return std::nullopt;
}

bool keepPictureAfterExit(const ClipboardAtExit& clipboard, CommandLauncher& launcher) {
    const std::optional<KeeperCommand> command = keeperCommand(clipboard);
    if (!command) return false;
    const LaunchResult result =
        launcher.startDetachedWithInput(command->program, command->arguments, clipboard.png);
    if (!result.started)
        std::fprintf(stderr,
                     "torvix: the copied picture leaves the clipboard with the program: "
                     "%s cannot start (%s)\n",
                     qPrintable(command->program), qPrintable(result.errorText));
    return result.started;
}

}  // namespace torvix::画面キャプチャ
