#include "app/screen_size.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <utility>

#include "support/test_support.h"

namespace {

using torvix::test::runProgram;

const QString scalings[] = {{}, "QT_SCALE_FACTOR=1.5", "QT_SCALE_FACTOR=2", "QT_FONT_DPI=144"};

QProcessEnvironment scaled(QProcessEnvironment env, const QString& scaling,
                           const QString& screen = "1280x1024") {
    if (!scaling.isEmpty()) env.insert(scaling.section('=', 0, 0), scaling.section('=', 1));
    env.insert("TORVIX_EXPECT_SCREEN", screen);
    return env;
}

// Runs ScreenSize.OfTheDisplayQtRunsOn in a child (through `launcher`); empty when it passed.
QString child(const QProcessEnvironment& env, QStringList launcher = {}) {
    launcher << QCoreApplication::applicationFilePath() << "--gtest_filter=*.OfTheDisplayQtRunsOn";
    const QString program = launcher.takeFirst();
    const auto r = runProgram(program, launcher, env);
    const QString out = QString::fromLocal8Bit(r.out + r.err);
    const bool passed = r.exitCode == 0 && out.contains("[  PASSED  ] 1 test");
    return passed && !out.contains("SKIPPED") ? QString() : out;
}

const auto waitFor = [](auto done) {
    for (int tries = 0; tries < 300 && !done(); ++tries) QThread::msleep(100);
    return done();
};

}  // namespace

TEST(ScreenSize, OfTheDisplayQtRunsOn) {
    const QString expected = qEnvironmentVariable("TORVIX_EXPECT_SCREEN");
    if (expected.isEmpty()) GTEST_SKIP() << "run on a real display by the tests below";
    const std::optional<torvix::ScreenSize> s = torvix::deviceScreenSize();
    EXPECT_EQ(s ? QStringLiteral("%1x%2").arg(s->width).arg(s->height) : "none", expected);
}

TEST(ScreenSize, DevicePixelsUnderXvfbAtEveryScale) {
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    if (xvfbRun.isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    for (const QString& scaling : scalings)
        EXPECT_EQ(child(scaled(env, scaling), {xvfbRun, "-a", "-s", "-screen 0 1280x1024x24"}), "")
            << scaling.toStdString();
}

// Under a real weston, which leaves title bars to its clients, at output scales 1 and 2 (its size
// options count logical pixels; the screen at scale 2 is large enough for the doubled window):
// the screen's size in the report and the window, and nothing on screen but the window's own
// picture.
TEST(ScreenSize, WindowUnderWeston) {
    const QString shooter = QStandardPaths::findExecutable("weston-screenshooter");
    if (shooter.isEmpty()) GTEST_SKIP() << "weston is not installed";
    const struct {
        int scale;
        QString scaling;
        QSize screen;
    } cases[] = {{1, scalings[0], {1280, 1024}},
                 {1, scalings[1], {1280, 1024}},
                 {1, scalings[3], {1280, 1024}},
                 {2, scalings[0], {2048, 1600}}};
    for (const auto& [scale, scaling, screen] : cases) {
        SCOPED_TRACE(scaling.toStdString() + " output scale " + std::to_string(scale));
        const torvix::test::FakeRoot dir;  // for its owner alone, as a runtime folder must be
        dir.write("weston.ini", "[shell]\nbackground-color=0xff204060\npanel-position=none\n");
        QProcessEnvironment env =
            scaled(QProcessEnvironment::systemEnvironment(), scaling,
                   QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()));
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("WAYLAND_DISPLAY", "torvix-test");
        env.insert("QT_QPA_PLATFORM", "wayland");
        QProcess weston;
        weston.setProcessEnvironment(env);
        weston.start("weston", {"--config=" + dir.path() + "/weston.ini", "--use-pixman",
                                "--backend=headless-backend.so", "--socket=torvix-test", "--debug",
                                "--idle-time=0", QStringLiteral("--scale=%1").arg(scale),
                                QStringLiteral("--width=%1").arg(screen.width() / scale),
                                QStringLiteral("--height=%1").arg(screen.height() / scale)});
        if (!waitFor([&] { return QFile::exists(dir.path() + "/torvix-test"); }))
            GTEST_SKIP() << "weston did not start: " << weston.readAllStandardError().constData();
        const auto report = runProgram(TORVIX_BINARY, {"--report"}, env, dir.path());
        const QString reported =
            QStringLiteral("Text8\t%1 * %2\t").arg(screen.width()).arg(screen.height());
        EXPECT_TRUE(report.out.contains(reported.toUtf8())) << report.err.constData();
        EXPECT_EQ(child(env), "");
        env.insert("TORVIX_GRAB_PNG", dir.path() + "/grab.png");
        QProcess window;
        window.setProcessEnvironment(env);
        window.start(TORVIX_BINARY,
                     {"--machine", torvix::test::dataPath("machines/office_pc.json")});
        QImage grab;
        ASSERT_TRUE(waitFor([&] { return grab.load(dir.path() + "/grab.png"); }));
        // All that differs from the background, once the shell has drawn it and the window
        // stands still on it (two shots alike).
        QRect drawn, before;
        waitFor([&] {
            for (const QString& old : QDir(dir.path()).entryList({"wayland-screenshot*.png"}))
                QFile::remove(dir.path() + "/" + old);
            runProgram(shooter, {}, env, dir.path());
            const QStringList shots = QDir(dir.path()).entryList({"wayland-screenshot*.png"});
            const QImage shot(shots.isEmpty() ? QString() : dir.path() + "/" + shots.last());
            before = std::exchange(drawn, QRect());
            if (shot.isNull() || (shot.pixel(0, 0) & 0xffffff) != 0x204060) return false;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if ((shot.pixel(x, y) & 0xffffff) != 0x204060) drawn |= QRect(x, y, 1, 1);
            return !drawn.isEmpty() && drawn == before;
        });
        EXPECT_EQ(drawn.size(), grab.size());
    }
}
