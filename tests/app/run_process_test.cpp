#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "support/test_support.h"

namespace {

using torvix::test::ProgramRun;
using torvix::test::runProgram;

// No display of any kind, unless a case names one.
QProcessEnvironment plainEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        env.remove(name);
    env.insert("LC_ALL", "C.UTF-8");
    return env;
}

QString officePc() {
    return torvix::test::dataPath("machines/office_pc.json");
}

const QByteArray reportStart = "Command1\tCPUのクロック\t#FFFFFF\n";

}  // namespace

// A file the report cannot write is told, through the window's own failure, and never lands
// anywhere else: not in the root folder for a removed current directory, not into a FIFO. Run as
// an unprivileged user where possible, so that a fault could not write into "/" either.
TEST(RunProcess, FilesThatCannotBeWrittenAreTold) {
    const struct {
        const char* setup;  // "removed": the current directory is gone; "fifo": a FIFO named so
        QStringList args;
        QByteArray errHas;
    } cases[] = {
        {"removed",
         {"--window", "Form4"},
         "「MACアドレス.txt」に保存できませんでした。\ncannot write \"MACアドレス.txt\": the "
         "current "
         "directory no longer exists (No such file or directory)\n"},
        {"removed",
         {"--window", "Form6"},
         "2   the current directory no longer exists (No such file or directory)\n"},
        {"removed",
         {"--press", "Command31"},
         "open: cannot write \"インストールソフト名.txt\": the current directory no longer exists"},
        {"fifo", {"--window", "Form4"}, "MACアドレス.txt\": not a regular file (a named pipe)\n"},
        {"fifo", {"--window", "Form6"}, "22   not a regular file (a named pipe)\n"},
        {"fifo", {"--press", "Command31"}, "not a regular file (a named pipe)"},
    };
    const bool root = ::geteuid() == 0;
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (root && setpriv.isEmpty()) GTEST_SKIP() << "setpriv is needed to run as nobody";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.setup) + " " + c.args.join(' ').toStdString());
        QTemporaryDir dir;
        ASSERT_TRUE(
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::WriteOther | QFileDevice::ExeOther));
        const QString file = c.args.contains("Form6")       ? "特殊フォルダパス.txt"
                             : c.args.contains("Command31") ? "インストールソフト名.txt"
                                                            : "MACアドレス.txt";
        // The shell makes the situation and then becomes the program.
        const QString script =
            QByteArray(c.setup) == "removed"
                ? QStringLiteral(
                      "mkdir \"$0/work\" && cd \"$0/work\" && rmdir \"$0/work\" && exec \"$@\"")
                : QStringLiteral("cd \"$0\" && mkfifo \"%1\" && exec \"$@\"").arg(file);
        QStringList args;
        QString program = QStringLiteral("/bin/sh");
        if (root) {
            program = setpriv;
            args << "--reuid=nobody"
                 << "--regid=nogroup"
                 << "--clear-groups"
                 << "/bin/sh";
        }
        args << "-c" << script << dir.path() << QStringLiteral(TORVIX_BINARY) << "--report"
             << c.args << "--machine" << officePc();
        const ProgramRun r = runProgram(program, args, plainEnvironment());
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        // The window's report still comes: the file's failure is told, nothing more.
        const QByteArray windowEnd =
            c.args.contains("--window") ? "Command1\t表示終了\t\n" : "Command34\t";
        EXPECT_TRUE(r.out.contains(windowEnd)) << r.out.constData();
        EXPECT_TRUE(r.err.contains(c.errHas)) << r.err.constData();
        EXPECT_FALSE(QFile::exists("/" + file));
    }
}

// A display that cannot be opened is named in one line and the report is printed instead: no
// abort from the platform.
TEST(RunProcess, DisplayThatCannotBeOpened) {
    QTemporaryDir runtime;
    const struct {
        QStringList env;  // NAME=VALUE
        QByteArray err;
    } cases[] = {
        {{"DISPLAY=:987"},
         "torvix: cannot open the display \":987\" (no X server answers); printing the report "
         "instead\n"},
        {{"DISPLAY="},
         "torvix: cannot open the display \"\" (DISPLAY is empty); printing the report instead\n"},
        {{"QT_QPA_PLATFORM=xcb"},
         "torvix: cannot open the display \"\" (DISPLAY is not set); printing the report "
         "instead\n"},
        {{"WAYLAND_DISPLAY=torvix-none", "XDG_RUNTIME_DIR=" + runtime.path()},
         "torvix: cannot open the Wayland display \"torvix-none\" (" + runtime.path().toUtf8() +
             "/torvix-none: No such file or directory); printing the report instead\n"},
        {{"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=torvix-none"},
         "torvix: cannot open the Wayland display \"torvix-none\" (XDG_RUNTIME_DIR is not set); "
         "printing the report instead\n"},
        {{"QT_QPA_PLATFORM=wayland;xcb", "DISPLAY=:987", "XDG_RUNTIME_DIR=" + runtime.path()},
         "torvix: cannot open the Wayland display \"wayland-0\" (" + runtime.path().toUtf8() +
             "/wayland-0: No such file or directory); printing the report instead\n"},
    };
    if (QFile::exists("/tmp/.X11-unix/X987")) GTEST_SKIP() << "display :987 exists here";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.env.join(' ').toStdString());
        QProcessEnvironment env = plainEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        for (const QString& pair : c.env) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        QTemporaryDir work;
        const ProgramRun r = runProgram(TORVIX_BINARY, {"--machine", officePc()}, env, work.path());
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(r.out.startsWith(reportStart)) << r.out.left(200).constData();
    }
}

