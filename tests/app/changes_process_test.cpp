#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <utility>

#include "support/edited_machine.h"

namespace {

QProcessEnvironment environment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("TZ", "Asia/Tokyo");
    return env;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

// Exit status as diff has it, and every bad OLD (or NEW) told in one line with nothing printed
// on standard output: never half a comparison. Then the marks of --report --compare.
TEST(ChangesProcess, ExitStatusBadInputAndReportMarks) {
    QTemporaryDir dir;
    const QString office = torvix::test::dataPath("machines/office_pc.json");
    const QString later = dir.filePath("later.json"), cut = dir.filePath("cut.json"),
                  other = dir.filePath("other.json"), newer = dir.filePath("newer.json");
    QFile whole(office);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray text = whole.readAll();
    ASSERT_TRUE(write(
        later, torvix::test::editedMachine("office_pc.json", torvix::test::officePcWeekLater())));
    ASSERT_TRUE(write(cut, text.left(text.size() / 2)));
    ASSERT_TRUE(write(other, "{\"name\": \"not a computer\"}\n"));
    ASSERT_TRUE(
        write(newer, torvix::test::editedMachine("office_pc.json", {{"torvix-machine", 2}})));
    const struct {
        QStringList args;
        int exitCode;
        QByteArray outHas, errHas;
    } cases[] = {
        {{"--changes", office, "--machine", office}, 0, "変更はありません\n", ""},
        {{"--changes", office, "--machine", later}, 1, "\nDNS Server (2)", ""},
        {{"--changes", dir.filePath("no.json")}, 2, "", "no.json: cannot be read: No such"},
        {{"--changes", dir.path(), "--machine", office}, 2, "", "is a folder, not a machine file"},
        {{"--changes", cut, "--machine", office}, 2, "", "cut.json: not a JSON file"},
        {{"--changes", other, "--machine", office}, 2, "", "other.json: not a machine file"},
        {{"--changes", newer, "--machine", office}, 2, "", "version 2 is newer than this program"},
        {{"--changes", office, "--machine", cut}, 2, "", "cut.json: not a JSON file"},
        {{"--changes", "--machine", office}, 2, "", "--changes needs the earlier machine file"},
        {{"--all", "--machine", office}, 2, "", "--all is used with --changes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const torvix::test::ProgramRun run =
            torvix::test::runProgram(QStringLiteral(TORVIX_BINARY), c.args, environment());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.constData();
        EXPECT_TRUE(run.out.contains(c.outHas)) << run.out.constData();
        EXPECT_TRUE(run.err.contains(c.errHas)) << run.err.constData();
        if (c.exitCode == 2) {
            EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
            // A bad option adds the hint to --help.
            EXPECT_EQ(run.err.count('\n'), c.errHas.startsWith("--") ? 2 : 1);
        }
    }
    // --report --compare prints the marks as backgrounds: the changed DNS box alone, not the free
    // memory that moves on its own nor a box whose text is the same.
    const torvix::test::ProgramRun run = torvix::test::runProgram(
        QStringLiteral(TORVIX_BINARY), {"--report", "--compare", office, "--machine", later},
        environment(), dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    QByteArray marked;
    for (const QByteArray& line : run.out.split('\n'))
        if (line.endsWith("#FFC8E6")) marked += line + '\n';
    EXPECT_EQ(marked.toStdString(), "Text25\t192.168.0.4\t#FFC8E6\n");
}

// The marks as they are drawn: the window of --compare under Xvfb shows the marked colour over
// one box's area for the changed DNS server, and nowhere when nothing changed.
TEST(ChangesProcess, MarksOnTheScreenUnderXvfb) {
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    if (xvfbRun.isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    QTemporaryDir dir;
    const QString office = torvix::test::dataPath("machines/office_pc.json");
    const QString later = dir.filePath("later.json"), grab = dir.filePath("grab.png");
    ASSERT_TRUE(write(
        later, torvix::test::editedMachine("office_pc.json", torvix::test::officePcWeekLater())));
    QProcessEnvironment env = environment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("TORVIX_GRAB_PNG", grab);
    for (const auto& [newer, marked] : {std::pair{later, true}, std::pair{office, false}}) {
        SCOPED_TRACE(newer.toStdString());
        QFile::remove(grab);
        QProcess window;
        window.setProcessEnvironment(env);
        window.start(xvfbRun, {"-a", "-s", "-screen 0 1280x1024x24", TORVIX_BINARY, "--compare",
                               office, "--machine", newer});
        QImage picture;
        for (int tries = 0; tries < 300 && !picture.load(grab); ++tries) QThread::msleep(100);
        // Ended as a user's signal ends it; xvfb-run then takes its server down.
        QProcess::execute("pkill",
                          {"-TERM", "-P", QString::number(window.processId()), "-x", "torvix"});
        if (!window.waitForFinished(10000)) window.kill();
        ASSERT_FALSE(picture.isNull());
        QRect pink;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if ((picture.pixel(x, y) & 0xffffff) == 0xffc8e6) pink |= QRect(x, y, 1, 1);
        EXPECT_EQ(!pink.isEmpty(), marked);
        if (marked) {  // the small DNS box, some 90 by 16 pixels
            EXPECT_TRUE(pink.width() > 60 && pink.height() > 10 && pink.height() < 40)
                << pink.width() << "x" << pink.height();
        }
    }
}
