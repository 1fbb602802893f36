#include "output/picture_keeper.h"

#include <gtest/gtest.h>

#include <QFile>

#include "windows/logic/form7_harness.h"

using namespace torvix::画面キャプチャ;

// The tool that keeps our picture, fed from a file it removes; none if not ours or a manager's.
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
        const QString line = launcher.commandLines().join(""), end = " >/dev/null 2>&1; rm -f";
        EXPECT_EQ(line.section(' ', 0, -2),
                  serve.isEmpty() ? "" : "sh -c " + serve + end + " -- \"$1\" sh");
        QFile::remove(line.section(' ', -1));
    }
}
