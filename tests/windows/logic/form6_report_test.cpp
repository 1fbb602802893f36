#include "windows/logic/form6_report.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

// The report run from the command line on the office machine, in a temporary current directory.
class Form6ReportTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    int run(const QStringList& arguments, QByteArray& out) {
        const CommandLine c = parseCommandLine(arguments);
        EXPECT_EQ(c.mode, CommandLine::Mode::Report) << c.error.toStdString();
        Machine machine = loadMachineFile(c.machineFile, false);
        return runReport(c, machine, out);
    }

    test::TemporaryCurrentDirectory dir;
};

}  // namespace

TEST_F(Form6ReportTest, ListThenButtonAndTheFileIsWritten) {
    EXPECT_TRUE(reportWindowNames().contains("Form6"));
    const QString machine = test::dataPath("machines/office_pc.json");
    struct Row {
        QStringList arguments;
        QString expected;
    };
    const QString text =
        "List1\tDeskTop :\t\n"
        "List1\t     /home/user1/Desktop\t\n"
        "List1\tAllUsersDeskTop :\t\n"
        "List1\t     \t\n"
        "List1\tStartUp :\t\n"
        "List1\t     /home/user1/.config/autostart\t\n"
        "List1\tAllUsersStartUp :\t\n"
        "List1\t     /etc/xdg/autostart\t\n"
        "List1\tMyDocuments :\t\n"
        "List1\t     /home/user1/Documents\t\n"
        "List1\tSendTo :\t\n"
        "List1\t     \t\n"
        "List1\tプリンター : \t\n"
        "List1\t     \t\n"
        "List1\tStartMenu :\t\n"
        "List1\t     /home/user1/.local/share/applications\t\n"
        "List1\tAllUsersStartMenu :\t\n"
        "List1\t     /usr/share/applications\t\n"
        "List1\tお気に入り :\t\n"
        "List1\t     \t\n"
        "List1\tフォント :\t\n"
        "List1\t     /usr/share/fonts\t\n"
        "List1\tマイネットワーク :\t\n"
        "List1\t     \t\n"
        "List1\t最近使ったファイル :\t\n"
        "List1\t     \t\n"
        "Command1\t表示終了\t\n";
    const Row rows[] = {
        {{"--report", "--window", "Form6", "--machine", machine}, text},
        {{"--report=json", "--window=Form6", "--machine", machine}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QFile::remove(dir.path() + "/特殊フォルダパス.txt");
        QByteArray out;
        ASSERT_EQ(run(row.arguments, out), 0);
        if (!row.expected.isEmpty()) {
            EXPECT_EQ(QString::fromUtf8(out), row.expected);
        } else {
            EXPECT_TRUE(
                out.startsWith("[\n  {\"name\": \"List1\", \"text\": [\"DeskTop :\",\"     "
                               "/home/user1/Desktop\",\"AllUsersDeskTop :\",\"     \","))
                << out.toStdString();
            EXPECT_TRUE(
                out.endsWith("{\"name\": \"Command1\", \"text\": \"表示終了\", "
                             "\"background\": null}\n]\n"))
                << out.toStdString();
        }
        QFile file(dir.path() + "/特殊フォルダパス.txt");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        EXPECT_TRUE(content.startsWith("DeskTop :           : /home/user1/Desktop\r\n"));
        EXPECT_EQ(content.count("\r\n"), 13);
    }
}
