#include "windows/form7.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "support/test_support.h"
#include "windows/logic/form7_harness.h"

using namespace torvix;
using torvix::test::activate;
using torvix::test::MessageBoxAnswerer;
using torvix::test::RecordingLauncher;
using torvix::test::waitFor;

namespace {

const QString hint = "ここに過去の起動/停止した時間が\n表示されます。";
const QString officeHistory =
    "起動/停止         日付\n\n"
    " (01) 起動          2024/04/01 07:00:12\n"
    "  →シャットダウン 2024/03/31 19:00:00\n"
    " (02) 起動          2024/03/31 08:30:00\n";

// The main window on the office machine file, as if it were this computer (a root folder set),
// with a recording launcher: the history window opens from its Command29 caption.
class Form7Test : public ::testing::Test {
  protected:
    void SetUp() override {
        machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
        machine.clock =
            std::make_shared<ManualClock>(QDateTime(QDate(2024, 4, 1), QTime(8, 5, 9)), 3725000);
        machine.root = "/";
        launcher = std::make_shared<RecordingLauncher>();
        machine.launcher = launcher;
        Form1::Options options;
        options.exitProgram = [] {};
        form1 = std::make_unique<Form1>(machine, options);
        form1->showCentred();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form1.get()));
        ASSERT_TRUE(waitFor([this] { return form1->startupRuns() >= 1; }));
        QTest::qWait(50);
    }
    void TearDown() override {
        delete Form7::instance();
        form1.reset();
    }
    QPushButton* command29() {
        return qobject_cast<QPushButton*>(form1->widgets().widget("Command29"));
    }
    QString text29() { return qobject_cast<QLineEdit*>(form1->widgets().widget("Text29"))->text(); }
    // Opens the history window by a right-click on its caption and waits until it is active.
    Form7* open() {
        QTest::mouseClick(command29(), Qt::RightButton);
        Form7* f = Form7::instance();
        if (!f || !QTest::qWaitForWindowExposed(f)) return nullptr;
        if (!waitFor([f] { return QGuiApplication::focusWindow() == f->windowHandle(); }))
            return nullptr;
        return f;
    }

    Machine machine;
    std::shared_ptr<RecordingLauncher> launcher;
    std::unique_ptr<Form1> form1;
};

}  // namespace

TEST_F(Form7Test, OpenedByAnyMouseButtonOnTheCaptionOnce) {
    struct Release {
        Qt::MouseButton button;
        QString text29;  // a left click also gathers the item again
    };
    const std::vector<Release> releases = {
        {Qt::RightButton, "x"}, {Qt::MiddleButton, "x"}, {Qt::LeftButton, "42"}};
    Form7* first = nullptr;
    for (const Release& r : releases) {
        SCOPED_TRACE(static_cast<int>(r.button));
        form1->logic().model().setText("Text29", "x");
        QTest::mouseClick(command29(), r.button);
        Form7* f = Form7::instance();
        ASSERT_NE(f, nullptr);
        if (!first) first = f;
        EXPECT_EQ(f, first);  // one window only
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        EXPECT_EQ(text29(), r.text29);
    }

    Form7* f = first;
    EXPECT_EQ(f->windowTitle(), "Logon回数");
    EXPECT_FALSE(f->isModal());
    EXPECT_EQ(f->Text1()->toPlainText(), hint);
    EXPECT_EQ(f->Label1()->text(), "表示回数");
    EXPECT_EQ(f->Text2()->text(), "10");
    EXPECT_EQ(f->Command2()->text(), "表示する");
    EXPECT_EQ(f->Command1()->text(), "表示終了");
    EXPECT_EQ(f->Command3()->text(), "シャットダウン");
    EXPECT_EQ(f->Command4()->text(), "ハイブリッドスリープ");
    EXPECT_EQ(f->Text1()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // The display fills the left side; the count field and the buttons stand on the right,
    // top to bottom in the order Label1, Text2, Command2, Command1, Command3, Command4.
    EXPECT_GT(f->Text1()->height(), f->height() * 3 / 4);
    QWidget* column[] = {f->Label1(),   f->Text2(),    f->Command2(),
                         f->Command1(), f->Command3(), f->Command4()};
    for (int i = 0; i < 6; ++i) {
        EXPECT_GT(column[i]->x(), f->Text1()->geometry().right());
        if (i > 0) {
            EXPECT_GT(column[i]->y(), column[i - 1]->y());
        }
    }
    const QRect screen = f->screen()->availableGeometry();
    EXPECT_LE((f->geometry().center() - screen.center()).manhattanLength(), 12);

    // "表示終了" unloads it: the next opening starts afresh.
    f->Text2()->setText("3");
    QPointer<Form7> closing = f;
    QTest::mouseClick(f->Command1(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return closing.isNull(); }));
    EXPECT_EQ(Form7::instance(), nullptr);
    Form7* again = open();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Text2()->text(), "10");
    EXPECT_EQ(again->Text1()->toPlainText(), hint);
}

