#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include "support/test_support.h"

namespace {

// The real program with its window on the offscreen platform, for the office machine file.
// TORVIX_GRAB_PNG tells when the start-up sequence has run: the picture appears.
class RunningWindow {
  public:
    explicit RunningWindow(const QStringList& extraArgs = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TORVIX_GRAB_PNG", picture());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(TORVIX_BINARY),
                      QStringList{"--machine", torvix::test::dataPath("machines/office_pc.json")} +
                          extraArgs);
    }
    ~RunningWindow() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString picture() const { return dir.filePath("window.png"); }
    bool waitUntilUp(int ms = 30000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (QFileInfo(picture()).size() > 0) return true;
            if (process.state() == QProcess::NotRunning) return false;
            QThread::msleep(50);
        }
        return false;
    }
    // Sends `sig` and returns the ms until the process was gone (-1: still running after 5 s).
    qint64 stopWith(int sig) {
        QElapsedTimer t;
        t.start();
        ::kill(static_cast<pid_t>(process.processId()), sig);
        if (!process.waitForFinished(5000)) return -1;
        return t.elapsed();
    }

    QTemporaryDir dir;
    QProcess process;
};

}  // namespace

TEST(WindowProcess, EndsAtOnceOnTermAndInterrupt) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        RunningWindow w;
        ASSERT_TRUE(w.waitUntilUp()) << w.process.readAllStandardError().constData();
        const qint64 ms = w.stopWith(sig);
        ASSERT_GE(ms, 0) << "signal " << sig << " did not end the program";
        EXPECT_LT(ms, 1000) << "signal " << sig;
        EXPECT_EQ(w.process.exitStatus(), QProcess::NormalExit) << "signal " << sig;
        EXPECT_EQ(w.process.exitCode(), 0) << "signal " << sig;
    }
}

TEST(WindowProcess, BadMachineFileEndsWithTwo) {
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.json");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{ not json");
    f.close();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TORVIX_BINARY), {"--machine", bad});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("bad.json"));
}

TEST(WindowProcess, WithoutADisplayTheReportIsPrinted) {
    QTemporaryDir dir;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(TORVIX_BINARY),
            {"--machine", torvix::test::dataPath("machines/office_pc.json")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardError(),
              "torvix: no display available; printing the report instead\n");
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_TRUE(out.startsWith("Command1\tCPUのクロック\t#FFFFFF\n")) << out.left(200).constData();
}
