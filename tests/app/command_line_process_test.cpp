#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support/test_support.h"

namespace {

using torvix::test::ProgramRun;

// Runs the built program without a display and with a locale that is not UTF-8 aware.
ProgramRun runTorvix(const QStringList& args, const QString& workDir = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    return torvix::test::runProgram(QStringLiteral(TORVIX_BINARY), args, env, workDir);
}

}  // namespace

TEST(CommandLineProcess, ReportOfAMachineFileInUtf8) {
    QTemporaryDir dir;
    const ProgramRun r = runTorvix(
        {"--report", "--machine", torvix::test::dataPath("machines/office_pc.json")}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QList<QByteArray> lines = r.out.split('\n');
    EXPECT_EQ(lines[0], "Command1\tCPUのクロック\t#FFFFFF");
    EXPECT_EQ(lines[1], "Text1\t2.394GHz\t#C0FFFF");
    EXPECT_TRUE(lines.contains("Text15\t500.108Gバイト\t#C0FFFF"));
    EXPECT_TRUE(lines.contains("Label5\t只今の時刻 2024/04/01 8:05:09\t#C0FFFF"));
}

TEST(CommandLineProcess, JsonReportAndOtherWindow) {
    QTemporaryDir dir;
    const ProgramRun json = runTorvix({"--report=json", "--window", "Form2", "--machine",
                                       torvix::test::dataPath("machines/office_pc.json")},
                                      dir.path());
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    EXPECT_TRUE(json.out.contains("\"name\": \"Command1\""));
    EXPECT_TRUE(json.out.contains("表示終了"));
}

TEST(CommandLineProcess, FailuresExitWithTwo) {
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.json");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\"torvix-machine\": 1, \"wmi\": [");
    f.close();
    const ProgramRun malformed = runTorvix({"--report", "--machine", bad}, dir.path());
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_TRUE(malformed.out.isEmpty());
    EXPECT_TRUE(malformed.err.startsWith("torvix: " + bad.toUtf8() + ":"))
        << malformed.err.constData();

    const ProgramRun missing =
        runTorvix({"--report", "--machine", dir.filePath("none.json")}, dir.path());
    EXPECT_EQ(missing.exitCode, 2);

    const ProgramRun option = runTorvix({"--frobnicate"}, dir.path());
    EXPECT_EQ(option.exitCode, 2);
    EXPECT_TRUE(option.err.contains("--frobnicate"));

    const ProgramRun window = runTorvix({"--report", "--window", "Form99", "--machine",
                                         torvix::test::dataPath("machines/office_pc.json")},
                                        dir.path());
    EXPECT_EQ(window.exitCode, 2);
    EXPECT_TRUE(window.err.contains("Form99"));
}

TEST(CommandLineProcess, HelpAndVersion) {
    const ProgramRun version = runTorvix({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "torvix " TORVIX_VERSION "\n");
    const ProgramRun help = runTorvix({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--report"));
    EXPECT_TRUE(help.out.contains("使い方"));
}

TEST(CommandLineProcess, PressingTheSoftwareListButton) {
    const struct {
        QStringList press;
        int exitCode;
        QByteArray outHas, errHas, file;
    } cases[] = {
        {{"--press", "Command31"},
         0,
         "Command31\tインストールされているソフトの一覧\t#00FF00\nList1\tbash 5.2.15-2+b2\t\n"
         "List1\tlibc6 2.36-9+deb12u4\t\nLabel3\t",
         "インストールされているソフトを調べますのでそのままお待ち下さい。",
         "bash 5.2.15-2+b2\r\nlibc6 2.36-9+deb12u4\r\n"},
        {{"--press", "Command31"},
         0,
         "Label4\t自動では停止しません\t#C0FFFF\nLabel5\t只今の時刻 2024/04/01 8:05:09\t#C0FFFF\n"
         "Command34\t← この終了機能を有効にする\t#80FF80\n",
         "リストが作成されました。\r\n以下のファイルにも保存されています。\r\n",
         "bash 5.2.15-2+b2\r\nlibc6 2.36-9+deb12u4\r\n"},
        {{"--press", "Command31", "--press", "Command34"},
         0,
         "Command34\t← この終了機能を無効にする\t#00FF00",
         "リストが作成されました。",
         "bash 5.2.15-2+b2\r\nlibc6 2.36-9+deb12u4\r\n"},
        {{"--press", "Command77"}, 2, "", "no button \"Command77\"", "<none>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press.join(' ').toStdString());
        QTemporaryDir dir;
        const ProgramRun r = runTorvix(
            QStringList{"--report"} + c.press +
                QStringList{"--machine", torvix::test::dataPath("machines/office_pc.json")},
            dir.path());
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.constData();
        EXPECT_TRUE(r.out.contains(c.outHas)) << r.out.constData();
        EXPECT_TRUE(r.err.contains(c.errHas)) << r.err.constData();
        QFile f(dir.filePath("インストールソフト名.txt"));
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>"), c.file);
    }
}