TEST_F(Form7Test, HintAtEachActivationFromAnotherWindowOfTheProgram) {
    Form7* f = open();
    ASSERT_NE(f, nullptr);
    QWindow other;  // a window of another application, as far as the program can tell
    other.resize(50, 50);

    struct Interlude {
        const char* name;
        std::function<void()> between;  // what happens before the history window is active again
        bool hint;
    };
    const std::vector<Interlude> interludes = {
        {"the main window was active", [&] { ASSERT_TRUE(activate(form1.get())); }, true},
        {"its own message box",
         [&] {
             MessageBoxAnswerer answer("OK");
             f->Text2()->setText("abc");
             QTest::mouseClick(f->Command2(), Qt::LeftButton);
             ASSERT_EQ(answer.answered(), 1);
             EXPECT_EQ(answer.text, "指定が数字ではありません。");
             EXPECT_EQ(answer.title, "エラー");
             f->Text2()->setText("10");
         },
         false},
        {"another application's window",
         [&] {
             other.show();
             other.requestActivate();
             ASSERT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == &other; }));
         },
         false},
    };
    for (const Interlude& i : interludes) {
        SCOPED_TRACE(i.name);
        QTest::mouseClick(f->Command2(), Qt::LeftButton);
        ASSERT_EQ(f->Text1()->toPlainText(), officeHistory);
        i.between();
        ASSERT_TRUE(activate(f));
        QTest::qWait(50);
        EXPECT_EQ(f->Text1()->toPlainText(), i.hint ? hint : officeHistory);
    }
}

TEST_F(Form7Test, ShutdownButtonsAskThenRunTheRecordedCommand) {
    struct Press {
        const char* name;
        bool hybrid;
        const char* answer;    // the button clicked in the question
        bool fromFile;         // the window shows a machine file
        LaunchResult launch;   // what the launcher answers
        QStringList commands;  // what it was given
        QString question;
        QString error;  // the box after Yes, if any
    };
    const QString askShutdown = "シャットダウンしますか？";
    const QString askHybrid = "ハイブリッドスリープしますか？ (Windows10で有効)";
    const LaunchResult ok{true, 0, {}};
    const std::vector<Press> presses = {
        {"shutdown, yes", false, "はい", false, ok, {"systemctl poweroff"}, askShutdown, {}},
        {"hybrid, yes", true, "はい", false, ok, {"systemctl hybrid-sleep"}, askHybrid, {}},
        {"shutdown, no", false, "いいえ", false, ok, {}, askShutdown, {}},
        {"hybrid, no", true, "いいえ", false, ok, {}, askHybrid, {}},
        {"refused",
         false,
         "はい",
         false,
         LaunchResult{true, 1, "Access denied"},
         {"systemctl poweroff"},
         askShutdown,
         "「systemctl poweroff」が失敗しました(終了コード 1)。\nAccess denied"},
        {"cannot start",
         true,
         "はい",
         false,
         LaunchResult{false, 0, "No such file or directory"},
         {"systemctl hybrid-sleep"},
         askHybrid,
         "「systemctl hybrid-sleep」を開始できませんでした。\nNo such file or directory"},
        {"machine file",
         false,
         "はい",
         true,
         ok,
         {},
         askShutdown,
         "表示中のコンピューターはファイルに記述されたものです。\n"
         "このコンピューターではコマンドを実行しませんでした。"},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(p.name);
        delete Form7::instance();
        machine.root = p.fromFile ? QString() : QStringLiteral("/");
        launcher->calls.clear();
        launcher->result = p.launch;
        Form7* f = open();
        ASSERT_NE(f, nullptr);
        MessageBoxAnswerer question(p.answer);
        MessageBoxAnswerer error("OK");
        QTest::mouseClick(p.hybrid ? f->Command4() : f->Command3(), Qt::LeftButton);
        EXPECT_EQ(question.answered(), 1);
        EXPECT_EQ(question.text, p.question);
        EXPECT_EQ(question.title, "シャットダウン");
        EXPECT_EQ(launcher->commandLines(), p.commands);
        EXPECT_EQ(error.answered(), p.error.isEmpty() ? 0 : 1);
        EXPECT_EQ(error.text, p.error);
        EXPECT_EQ(Form7::instance(), f);  // the window stays open
        EXPECT_TRUE(f->isVisible());
    }
}

TEST(Form7Process, ReportOfAMachineFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("history.json");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(test::logMachineJson({test::logEvent(6005, "20240109090507.000000+000"),
                                  test::logEvent(6006, "20240108120000.000000-300"),
                                  test::logEvent(6005, "20240108083000.000000+540")}));
    f.close();

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(TORVIX_BINARY), {"--report", "--window", "Form7", "--machine", file});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
              "Text1\t起動/停止         日付\t\n"
              "Text1\t\t\n"
              "Text1\t (01) 起動          2024/01/09 18:05:07\t\n"
              "Text1\t  →シャットダウン 2024/01/09 02:00:00\t\n"
              "Text1\t (02) 起動          2024/01/08 08:30:00\t\n"
              "Label1\t表示回数\t\n"
              "Text2\t10\t\n"
              "Command2\t表示する\t\n"
              "Command1\t表示終了\t\n"
              "Command3\tシャットダウン\t\n"
              "Command4\tハイブリッドスリープ\t\n");
}
