#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <future>

#include "platform/text/text_file.h"

using namespace torvix;

namespace {

// Makes a FIFO, a socket or a device at `path`. The device is a private node of the null device
// (root only), never a link to the system's: a fault could then at worst replace the test's own.
bool makeSpecial(const QString& kind, const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    if (kind == "fifo" || kind == "fifo with reader") return ::mkfifo(p.constData(), 0600) == 0;
    if (kind == "device") return ::mknod(p.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    if (kind == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, p.constData(), sizeof a.sun_path - 1);
        const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }
    return false;
}

// Runs `write` on its own thread; a write that still waits after 5 s is released by a reader on
// the FIFO so that the test ends either way, and counts as blocked.
struct Outcome {
    bool blocked = false;
    bool failed = false;
    int error = 0;
    QString cause;
};
Outcome writeWithoutWaiting(const QString& path, const std::function<void()>& write) {
    auto done = std::async(std::launch::async, [&] {
        Outcome o;
        try {
            write();
        } catch (const TextFileError& e) {
            o.failed = true;
            o.error = e.errorNumber();
            o.cause = e.cause();
        }
        return o;
    });
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return done.get();
    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    Outcome o = done.get();
    if (reader >= 0) ::close(reader);
    o.blocked = true;
    return o;
}

// The process's current directory is put back whatever happens in the test.
struct KeepCurrentDirectory {
    int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ~KeepCurrentDirectory() {
        if (fd >= 0) {
            EXPECT_EQ(::fchdir(fd), 0);
            ::close(fd);
        }
    }
};

}  // namespace

// A file of the program's name that is no regular file is refused at once with a clear cause:
// a FIFO never holds the window, a device never takes the text.
TEST(WrittenFile, OnlyRegularFilesAreWritten) {
    const struct {
        const char* kind;
        const char* cause;
    } cases[] = {
        {"fifo", "not a regular file (a named pipe)"},
        {"fifo with reader", "not a regular file (a named pipe)"},
        {"device", "not a regular file (a character device)"},
        {"socket", "not a regular file (a socket)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("MACアドレス.txt");
        if (!makeSpecial(c.kind, path)) {
            ASSERT_EQ(QByteArray(c.kind), "device") << std::strerror(errno);
            continue;  // no device nodes without privileges
        }
        int reader = -1;
        if (QByteArray(c.kind) == "fifo with reader")
            reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        const Outcome byLines = writeWithoutWaiting(
            path, [&] { writeTextLinesIn(dir.path(), "MACアドレス.txt", {"x"}, "UTF-8"); });
        const Outcome byWriter = writeWithoutWaiting(path, [&] {
            TextFileWriter w;
            w.open(path, "UTF-8");
            w.appendLine("y");
            w.close();
        });
        if (reader >= 0) {
            char buffer[16];
            EXPECT_EQ(::read(reader, buffer, sizeof buffer), 0) << "text went into the FIFO";
            ::close(reader);
        }
        for (const Outcome& o : {byLines, byWriter}) {
            EXPECT_FALSE(o.blocked);
            EXPECT_TRUE(o.failed);
            EXPECT_EQ(o.error, EINVAL);
            EXPECT_EQ(o.cause, c.cause);
        }
    }
}

// The current directory is what getcwd says, or unknown with its errno; a file meant for an
// unknown directory is written nowhere.
TEST(WrittenFile, CurrentDirectoryKnownOrRefused) {
    QTemporaryDir dir;
    const QString gone = dir.filePath("gone");
    ASSERT_TRUE(QDir().mkdir(gone));
    const struct {
        const char* name;
        std::function<CurrentDirectory()> directory;
        int error;
        QString path;  // joinCurrentDirectory's answer
    } cases[] = {
        {"a live folder", [&] { return currentDirectory(); }, 0, dir.path() + "/out.txt"},
        {"a removed folder",
         [&] {
             EXPECT_EQ(::chdir(QFile::encodeName(gone).constData()), 0);
             EXPECT_TRUE(QDir().rmdir(gone));
             return currentDirectory();
         },
         ENOENT, "out.txt"},
        {"the empty path Qt gives for a failed getcwd", [] { return CurrentDirectory(QString()); },
         ENOENT, "out.txt"},
        {"a folder that cannot be read", [] { return CurrentDirectory::unknown(EACCES); }, EACCES,
         "out.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeepCurrentDirectory keep;
        ASSERT_EQ(::chdir(QFile::encodeName(dir.path()).constData()), 0);
        const CurrentDirectory current = c.directory();
        EXPECT_EQ(current.error, c.error);
        EXPECT_EQ(current.known(), c.error == 0);
        EXPECT_EQ(joinCurrentDirectory(current, "out.txt"), c.path);
        try {
            writeTextLinesIn(current, "out.txt", {"line"}, "UTF-8");
            EXPECT_EQ(c.error, 0) << "written although the directory is unknown";
        } catch (const TextFileError& e) {
            EXPECT_EQ(e.errorNumber(), c.error);
            EXPECT_TRUE(e.cause().startsWith("the current directory ")) << e.cause().toStdString();
            EXPECT_TRUE(e.cause().contains(QString::fromLocal8Bit(std::strerror(c.error))));
        }
        EXPECT_EQ(QFile::exists(dir.filePath("out.txt")), c.error == 0);
        QFile::remove(dir.filePath("out.txt"));
    }
}
