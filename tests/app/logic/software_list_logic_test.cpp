#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "app/logic/command_line.h"
#include "app/logic/form1_logic.h"
#include "items/item_harness.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

class NoProgram : public ProgramControl {
  public:
    void removeCloseBox() override {}
    void endProgram() override { ++ended; }
    int ended = 0;
};

// Answers Yes and OK, records the texts, and runs `onYield` once when the list holds `at` lines.
class YieldingUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString&, Buttons buttons, Icon) override {
        texts << text;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void yield() override {
        if (onYield && model && model->items("List1").size() == at && !done) {
            done = true;
            onYield();
        }
    }
    QStringList texts;
    std::function<void()> onYield;
    const FormModel* model = nullptr;
    qsizetype at = 0;
    bool done = false;
};

// The main window's logic on the office machine, after its start-up sequence, in a temporary
// current directory.
struct MainWindow {
    MainWindow() : machine(loadMachineFile(test::dataPath("machines/office_pc.json"), false)) {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        clock =
            std::make_shared<ManualClock>(QDateTime(QDate(2024, 4, 1), QTime(8, 5, 9)), 3725000);
        machine.clock = clock;
        logic = std::make_unique<Form1Logic>(machine, ui, program);
        ui.model = &logic->model();
        logic->runStartupSequence();
    }
    ~MainWindow() { QDir::setCurrent(previous); }
    QStringList list() const { return logic->model().items("List1"); }
    QByteArray file() const {
        QFile f(dir.path() + "/インストールソフト名.txt");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }

    QTemporaryDir dir;
    QString previous;
    Machine machine;
    std::shared_ptr<ManualClock> clock;
    YieldingUi ui;
    NoProgram program;
    std::unique_ptr<Form1Logic> logic;
};

}  // namespace

TEST(SoftwareListWindow, TheClockNoLongerEndsTheProgram) {
    MainWindow w;
    ASSERT_TRUE(w.logic->click("Command31"));
    EXPECT_EQ(w.list(), QStringList({"bash 5.2.15-2+b2", "libc6 2.36-9+deb12u4"}));
    EXPECT_EQ(w.file(), "bash 5.2.15-2+b2\r\nlibc6 2.36-9+deb12u4\r\n");
    w.clock->advanceMs(200 * 1000);  // past the display time
    w.logic->Timer2_Timer();
    EXPECT_EQ(w.logic->model().text("Label4"), "自動では停止しません");
    EXPECT_FALSE(w.logic->ended());
    EXPECT_EQ(w.logic->model().text("Command34"), "← この終了機能を有効にする");
    EXPECT_EQ(w.logic->model().background("Command34"), colors::lightGreen);
    // Switched on again by the user, the clock ends the program at its next tick.
    w.logic->click("Command34");
    w.logic->Timer2_Timer();
    EXPECT_TRUE(w.logic->ended());
}

TEST(SoftwareListWindow, WhatHappensInsideAYield) {
    const QStringList full = {"bash 5.2.15-2+b2", "libc6 2.36-9+deb12u4"};
    const QByteArray fullFile = "bash 5.2.15-2+b2\r\nlibc6 2.36-9+deb12u4\r\n";
    const struct {
        const char* name;
        std::function<void(MainWindow&)> act;
        QStringList list;
        QByteArray file;
        int messages;  // question and closing message
        std::function<void(MainWindow&)> check;
    } cases[] = {
        {"a second click does not start a second run",
         [](MainWindow& w) { EXPECT_TRUE(w.logic->click("Command31")); },
         full,
         fullFile,
         2,
         {}},
        {"the start-up sequence waits for another activation",
         [](MainWindow& w) { EXPECT_FALSE(w.logic->runStartupSequence()); }, full, fullFile, 2,
         [](MainWindow& w) {
             EXPECT_FALSE(w.logic->shared().AutoEndEnabled);
             // After the run it runs again as before.
             EXPECT_TRUE(w.logic->runStartupSequence());
             EXPECT_EQ(w.list().size(), 3);
         }},
        {"another item is gathered again",
         [](MainWindow& w) {
             w.logic->model().setText("Text1", "x");
             EXPECT_TRUE(w.logic->click("Command1"));
             EXPECT_EQ(w.logic->model().text("Text1"), "2.394GHz");
         },
         full,
         fullFile,
         2,
         {}},
        {"the clock ticks without ending the program",
         [](MainWindow& w) {
             w.clock->advanceMs(500 * 1000);
             w.logic->Timer2_Timer();
             EXPECT_EQ(w.logic->model().text("Label4"), "自動では停止しません");
         },
         full, fullFile, 2, [](MainWindow& w) { EXPECT_FALSE(w.logic->ended()); }},
        {"stopping the program ends the run, leaving no cut file",
         [](MainWindow& w) { EXPECT_TRUE(w.logic->click("Command16")); },
         {"bash 5.2.15-2+b2"},
         "<none>",
         1,
         [](MainWindow& w) {
             EXPECT_TRUE(w.logic->ended());
             EXPECT_FALSE(w.logic->model().visible("Label9"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow w;
        w.ui.at = 1;  // with the first product listed
        w.ui.onYield = [&] { c.act(w); };
        ASSERT_TRUE(w.logic->click("Command31"));
        EXPECT_TRUE(w.ui.done);
        EXPECT_EQ(w.list(), c.list);
        EXPECT_EQ(w.file(), c.file);
        EXPECT_EQ(w.ui.texts.size(), c.messages);
        EXPECT_FALSE(w.logic->softwareListRunning());
        if (c.check) c.check(w);
    }
}

TEST(SoftwareListReport, PressingButtonsFromTheCommandLine) {
    const struct {
        QStringList args;
        QStringList press;  // empty with `error` set: refused
        const char* error;
    } cases[] = {
        {{"--report", "--press", "Command31"}, {"Command31"}, nullptr},
        {{"--report", "--press=Command34", "--press", "Command31", "--press", "Command1"},
         {"Command34", "Command31", "Command1"},
         nullptr},
        {{"--report", "--press", "Command99"}, {}, "no button \"Command99\""},
        {{"--report", "--press", "Form2"}, {}, "no button \"Form2\""},
        {{"--report", "--press"}, {}, "--press needs a value"},
        {{"--press", "Command31"}, {}, "--press is used with --report"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandLine line = parseCommandLine(c.args);
        if (c.error) {
            EXPECT_EQ(line.mode, CommandLine::Mode::Invalid);
            EXPECT_TRUE(line.error.contains(QString::fromUtf8(c.error)))
                << line.error.toStdString();
        } else {
            EXPECT_EQ(line.mode, CommandLine::Mode::Report);
            EXPECT_EQ(line.press, c.press);
        }
    }
}
