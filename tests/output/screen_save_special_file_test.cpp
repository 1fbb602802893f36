#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <future>

#include "output/screen_save.h"

using namespace torvix;

// A FIFO or a socket where the picture goes is refused at once: the save never waits for a
// reader and never replaces a special file. (No device here: a fault would replace the node.)
TEST(ScreenSave, SpecialFilesAreRefusedWithoutWaiting) {
    const struct {
        const char* kind;
        QString cause;
    } cases[] = {
        {"fifo", "not a regular file (a named pipe)"},
        {"socket", "not a regular file (a device or socket)"},
    };
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        QTemporaryDir desktop;
        const QString path = 画面保存::savePath(desktop.path());
        const QByteArray name = QFile::encodeName(path);
        if (QByteArray(c.kind) == "fifo") {
            ASSERT_EQ(::mkfifo(name.constData(), 0600), 0);
        } else {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            std::strncpy(a.sun_path, name.constData(), sizeof a.sun_path - 1);
            ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
            ::close(fd);
        }
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
