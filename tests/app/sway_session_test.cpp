#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>

#include "app/clipboard_at_exit.h"
#include "output/screen_copy.h"
#include "platform/command_launcher.h"
#include "support/test_support.h"

namespace {

const QSize windowSize(320, 240);

// A headless sway run as `nobody` (it refuses root); programs join it as the same user.
class SwaySession {
  public:
    SwaySession(const QString& dir, const passwd& user) : dir_(dir), user_(user) {}
    ~SwaySession() {
        sway_.kill();
        sway_.waitForFinished();
    }

    bool start() {
        QFile config(dir_ + "/config");
        if (!config.open(QIODevice::WriteOnly) ||
            config.write("output * bg #204060 solid_color\n") < 0)
            return false;
        config.close();
        const QString run = dir_ + "/run";
        if (mkdir(QFile::encodeName(run), 0700) != 0 ||
            chown(QFile::encodeName(run), user_.pw_uid, user_.pw_gid) != 0 ||
            chown(QFile::encodeName(dir_), user_.pw_uid, user_.pw_gid) != 0)
            return false;
        sway_.setStandardOutputFile(dir_ + "/sway.log");  // its chatter never fills a pipe
        sway_.setStandardErrorFile(dir_ + "/sway.log", QIODevice::Append);
        sway_.start("setpriv", asUser({"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
                                       "WLR_RENDERER=pixman", "sway", "-c", config.fileName()}));
        for (int i = 0; i < 100 && !QFile::exists(run + "/wayland-1"); ++i) QThread::msleep(100);
        return QFile::exists(run + "/wayland-1");
    }

    // setpriv's arguments for `command` as the user, in the session, with a clean environment.
    QStringList asUser(const QStringList& command) const {
        QStringList args{"--reuid=" + QString::number(user_.pw_uid),
                         "--regid=" + QString::number(user_.pw_gid),
                         "--clear-groups",
                         "env",
                         "-i",
                         "PATH=/usr/bin:/bin",
                         "HOME=" + dir_,
                         "XDG_RUNTIME_DIR=" + dir_ + "/run",
                         "WAYLAND_DISPLAY=wayland-1",
                         "LC_ALL=C.UTF-8"};
        for (const char* kept : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(kept))
                args << QString::fromLatin1(kept) + "=" + qEnvironmentVariable(kept);
        return args + command;
    }

    torvix::test::ProgramRun run(const QStringList& command) const {
        return torvix::test::runProgram("setpriv", asUser(command),
                                        QProcessEnvironment::systemEnvironment());
    }

    // The user's wl-copy processes: each serves one clipboard content.
    QStringList clipboardServers() const {
        return QString::fromLatin1(
                   run({"pgrep", "-u", QString::number(user_.pw_uid), "-x", "wl-copy"}).out)
            .split('\n', Qt::SkipEmptyParts);
    }

  private:
    QString dir_;
    passwd user_;
    QProcess sway_;
};

}  // namespace

// In the child: the copy routine puts a window's picture on the clipboard, and the program ends
// as the window's program does.
TEST(UnderSway, CopyThenEnd) {
    if (!qEnvironmentVariableIsSet("TORVIX_SWAY_CHILD")) GTEST_SKIP() << "run by the test below";
    QWidget window;
    window.setFixedSize(windowSize);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(torvix::画面コピー::copyToClipboard(&window));
    const auto launcher = torvix::makeLiveCommandLauncher();
    torvix::keepClipboardPictureAtExit(launcher.get());
}

// One headless sway (which, unlike headless weston, shares a clipboard between programs and
// draws title bars itself). After the program has ended, wl-paste still gives the picture,
// served by one small process that ends once another program copies something. The window keeps
// no bar of its own there, and the close request sway sends (its "kill") is refused as the window
// manager's is on X11.
TEST(UnderSway, CopiedPictureOutlivesTheProgramAndCloseIsRefused) {
    for (const char* tool : {"sway", "swaymsg", "wl-copy", "wl-paste", "setpriv", "pgrep"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() != 0 || !nobody) GTEST_SKIP() << "sway runs as nobody, started by root";
    QTemporaryDir dir;
    SwaySession sway(dir.path(), *nobody);
    ASSERT_TRUE(sway.start());
    ASSERT_TRUE(sway.clipboardServers().isEmpty());

    const auto child =
        sway.run({"QT_QPA_PLATFORM=wayland", "TORVIX_SWAY_CHILD=1",
                  QCoreApplication::applicationFilePath(), "--gtest_filter=UnderSway.CopyThenEnd"});
    ASSERT_TRUE(child.exitCode == 0 && child.out.contains("[  PASSED  ] 1 test") &&
                !child.out.contains("SKIPPED"))
        << child.out.constData() << child.err.constData();
    const auto pasted = sway.run({"wl-paste", "--type", "image/png"});
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(pasted.out, "PNG")) << pasted.err.constData();
    EXPECT_EQ(picture.size(), windowSize);
    const QStringList ours = sway.clipboardServers();
    ASSERT_EQ(ours.size(), 1);
    sway.run({"sh", "-c", "echo other | wl-copy"});
    QStringList now;
    for (int i = 0; i < 100 && (now = sway.clipboardServers()).contains(ours[0]); ++i)
        QThread::msleep(100);
    EXPECT_FALSE(now.contains(ours[0])) << "the picture's server is still running";
    EXPECT_EQ(sway.run({"wl-paste", "--no-newline"}).out, "other\n");
    sway.run({"pkill", "-u", QString::number(nobody->pw_uid), "-x", "wl-copy"});

    const QString grab = dir.path() + "/grab.png";
    QProcess window;
    window.start("setpriv",
                 sway.asUser({"QT_QPA_PLATFORM=wayland", "TORVIX_GRAB_PNG=" + grab, TORVIX_BINARY,
                              "--machine", torvix::test::dataPath("machines/office_pc.json")}));
    for (int i = 0; i < 300 && !picture.load(grab); ++i) QThread::msleep(100);
    ASSERT_TRUE(QFile::exists(grab)) << window.readAllStandardError().constData();
    EXPECT_EQ(picture.size(), QSize(752, 594));  // the form alone, with no bar of its own
    const QStringList sockets =
        QDir(dir.path() + "/run").entryList({"sway-ipc.*.sock"}, QDir::System);
    ASSERT_EQ(sockets.size(), 1);
    const auto killed = sway.run(
        {"SWAYSOCK=" + dir.path() + "/run/" + sockets[0], "swaymsg", "[title=トルビクス]", "kill"});
    EXPECT_EQ(killed.exitCode, 0) << killed.out.constData() << killed.err.constData();
    EXPECT_FALSE(window.waitForFinished(2000)) << "the close request ended the program";
    window.kill();
    window.waitForFinished();
}
