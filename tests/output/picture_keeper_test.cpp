#include "output/picture_keeper.h"

#include <gtest/gtest.h>

#include <QFile>

#include "windows/logic/form7_harness.h"

using namespace torvix::画面キャプチャ;

// The tool that keeps our picture after the end, fed from a file it removes; none when the
// clipboard is no longer ours or a clipboard manager takes the picture from Qt.
TEST(PictureKeeper, ServesOurPictureOnlyWhileWeOwnTheClipboard) {
    const std::pair<ClipboardAtExit, QString> cases[] = {
        {{"xcb", true, false, "png"}, "xclip -selection clipboard -t image/png -i \"$1\""},
        {{"wayland", true, false, "png"}, "wl-copy --type image/png <\"$1\""},
        {{"xcb", false, false, "png"}, ""},
        {{"xcb", true, true, "png"}, ""},
    };
    for (const auto& [at, serve] : cases) {
        torvix::test::RecordingLauncher launcher;
        EXPECT_EQ(keepPictureAfterExit(at, launcher), !serve.isEmpty());
        QStringList line;
        for (const auto& call : launcher.calls) line << call.program << call.arguments;
        const QString script = serve + " >/dev/null 2>&1; rm -f -- \"$1\"";
        EXPECT_EQ(line.mid(0, 4),
                  serve.isEmpty() ? QStringList() : QStringList{"sh", "-c", script, "sh"});
        QFile::remove(line.value(4));
    }
}
