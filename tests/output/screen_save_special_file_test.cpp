#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <future>

#include "output/screen_save.h"

using namespace torvix;

// A FIFO or a device where the picture goes is refused at once: the save never waits for a
// reader and never writes into a device.
TEST(ScreenSave, SpecialFilesAreRefusedWithoutWaiting) {
    const struct {
        const char* kind;
        QString cause;
    } cases[] = {
        {"fifo", "not a regular file (a named pipe)"},
        {"device", "not a regular file (a device or socket)"},
    };
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        QTemporaryDir desktop;
        const QString path = 画面保存::savePath(desktop.path());
        const QByteArray name = QFile::encodeName(path);
        ASSERT_EQ(QByteArray(c.kind) == "fifo" ? ::mkfifo(name.constData(), 0600)
                                               : ::symlink("/dev/null", name.constData()),
                  0);
        auto done =
            std::async(std::launch::async, [&] { return 画面保存::writeBitmap(picture, path); });
        const bool waited = done.wait_for(std::chrono::seconds(5)) != std::future_status::ready;
        int reader = -1;
        if (waited) reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK);  // releases it
        const std::optional<QString> cause = done.get();
        if (reader >= 0) ::close(reader);
        EXPECT_FALSE(waited);
        EXPECT_EQ(cause.value_or("<saved>"), c.cause);
    }
}
