#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "support/test_support.h"

namespace {

using torvix::test::ProgramRun;

// `prefix` runs the program inside something (a network namespace, a shell with limits).
ProgramRun run(const QStringList& args, const QString& workDir, const QStringList& prefix = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    QStringList all = prefix;
    all << QStringLiteral(TORVIX_BINARY) << args;
    const QString program = all.takeFirst();
    return torvix::test::runProgram(program, all, env, workDir);
}

bool ip(const QStringList& args) {
    QProcess p;
    p.start("ip", args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The four clock labels tell the moment of each run, and free memory and the disk's use move on
// their own between two runs; everything else must agree.
const QStringList movingControls = {"Label3", "Label2", "Label4", "Label5",
                                    "Text20", "Text16", "Text17"};

QByteArray withoutMoving(const QByteArray& report, bool json) {
    if (json) {
        QJsonArray controls = QJsonDocument::fromJson(report).array();
        for (auto c : controls) {
            QJsonObject o = c.toObject();
            if (movingControls.contains(o["name"].toString())) o["text"] = "(moving)";
            c = o;
        }
        return QJsonDocument(controls).toJson();
    }
    QByteArray out;
    for (const QByteArray& line : report.split('\n'))
        if (!movingControls.contains(QString::fromUtf8(line.left(line.indexOf('\t')))))
            out += line + '\n';
    return out;
}

// Snapshot, then every window's report live and from the snapshot, in both forms.
void expectRoundTrip(const QString& workDir, const QStringList& prefix, const std::string& shape) {
    const QString file = workDir + "/pc.json";
    const ProgramRun snap = run({"--snapshot", file}, workDir, prefix);
    ASSERT_EQ(snap.exitCode, 0) << shape << snap.err.data();
    int compared = 0;
    for (const QString window : {"Form1", "Form2", "Form4", "Form5", "Form6", "Form7"}) {
        for (const QString form : {"text", "json"}) {
            const QStringList args = {"--report=" + form, "--window", window};
            const ProgramRun live = run(args, workDir, prefix);
            const ProgramRun replay = run(args + QStringList{"--machine", file}, workDir);
            ASSERT_EQ(live.exitCode, 0) << live.err.data();
            ASSERT_EQ(replay.exitCode, 0) << replay.err.data();
            ASSERT_FALSE(live.out.isEmpty());
            EXPECT_EQ(withoutMoving(live.out, form == "json"),
                      withoutMoving(replay.out, form == "json"))
                << shape << " " << window.toStdString() << " " << form.toStdString();
            ++compared;
        }
    }
    EXPECT_EQ(compared, 12);
}

}  // namespace

TEST(SnapshotProcess, RoundTripOnThisComputer) {
    QTemporaryDir dir;
    expectRoundTrip(dir.path(), {}, "this computer");
    // The file names what it is and replays without this computer.
    QFile f(dir.filePath("pc.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("{\n  \"torvix-machine\": 1,\n  \"clock\": {\"now\": "));
}

TEST(SnapshotProcess, RoundTripInNetworkNamespaces) {
    if (::geteuid() != 0) GTEST_SKIP() << "creating network namespaces needs root";
    const QString ns = "torvix-snap-" + QString::number(::getpid());
    if (!ip({"netns", "add", ns})) GTEST_SKIP() << "ip netns cannot create namespaces here";
    struct Remove {
        QString ns;
        ~Remove() { ip({"netns", "del", ns}); }
    } remove{ns};
    const QStringList inside = {"ip", "netns", "exec", ns};
    QTemporaryDir dir;
    // No network at all: only a loopback that is down.
    expectRoundTrip(dir.path(), inside, "no network");
    // Two adapters, the first with two addresses, and the loopback up.
    ASSERT_TRUE(ip({"-n", ns, "link", "set", "lo", "up"}));
    // veth pairs: the kernel may lack dummy links; the peers stay without addresses.
    ASSERT_TRUE(ip({"-n", ns, "link", "add", "eth0", "type", "veth", "peer", "name", "peer0"}));
    ASSERT_TRUE(ip({"-n", ns, "link", "add", "eth1", "type", "veth", "peer", "name", "peer1"}));
    ASSERT_TRUE(ip({"-n", ns, "link", "set", "eth0", "address", "02:00:00:00:00:01"}));
    ASSERT_TRUE(ip({"-n", ns, "addr", "add", "192.0.2.10/24", "dev", "eth0"}));
    ASSERT_TRUE(ip({"-n", ns, "addr", "add", "192.0.2.11/24", "dev", "eth0"}));
    ASSERT_TRUE(ip({"-n", ns, "addr", "add", "198.51.100.7/25", "dev", "eth1"}));
    for (const char* link : {"eth0", "peer0", "eth1", "peer1"})
        ASSERT_TRUE(ip({"-n", ns, "link", "set", link, "up"}));
    ASSERT_TRUE(ip({"-n", ns, "route", "add", "default", "via", "192.0.2.1"}));
    // Link-local addresses appear once duplicate detection ends; the snapshot and the report
    // after it must see the same links.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QProcess p;
            p.start("ip", {"-n", ns, "-6", "addr", "show", "tentative"});
            return p.waitForFinished(5000) && p.readAllStandardOutput().trimmed().isEmpty();
        },
        10000));
    expectRoundTrip(dir.path(), inside, "two adapters");
    QFile f(dir.filePath("pc.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("\"192.0.2.10\"")) << text.left(2000).data();
    // The echo of the first enabled adapter's first address, as the ping answered it.
    EXPECT_TRUE(text.contains("\"Win32_PingStatus\": [\n      {\"Address\": \""));
}

