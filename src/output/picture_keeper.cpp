#include "output/picture_keeper.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <cstdio>

#include "output/window_capture.h"

namespace torvix::画面キャプチャ {

namespace {

void tell(const QString& why) {
    std::fprintf(stderr, "torvix: the copied picture leaves the clipboard with the program: %s\n",
                 qPrintable(why));
}

}  // namespace

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

bool keepPictureAfterExit(const ClipboardAtExit& clipboard, CommandLauncher& launcher) {
    if (!clipboard.ownsClipboard || clipboard.png.isEmpty()) return false;
    // Both tools read the picture, take the clipboard and go on serving in the background.
    // Wayland has no common protocol for handing the content over: a desktop's own clipboard
    // keeper takes it from wl-copy as from any other program.
    QString tool, serve;
    if (clipboard.platform == QLatin1String("xcb") && !clipboard.clipboardManager) {
        tool = QStringLiteral("xclip");
        serve = QStringLiteral("xclip -selection clipboard -t image/png -i \"$1\"");
    } else if (clipboard.platform == QLatin1String("wayland")) {
        tool = QStringLiteral("wl-copy");
        serve = QStringLiteral("wl-copy --type image/png <\"$1\"");
    } else {
        return false;
    }
    if (launcher.findProgram(tool).isEmpty()) {
        tell(QStringLiteral("%1 is not installed").arg(tool));
        return false;
    }
    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("torvix-XXXXXX.png")));
    file.setAutoRemove(false);
    if (!file.open() || file.write(clipboard.png) != clipboard.png.size() || !file.flush()) {
        tell(file.errorString());
        file.remove();
        return false;
    }
    file.close();
    const LaunchResult result = launcher.startDetached(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), serve + QStringLiteral(" >/dev/null 2>&1; rm -f -- \"$1\""),
         QStringLiteral("sh"), file.fileName()});
    if (!result.started) {
        file.remove();
        tell(QStringLiteral("%1 cannot start (%2)").arg(tool, result.errorText));
    }
    return result.started;
}

}  // namespace torvix::画面キャプチャ