// Mistakes on the command line end with 2 and a message naming the option; the help lists the
// windows there are.
TEST(RunProcess, CommandLineMistakes) {
    const struct {
        QStringList args;
        int exitCode;
        QByteArray errHas, outHas;
    } cases[] = {
        {{"--report", "--machine", "--window", "Form4"},
         2,
         "torvix: --machine needs a value, not the option \"--window\"",
         ""},
        {{"--report", "--window", "--machine", "x.json"},
         2,
         "torvix: --window needs a value, not the option \"--machine\"",
         ""},
        {{"--report", "--machine", officePc(), "--machine", officePc()},
         2,
         "torvix: --machine is given more than once",
         ""},
        {{"--report", "--window", "Form2", "--window=Form4", "--machine", officePc()},
         2,
         "torvix: --window is given more than once",
         ""},
        {{"--report", "--report=json", "--machine", officePc()},
         2,
         "torvix: --report is given more than once",
         ""},
        {{"--report", "--machine=--x.json"},
         2,
         "torvix: --machine needs a value, not the option \"--x.json\" (a file named so: "
         "./--x.json)",
         ""},
        {{"--version", "--version"}, 2, "torvix: --version is given more than once", ""},
        {{"--help", "-h"}, 2, "torvix: --help is given more than once", ""},
        {{"--report", "--press", "Command29", "--press=Command29", "--machine", officePc()},
         0,
         "",
         reportStart},
        {{"--help"},
         0,
         "",
         "window NAME:\n                                  Form1, Form2, Form4, "
         "Form5, Form6, Form7)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QTemporaryDir work;
        const ProgramRun r = runProgram(TORVIX_BINARY, c.args, plainEnvironment(), work.path());
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.constData();
        EXPECT_TRUE(r.err.contains(c.errHas)) << r.err.constData();
        EXPECT_TRUE(r.out.contains(c.outHas)) << r.out.left(300).constData();
        if (c.exitCode == 2) {
            EXPECT_TRUE(r.out.isEmpty());
        }
    }
}

// With a display at hand the live report asks it for the screen size, as the window does,
// without opening a window or loading Qt Gui (an X server is asked directly); a machine file
// keeps its own size.
TEST(RunProcess, LiveReportAsksTheDisplayForItsSize) {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (unshare.isEmpty()) GTEST_SKIP() << "unshare is not installed";
    QProcess x;
    x.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    QByteArray number;
    QElapsedTimer t;
    t.start();
    while (!number.contains('\n') && t.elapsed() < 15000 && x.state() != QProcess::NotRunning) {
        x.waitForReadyRead(500);
        number += x.readAllStandardOutput();
    }
    bool ok = false;
    const int display = number.trimmed().toInt(&ok);
    ASSERT_TRUE(ok) << "Xvfb gave no display: " << x.readAllStandardError().constData();

    const struct {
        QStringList env;
        QStringList args;
        QByteArray text8;
    } cases[] = {
        {{}, {"--report"}, "Text8\t1280 * 1024\t#C0FFFF\n"},
        {{"QT_QPA_PLATFORM=xcb"}, {"--report"}, "Text8\t1280 * 1024\t#C0FFFF\n"},
        {{}, {"--report", "--machine", officePc()}, "Text8\t1920 * 1080\t#C0FFFF\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((QStringList(c.env) << c.args).join(' ').toStdString());
        QProcessEnvironment env = plainEnvironment();
        env.insert("DISPLAY", QStringLiteral(":%1").arg(display));
        for (const QString& pair : c.env) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        QTemporaryDir work;
        QTemporaryDir trace;
        env.insert("LD_DEBUG", "files");
        env.insert("LD_DEBUG_OUTPUT", trace.filePath("ld"));
        // This computer's report, in a network namespace of its own: nothing it does goes past
        // loopback (the X server is reached through its socket file).
        QStringList args = {"--net"};
        if (::geteuid() != 0) args = QStringList{"--user", "--map-root-user", "--net"};
        args << QStringLiteral(TORVIX_BINARY) << c.args;
        const ProgramRun r = runProgram(unshare, args, env, work.path());
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.out.contains(c.text8)) << r.out.constData();
        QByteArray loaded;
        for (const QString& name : QDir(trace.path()).entryList(QDir::Files)) {
            QFile f(trace.filePath(name));
            if (f.open(QIODevice::ReadOnly)) loaded += f.readAll();
        }
        EXPECT_TRUE(loaded.contains("libQt6Core.so")) << "the trace saw nothing";
        EXPECT_FALSE(loaded.contains("libQt6Gui.so"));
    }
    x.terminate();
    if (!x.waitForFinished(5000)) {
        x.kill();
        x.waitForFinished(5000);
    }
}
