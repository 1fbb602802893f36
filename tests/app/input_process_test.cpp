#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support/test_support.h"

namespace {

struct ShellRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out, err;
};

// Runs the built program through the shell, so that arguments can be any bytes (printf
// escapes); "$T" is the program. A run that blocks is killed after 20 s and reported unfinished.
ShellRun runShell(const QByteArray& script, const QString& workDir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("T", QStringLiteral(TORVIX_BINARY));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start("/bin/sh", {"-c", QString::fromUtf8(script)});
    ShellRun r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.finished = true;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

void writeBytesNamed(const QString& dir, const QByteArray& name, const QByteArray& content) {
    const QByteArray path = QFile::encodeName(dir) + "/" + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
}

}  // namespace

TEST(InputProcess, MachineFilesByAnyNameAndOfAnyKind) {
    QTemporaryDir dir;
    QFile good(torvix::test::dataPath("machines/office_pc.json"));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    writeBytesNamed(dir.path(), "\xFF\xFE.json", good.readAll());
    writeBytesNamed(dir.path(), "\xFF\x1b-bad.json", R"({"torvix-machine": 1, "locale": 5})");
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe.json")).constData(), 0600), 0);
    writeBytesNamed(dir.path(), "now.json",
                    R"({"torvix-machine": 1, "clock": {"now": ")" +
                        QByteArray(100'000, 'x').replace('x', "\\u0007") +
                        R"(", "tickCount": 1}})");
    writeBytesNamed(dir.path(), "tick.json",
                    R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", )"
                    R"("tickCount": 9223372036854775807}})");
    struct Case {
        QByteArray script;
        int exitCode;
        QByteArray outHas, err;  // err: the whole of standard error when not empty
    };
    const std::vector<Case> cases = {
        {R"sh("$T" --report --machine "$(printf '\377\376.json')")sh", 0,
         "Text1\t2.394GHz\t#C0FFFF\n", ""},
        {R"sh("$T" --report --machine "$(printf '\377\033-bad.json')")sh", 2, "",
         "torvix: \\xff\\x1b-bad.json: locale: expected a text, found an integer\n"},
        {R"("$T" --report --machine pipe.json)", 2, "",
         "torvix: pipe.json: is not a regular file (a FIFO or device), not a machine file\n"},
        {R"("$T" --report --machine /dev/zero)", 2, "",
         "torvix: /dev/zero: is not a regular file (a FIFO or device), not a machine file\n"},
        {R"("$T" --report --machine now.json)", 2, "",
         "torvix: now.json: clock.now: \"" + QByteArray("\\x07").repeated(200) +
             "…\" is not a date and time like 2024-04-01T08:05:09\n"},
        {R"("$T" --report --machine tick.json)", 2, "",
         "torvix: tick.json: clock.tickCount: tickCount out of range: 9223372036854775807 (0 to "
         "3155760000000 ms, 100 years)\n"},
        {R"sh("$T" "$(printf 'x\033[2J\ny')")sh", 2, "",
         "torvix: unexpected argument \"x\\x1b[2J\\ny\"\nTry 'torvix --help'.\n"},
        {R"sh("$T" --report --window "$(printf 'F\377\a')")sh", 2, "",
         "torvix: unknown window \"F\\xff\\x07\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script.constData());
        const ShellRun r = runShell(c.script, dir.path());
        ASSERT_TRUE(r.finished) << "still running after 20 s";
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.constData();
        EXPECT_TRUE(r.out.contains(c.outHas)) << r.out.constData();
        if (!c.err.isEmpty()) {
            EXPECT_TRUE(r.err.startsWith(c.err)) << r.err.constData();
        }
    }  // The temporary folder cannot remove names that are not UTF-8 itself.
    for (const QByteArray name : {"\xFF\xFE.json", "\xFF\x1b-bad.json"})
        ::unlink((QFile::encodeName(dir.path()) + "/" + name).constData());
}

TEST(InputProcess, AFailureEveryRoutineMeetsIsToldOnce) {
    QTemporaryDir dir;
    const QByteArray cause = QByteArray(1'000'000, 'w');
    writeBytesNamed(dir.path(), "down.json",
                    R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T08:05:09", )"
                    R"("tickCount": 1}, "wmiError": "down)" +
                        cause + R"("})");
    const ShellRun r = runShell(R"("$T" --report --machine down.json)", dir.path());
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.left(2000).constData();
    const QByteArray told = "cannot connect to \"winmgmts:\": down" + cause.left(196) + "…";
    qsizetype full = 0, counted = 0;
    for (const QByteArray& line : r.err.split('\n')) {
        if (!line.contains(told)) continue;
        if (line.startsWith("torvix: …: ") && line.contains(" more routines)"))
            ++counted;
        else
            ++full;
    }
    EXPECT_EQ(full, 1);
    EXPECT_EQ(counted, 1);
    EXPECT_LT(r.err.size(), 20'000);
}
