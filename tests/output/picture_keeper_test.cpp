#include "output/picture_keeper.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QWidget>

#include "output/window_capture.h"
#include "windows/logic/form7_harness.h"

using namespace torvix;
using namespace torvix::画面キャプチャ;

// Which tool keeps the picture once the program has ended, and that nothing starts when the
// clipboard is no longer ours or holds no picture of ours.
TEST(PictureKeeper, ServesOurPictureOnlyWhileWeOwnTheClipboard) {
    const struct {
        const char* platform;
        bool owns, manager, picture;
        QString command;  // empty: nothing started
    } cases[] = {
        {"xcb", true, false, true, "xclip -selection clipboard -t image/png -i"},
        {"wayland", true, false, true, "wl-copy --type image/png"},
        {"xcb", false, false, true, ""},  // another program took the clipboard over
        {"wayland", false, false, true, ""},
        {"xcb", true, false, false, ""},  // text copied since, or nothing of ours
        {"xcb", true, true, true, ""},    // the clipboard manager gets it from Qt
        {"offscreen", true, false, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.platform) + (c.owns ? " owned" : "") +
                     (c.manager ? " manager" : "") + (c.picture ? " picture" : ""));
        test::RecordingLauncher launcher;
        ClipboardAtExit at{c.platform, c.owns, c.manager, c.picture ? "\x89PNG" : ""};
        EXPECT_EQ(keepPictureAfterExit(at, launcher), !c.command.isEmpty());
        EXPECT_EQ(launcher.commandLines(),
                  c.command.isEmpty() ? QStringList{} : QStringList{c.command});
        for (const auto& call : launcher.calls) {
            EXPECT_EQ(call.how, "startDetachedWithInput");
            EXPECT_EQ(call.input, "\x89PNG");
        }
    }

    // The picture the capture put there is ours until anything replaces it.
    setWaitMs(0);
    QWidget window;
    window.resize(120, 80);
    ASSERT_TRUE(captureToClipboard(&window, false));
    QImage png;
    ASSERT_TRUE(png.loadFromData(clipboardAtExit(false).png, "PNG"));
    EXPECT_EQ(png.size(), QSize(120, 80) * window.devicePixelRatio());
    QGuiApplication::clipboard()->setText("text");
    EXPECT_TRUE(clipboardAtExit(false).png.isEmpty());
    setWaitMs(500);
}
