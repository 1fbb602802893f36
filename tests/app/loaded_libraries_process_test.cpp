#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <functional>

#include "support/test_support.h"

namespace {

struct TracedRun {
    int exitCode = -1;
    QByteArray out, err;
    QSet<QString> libraries;  // file names the dynamic loader opened, in every process of the run
};

// Runs `program` with the loader's file trace written to a folder of its own, so the program's
// standard error stays its own. A window (offscreen) is ended once it has painted its values.
TracedRun runTraced(const QString& program, const QStringList& args, const QString& platform = {},
                    const std::function<void(QProcessEnvironment&)>& adjust = {}) {
    QTemporaryDir trace;
    QTemporaryDir work;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (adjust) adjust(env);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("LC_ALL", "C.UTF-8");
    if (platform.isEmpty())
        env.remove("QT_QPA_PLATFORM");
    else
        env.insert("QT_QPA_PLATFORM", platform);
    env.insert("TORVIX_MARK_PAINTED", "1");
    env.insert("LD_DEBUG", "files");
    env.insert("LD_DEBUG_OUTPUT", trace.filePath("ld"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work.path());
    p.start(program, args);
    TracedRun r;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 60000) {
        p.waitForReadyRead(100);
        r.err += p.readAllStandardError();
        if (r.err.contains("painted\n")) {
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
            p.waitForFinished(10000);
        }
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err += p.readAllStandardError();
    static const QRegularExpression opened(QStringLiteral("file=(\\S+)"));
    for (const QString& name : QDir(trace.path()).entryList(QDir::Files)) {
        QFile f(trace.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto it = opened.globalMatch(text); it.hasNext();)
            r.libraries.insert(QFileInfo(it.next().captured(1)).fileName());
    }
    return r;
}

bool loads(const TracedRun& r, const QString& prefix) {
    for (const QString& name : r.libraries)
        if (name.startsWith(prefix)) return true;
    return false;
}

}  // namespace

// The command-line modes load Qt Core and nothing of the GUI, nor any library of a source they
// do not read; the window loads its library and with it Qt Gui and Widgets (which also shows the
// trace would see them).
TEST(LoadedLibraries, OnlyTheWindowLoadsTheGui) {
    const QString machine = torvix::test::dataPath("machines/office_pc.json");
    const struct {
        QStringList args;
        QString platform;
        bool window;
    } cases[] = {
        {{"--version"}, {}, false},
        {{"--help"}, {}, false},
        {{"--report", "--machine", machine}, {}, false},
        {{"--report=json", "--window", "Form2", "--machine", machine}, {}, false},
        // Asked to open a window with no display at all: the report, still without the GUI.
        {{"--machine", machine}, {}, false},
        {{"--machine", machine}, "offscreen", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.args.join(' ') + " platform=" + c.platform).toStdString());
        const TracedRun r = runTraced(QStringLiteral(TORVIX_BINARY), c.args, c.platform);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(loads(r, "libc.so")) << "the trace saw nothing";
        // The version is answered before the program library (and Qt Core) is loaded.
        EXPECT_EQ(loads(r, "libQt6Core.so"), c.args != QStringList{"--version"});
        EXPECT_EQ(loads(r, "libQt6Gui.so"), c.window);
        EXPECT_EQ(loads(r, "libQt6Widgets.so"), c.window);
        EXPECT_EQ(loads(r, "libtorvix-window.so"), c.window);
        // Nor the libraries of sources that are loaded on first use: a machine file needs none.
        for (const char* onFirstUse : {"libcups.so", "libldap", "libsqlite3.so", "libsystemd.so",
                                       "libxcb.so", "libxcb-randr.so"}) {
            if (!c.window) {
                EXPECT_FALSE(loads(r, onFirstUse)) << onFirstUse;
            }
        }
        if (c.window) {
            EXPECT_TRUE(r.err.contains("painted\n")) << r.err.constData();
        }
    }
}

// This computer with no print server and no directory in reach (a network namespace of its own,
// no settings that name either): the live report loads neither libcups nor libldap. A print
// server named by CUPS_SERVER still has libcups asked.
TEST(LoadedLibraries, NoPrintServerOrDirectoryInReachLoadsNeitherLibrary) {
    if (QProcess::execute("unshare", {"--net", "true"}) != 0)
        GTEST_SKIP() << "cannot make a network namespace";
    for (const char* path : {"/etc/cups/client.conf", "/run/cups/cups.sock"})
        if (QFileInfo::exists(path)) GTEST_SKIP() << path << " names a print server";
    QFile ldapConf("/etc/ldap/ldap.conf");
    if (ldapConf.open(QIODevice::ReadOnly) &&
        QRegularExpression("^\\s*(uri|host|port)\\s", QRegularExpression::CaseInsensitiveOption |
                                                          QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(ldapConf.readAll()))
            .hasMatch())
        GTEST_SKIP() << "ldap.conf names a directory server";
    QTemporaryDir home;
    const struct {
        const char* how;
        QString cupsServer;
        bool cups;
    } cases[] = {
        {"nothing in reach", {}, false},
        {"CUPS_SERVER names a server", "127.0.0.1:1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        const TracedRun r = runTraced(
            "unshare", {"--net", QStringLiteral(TORVIX_BINARY), "--report"}, {},
            [&](QProcessEnvironment& env) {
                for (const QString& name : env.keys())
                    if (name.startsWith("CUPS_") || name.startsWith("LDAP") || name == "IPP_PORT")
                        env.remove(name);
                env.insert("HOME", home.path());
                if (!c.cupsServer.isEmpty()) env.insert("CUPS_SERVER", c.cupsServer);
            });
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.out.contains("Command21\t")) << r.out.constData();
        EXPECT_EQ(loads(r, "libcups.so"), c.cups);
        EXPECT_FALSE(loads(r, "libldap"));
    }
}

// A program whose window library is missing says so and prints the report instead.
TEST(LoadedLibraries, MissingWindowLibraryGivesTheReport) {
    QTemporaryDir dir;
    const QString lonely = dir.filePath("bin/torvix");
    const QString privateDir = dir.filePath("bin/" TORVIX_PRIVATE_RELDIR);
    ASSERT_TRUE(QDir().mkpath(privateDir));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TORVIX_BINARY), lonely));
    // Without the program library only the version can be told.
    TracedRun r = runTraced(lonely, {"--report"}, {});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("torvix: cannot load the program library (")) << r.err.constData();
    EXPECT_EQ(runTraced(lonely, {"--version"}, {}).out, "torvix " TORVIX_VERSION "\n");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TORVIX_PROGRAM_LIBRARY_FILE),
                            privateDir + "/libtorvix-program.so"));
    r = runTraced(lonely, {"--machine", torvix::test::dataPath("machines/office_pc.json")},
                  "offscreen");
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.startsWith("torvix: cannot load the window library (")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("printing the report instead")) << r.err.constData();
    EXPECT_TRUE(r.out.contains("Text1\t2.394GHz\t#C0FFFF\n")) << r.out.constData();
    EXPECT_FALSE(loads(r, "libQt6Gui.so"));
}