TEST(SnapshotProcess, StandardOutputHelpAndBadTargets) {
    QTemporaryDir dir;
    const ProgramRun out =
        run({"--snapshot", "-", "--machine", torvix::test::dataPath("machines/office_pc.json")},
            dir.path());
    EXPECT_EQ(out.exitCode, 0);
    EXPECT_TRUE(out.out.contains("\"Win32_Processor\": [")) << out.out.left(300).data();

    const ProgramRun help = run({"--help"}, dir.path());
    EXPECT_TRUE(help.out.contains("--snapshot FILE")) << help.out.data();
    EXPECT_TRUE(help.out.contains("installed software"));

    struct Row {
        QStringList args;
        int exitCode;
        QByteArray message;
    };
    const Row rows[] = {
        {{"--snapshot", dir.path() + "/none/pc.json"}, 1, "torvix: cannot write \""},
        {{"--snapshot", dir.path()}, 1, "torvix: cannot write \""},
        {{"--snapshot", "x.json", "--report"}, 2, "cannot be used together"},
        {{"--snapshot", "x.json", "--press", "Command31"}, 2, "--press are used with --report"},
        {{"--snapshot"}, 2, "--snapshot needs a value"},
        {{"--snapshot", "x.json", "--machine", dir.path() + "/missing.json"}, 2, "missing.json"},
    };
    for (const Row& row : rows) {
        const ProgramRun r = run(row.args, dir.path());
        EXPECT_EQ(r.exitCode, row.exitCode) << row.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(row.message)) << r.err.data();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.json")));
}

TEST(SnapshotProcess, AFileIsReplacedOnlyByAWholeOne) {
    QTemporaryDir dir;
    const QString target = dir.filePath("pc.json");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the previous snapshot");
    }
    const QString machine = torvix::test::dataPath("machines/office_pc.json");
    // Files may not grow past 1 KiB here: the write fails halfway.
    const ProgramRun limited =
        run({"--snapshot", target, "--machine", machine}, dir.path(),
            {"bash", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$@\"", "limited"});
    EXPECT_EQ(limited.exitCode, 1) << limited.err.data();
    EXPECT_TRUE(limited.err.startsWith("torvix: cannot write \"" + target.toUtf8() + "\": "))
        << limited.err.data();
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "the previous snapshot");
    f.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pc.json"});

    // A folder that may not be written, even by root: a read-only mount of its own.
    if (::geteuid() == 0) {
        QDir(dir.path()).mkdir("ro");
        const QString ro = dir.filePath("ro");
        const ProgramRun refused = run(
            {"--snapshot", ro + "/pc.json", "--machine", machine}, dir.path(),
            {"unshare", "-m", "sh", "-c", "mount -t tmpfs -o ro none \"$0\" && exec \"$@\"", ro});
        EXPECT_EQ(refused.exitCode, 1) << refused.err.data();
        EXPECT_TRUE(refused.err.contains("cannot write")) << refused.err.data();
        EXPECT_TRUE(
            QDir(ro).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
}
