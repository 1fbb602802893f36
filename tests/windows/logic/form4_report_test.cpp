#include "windows/logic/form4_report.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

class NoProgram : public ProgramControl {
  public:
    void removeCloseBox() override {}
    void endProgram() override {}
};

// The report's view of Form4 on the office machine, in a temporary current directory.
class Form4ReportTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    test::TemporaryCurrentDirectory dir;
};

}  // namespace

TEST_F(Form4ReportTest, ListThenButtonAndTheFileIsWritten) {
    Machine machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    ReportUserInterface ui;
    NoProgram program;
    Form1Logic form1(machine, ui, program);
    form1.runStartupSequence();
    const std::vector<ReportEntry> entries = form4Report(form1.model(), form1.machine(), ui);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "List1");
    EXPECT_TRUE(entries[0].isList);
    EXPECT_EQ(entries[0].items,
              QStringList({"00:1A:2B:3C:4D:5E  Intel Corporation Ethernet Connection (7) I219-LM",
                           "xx:xx:xx:xx:xx:xx    wireguard"}));
    EXPECT_EQ(entries[1].name, "Command1");
    EXPECT_EQ(entries[1].text, "表示終了");
    EXPECT_TRUE(ui.shown.isEmpty());

    QFile file(dir.path() + "/MACアドレス.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(
        QStringLiteral("pc01(192.168.0.10)のMACアドレス\r\n\r\n").toUtf8()));
}

TEST_F(Form4ReportTest, UnwritableFileGoesToTheMessages) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("MACアドレス.txt"));
    Machine machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    ReportUserInterface ui;
    NoProgram program;
    Form1Logic form1(machine, ui, program);
    const std::vector<ReportEntry> entries = form4Report(form1.model(), form1.machine(), ui);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].items.size(), 2);
    ASSERT_EQ(ui.shown.size(), 1);
    EXPECT_TRUE(ui.shown[0].contains("に保存できませんでした。"));
}

TEST_F(Form4ReportTest, CommandLineNamesTheWindow) {
    EXPECT_TRUE(reportWindowNames().contains("Form4"));
    Machine machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    CommandLine c;
    c.mode = CommandLine::Mode::Report;
    c.window = "Form4";
    QByteArray out;
    ASSERT_EQ(runReport(c, machine, out), 0);
    EXPECT_EQ(QString::fromUtf8(out),
              "List1\t00:1A:2B:3C:4D:5E  Intel Corporation Ethernet Connection (7) I219-LM\t\n"
              "List1\txx:xx:xx:xx:xx:xx    wireguard\t\n"
              "Command1\t表示終了\t\n");
}
