#include "windows/form6.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "output/scripted_answerer.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::ScriptedAnswerer;
using torvix::test::waitFor;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll();
}

QStringList lines(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// Records what the main window asks to start, starting nothing.
class RecordingLauncher : public CommandLauncher {
  public:
    QSet<QString> installed;
    std::vector<std::pair<QString, QStringList>> started;
    QString findProgram(const QString& program) const override {
        return installed.contains(program) ? QStringLiteral("/opt/bin/") + program : QString();
    }
    LaunchResult startDetached(const QString& program, const QStringList& arguments) override {
        started.emplace_back(program, arguments);
        LaunchResult r;
        r.started = true;
        return r;
    }
    LaunchResult run(const QString&, const QStringList&, int) override { return {}; }
};

// The main window on the office machine, run in a temporary current directory; its buttons
// open the special folder window and start the diagnostic tool.
class Form6Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(workDir.isValid());
        machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
        launcher = std::make_shared<RecordingLauncher>();
        machine.launcher = launcher;
        Form1::Options options;
        options.exitProgram = [] {};
        main = std::make_unique<Form1>(machine, options);
        main->showCentred();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        ASSERT_TRUE(waitFor([this] { return main->startupRuns() >= 1; }));
    }
    void TearDown() override {
        delete Form6::instance();
        main.reset();
    }
    QString filePath() const { return workDir.path() + "/特殊フォルダパス.txt"; }
    QPushButton* button(const char* name) {
        return main->widgets().get<QPushButton>(QString::fromLatin1(name));
    }

    test::TemporaryCurrentDirectory workDir;
    Machine machine;
    std::shared_ptr<RecordingLauncher> launcher;
    std::unique_ptr<Form1> main;
};

}  // namespace

TEST_F(Form6Test, ClickOpensItOnceAndBringsItForward) {
    QTest::mouseRelease(button("Command37"), Qt::RightButton);  // only a click opens it
    EXPECT_EQ(Form6::instance(), nullptr);

    QTest::mouseClick(button("Command37"), Qt::LeftButton);
    Form6* f = Form6::instance();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    EXPECT_EQ(f->windowTitle(), "特殊フォルダ");
    EXPECT_EQ(f->Command1()->text(), "表示終了");
    EXPECT_FALSE(f->isModal());
    EXPECT_FALSE(f->testAttribute(Qt::WA_Moved));  // placed by the window system, not centred
    EXPECT_GT(f->Command1()->geometry().left(), f->width() / 2);
    EXPECT_LT(f->Command1()->geometry().bottom(), f->List1()->geometry().top());
    const QStringList list = lines(f->List1());
    ASSERT_EQ(list.size(), 26);
    EXPECT_EQ(list[0], "DeskTop :");
    EXPECT_EQ(list[1], "     /home/user1/Desktop");
    EXPECT_EQ(list[12], "プリンター : ");
    EXPECT_EQ(list[13], "     ");
    EXPECT_TRUE(readAll(filePath()).startsWith("DeskTop :           : /home/user1/Desktop\r\n"));

    // Clicked again while open: the same window, the file not written again.
    ASSERT_TRUE(QFile::remove(filePath()));
    QTest::mouseClick(button("Command37"), Qt::LeftButton);
    EXPECT_EQ(Form6::instance(), f);
    EXPECT_FALSE(QFile::exists(filePath()));
    EXPECT_EQ(lines(f->List1()).size(), 26);

    // Closed from its title bar (no message) and opened again: loaded and written anew.
    QPointer<Form6> closing = f;
    ScriptedAnswerer none({});
    f->close();
    ASSERT_TRUE(waitFor([&] { return closing.isNull(); }));
    QTest::qWait(60);
    EXPECT_TRUE(none.boxes.empty());
    QTest::mouseClick(button("Command37"), Qt::LeftButton);
    ASSERT_NE(Form6::instance(), nullptr);
    EXPECT_TRUE(QFile::exists(filePath()));
}

TEST_F(Form6Test, EndButtonTellsWhereTheFileLiesThenCloses) {
    QTest::mouseClick(button("Command37"), Qt::LeftButton);
    QPointer<Form6> f = Form6::instance();
    ASSERT_TRUE(f);
    ScriptedAnswerer answers({"OK"});
    QTest::mouseClick(f->Command1(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return f.isNull(); }));
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].text, "結果は「" + filePath() + "」に保存されています。");
    EXPECT_EQ(answers.boxes[0].title, "特殊フォルダ");
    EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(answers.boxes[0].buttons, QStringList{"OK"});
}

// A folder where the file goes: the error number and its description under the program's title,
// then the window opens with an empty list, and its end button does not claim a saved file.
TEST_F(Form6Test, FileThatCannotBeWrittenIsToldAndTheListStaysEmpty) {
    ASSERT_TRUE(QDir(workDir.path()).mkdir("特殊フォルダパス.txt"));
    ScriptedAnswerer answers({"OK", "OK"});
    QTest::mouseClick(button("Command37"), Qt::LeftButton);
    QPointer<Form6> f = Form6::instance();
    ASSERT_TRUE(f);
    ASSERT_EQ(answers.boxes.size(), 1u);
    const QString error =
        QString::number(EISDIR) + "   " + QString::fromLocal8Bit(std::strerror(EISDIR));
    EXPECT_EQ(answers.boxes[0].text, error);
    EXPECT_EQ(answers.boxes[0].title, "トルビクス");
    EXPECT_EQ(answers.boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->List1()->count(), 0);

    QTest::mouseClick(f->Command1(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return f.isNull(); }));
    ASSERT_EQ(answers.boxes.size(), 2u);
    EXPECT_EQ(answers.boxes[1].text, "「" + filePath() + "」に保存できませんでした。\n" + error);
    EXPECT_EQ(answers.boxes[1].title, "特殊フォルダ");
}

// The diagnostic button goes through the machine's launcher: the tool found is started, or the
// user is told what to install.
TEST_F(Form6Test, DiagnosticButtonStartsTheToolThroughTheLauncher) {
    launcher->installed = {"hardinfo"};
    QTest::mouseClick(button("Command36"), Qt::LeftButton);
    QTest::mouseClick(button("Command36"), Qt::LeftButton);
    ASSERT_EQ(launcher->started.size(), 2u);
    EXPECT_EQ(launcher->started[0].first, "/opt/bin/hardinfo");
    EXPECT_TRUE(launcher->started[0].second.isEmpty());

    launcher->installed.clear();
    ScriptedAnswerer answers({"OK"});
    QTest::mouseClick(button("Command36"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_TRUE(answers.boxes[0].text.contains("「kinfocenter」パッケージ"));
    EXPECT_EQ(answers.boxes[0].title, "DirectX診断ツール");
    EXPECT_EQ(launcher->started.size(), 2u);
}
