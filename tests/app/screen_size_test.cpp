#include "app/screen_size.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "support/test_support.h"

namespace {

using torvix::test::runProgram;

const QString screen = QStringLiteral("1280x1024");

// A test process of ours on a real display, told which size to expect.
QString childOnDisplay(QProcessEnvironment env, const QString& launcher = {},
                       QStringList launcherArgs = {}) {
    env.insert("TORVIX_EXPECT_SCREEN", screen);
    launcherArgs << QCoreApplication::applicationFilePath()
                 << "--gtest_filter=ScreenSize.OfTheDisplayQtRunsOn";
    const QString program = launcher.isEmpty() ? launcherArgs.takeFirst() : launcher;
    const auto r = runProgram(program, launcherArgs, env);
    const QString out = QString::fromLocal8Bit(r.out + r.err);
    return r.exitCode == 0 && out.contains("[  PASSED  ] 1 test") && !out.contains("SKIPPED")
               ? QString()
               : out;
}

// Every case of the display servers' tables: scaled by Qt, by the font resolution, or not.
const QStringList scalings[] = {
    {}, {"QT_SCALE_FACTOR=1.5"}, {"QT_SCALE_FACTOR=2"}, {"QT_FONT_DPI=144"}};

void insertAll(QProcessEnvironment& env, const QStringList& pairs) {
    for (const QString& pair : pairs) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
}

}  // namespace

// Run by the two tests below in a child process on a real display.
TEST(ScreenSize, OfTheDisplayQtRunsOn) {
    const QString expected = qEnvironmentVariable("TORVIX_EXPECT_SCREEN");
    if (expected.isEmpty()) GTEST_SKIP() << "the child of the tests on a real display";
    const std::optional<torvix::ScreenSize> s = torvix::deviceScreenSize();
    ASSERT_TRUE(s);
    EXPECT_EQ(QStringLiteral("%1x%2").arg(s->width).arg(s->height), expected);
}

TEST(ScreenSize, DevicePixelsUnderXvfbAtEveryScale) {
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    for (const QStringList& scaling : scalings) {
        SCOPED_TRACE(scaling.join(' ').toStdString());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        insertAll(env, scaling);
        EXPECT_EQ(childOnDisplay(env, xvfbRun, {"-a", "-s", "-screen 0 1280x1024x24"}), QString());
    }
}

// Under a real weston (which leaves title bars to its clients) at output scales 1 and 2: the
// screen's size in the window and in the report, and a window whose only title bar is its own:
// the screen shows nothing of it beyond what the window draws itself.
TEST(ScreenSize, WindowUnderWeston) {
    const QString weston = QStandardPaths::findExecutable("weston");
    const QString shooter = QStandardPaths::findExecutable("weston-screenshooter");
    if (weston.isEmpty() || shooter.isEmpty()) GTEST_SKIP() << "weston is not installed";
    const struct {
        int westonScale;
        QStringList env;
    } cases[] = {{1, scalings[0]}, {1, scalings[1]}, {1, scalings[3]}, {2, scalings[0]}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("weston --scale=%1 %2")
                         .arg(c.westonScale)
                         .arg(c.env.join(' '))
                         .toStdString());
        QTemporaryDir dir;
        const QString runtime = dir.filePath("run");
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile ini(dir.filePath("weston.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[shell]\nbackground-color=0xff204060\npanel-position=none\n");
        ini.close();
        const QString socket =
            QStringLiteral("torvix-test-%1").arg(QCoreApplication::applicationPid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                 "XDG_SESSION_TYPE", "QT_SCALE_FACTOR", "QT_FONT_DPI"})
            env.remove(name);
        env.insert("XDG_RUNTIME_DIR", runtime);
        QProcess server;
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(weston,
                     {"--config=" + ini.fileName(), "--backend=headless-backend.so", "--use-pixman",
                      // In output pixels: the mode is this times the scale.
                      QStringLiteral("--width=%1").arg(1280 / c.westonScale),
                      QStringLiteral("--height=%1").arg(1024 / c.westonScale),
                      QStringLiteral("--scale=%1").arg(c.westonScale), "--socket=" + socket,
                      "--debug", "--idle-time=0"});
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(runtime + '/' + socket) && server.state() != QProcess::NotRunning &&
               t.elapsed() < 15000)
            QThread::msleep(50);
        if (!QFile::exists(runtime + '/' + socket)) {
            server.kill();
            server.waitForFinished();
            GTEST_SKIP() << "weston did not start: " << server.readAll().constData();
        }
        env.insert("WAYLAND_DISPLAY", socket);
        const auto report = runProgram(TORVIX_BINARY, {"--report"}, env, dir.path());
        EXPECT_TRUE(report.out.contains("Text8\t1280 * 1024\t")) << report.err.constData();

        env.insert("QT_QPA_PLATFORM", "wayland");
        insertAll(env, c.env);
        EXPECT_EQ(childOnDisplay(env), QString());

        env.insert("TORVIX_GRAB_PNG", dir.filePath("grab.png"));
        QProcess window;
        window.setProcessEnvironment(env);
        window.setWorkingDirectory(dir.path());
        window.start(TORVIX_BINARY,
                     {"--machine", torvix::test::dataPath("machines/office_pc.json")});
        QImage grab;
        t.restart();
        while (grab.isNull() && t.elapsed() < 30000 && window.state() != QProcess::NotRunning) {
            QThread::msleep(100);
            grab.load(dir.filePath("grab.png"));
        }
        ASSERT_FALSE(grab.isNull()) << window.readAllStandardError().constData();
        // The bounds of all that differs from the background, once the window is on screen.
        QRect drawn;
        for (int attempt = 0; attempt < 20 && drawn.isEmpty(); ++attempt) {
            QThread::msleep(200);
            for (const QString& old : QDir(dir.path()).entryList({"wayland-screenshot*.png"}))
                QFile::remove(dir.filePath(old));
            runProgram(shooter, {}, env, dir.path());
            const QStringList shots = QDir(dir.path()).entryList({"wayland-screenshot*.png"});
            const QImage shot = shots.isEmpty() ? QImage() : QImage(dir.filePath(shots.first()));
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if ((shot.pixel(x, y) & 0xffffff) != 0x204060) drawn |= QRect(x, y, 1, 1);
        }
        EXPECT_EQ(drawn.size(), grab.size());
        window.terminate();
        EXPECT_TRUE(window.waitForFinished(10000));
        server.terminate();
        server.waitForFinished();
    }
}
