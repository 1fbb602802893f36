#include "app/logic/form1_logic.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "items/item_harness.h"

using namespace torvix;
using torvix::test::machineJson;
using torvix::test::RecordingUi;

namespace {

class RecordingProgram : public ProgramControl {
  public:
    void removeCloseBox() override {
        ++closeBoxRemoved;
        events << "close box";
    }
    void endProgram() override { ++ended; }
    void setTimerInterval(int timer, int intervalMs) override {
        events << QStringLiteral("Timer%1 %2").arg(timer).arg(intervalMs);
    }
    int closeBoxRemoved = 0;
    int ended = 0;
    QStringList events;
};

const QByteArray fullSystem = R"({"processors": 8, "screen": {"width": 1920, "height": 1080},
    "isUserAnAdmin": false,
    "disk": {"sectorsPerCluster": 8, "bytesPerSector": 512, "freeClusters": 45678901, "totalClusters": 122096646}})";
const QByteArray hardwareWmi = R"({
    "Win32_Processor": [{"MaxClockSpeed": 2394, "Description": "Intel64 Family 6 Model 158 Stepping 10", "AddressWidth": 64}],
    "Win32_ComputerSystem": [{"TotalPhysicalMemory": 8589934592}],
    "Win32_OperatingSystem": [{"Caption": "Debian GNU/Linux 12 [bookworm]", "ServicePackMajorVersion": 0,
                               "TotalVisibleMemorySize": 8294400, "FreePhysicalMemory": 4123456}],
    "Win32_PointingDevice": [{"Description": "USB Mouse"}],
    "Win32_ComputerSystemProduct": [{"Name": "OptiPlex 7060", "Vendor": "Dell Inc."}]})";

// The main window's logic on a machine file, its clock replaced by one the test moves.
struct Form1Harness {
    explicit Form1Harness(const QByteArray& wmi = hardwareWmi,
                          QDateTime now = QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14)),
                          std::int64_t tick = 3725000)
        : machine(parseMachineFile(machineJson(fullSystem, wmi), "machine.json", false)) {
        clock = std::make_shared<ManualClock>(now, tick);
        machine.clock = clock;
        logic = std::make_unique<Form1Logic>(machine, ui, program);
    }
    QString text(const QString& name) const { return logic->model().text(name); }
    std::optional<Rgb> bg(const QString& name) const { return logic->model().background(name); }

    Machine machine;
    std::shared_ptr<ManualClock> clock;
    RecordingUi ui;
    RecordingProgram program;
    std::unique_ptr<Form1Logic> logic;
};

}  // namespace

TEST(Form1Startup, DesignStateBeforeTheSequence) {
    Form1Harness h;
    EXPECT_EQ(h.text("Command34"), "有効/無効");
    EXPECT_EQ(h.bg("Command34"), colors::green);
    EXPECT_EQ(h.text("Text1"), "------");
    EXPECT_EQ(h.text("Label5"), "只今の時間 yyyy/mm/dd 00:00:00");
    EXPECT_FALSE(h.logic->model().visible("Label9"));  // hidden from the first paint on
}

TEST(Form1Startup, StateAfterTheSequence) {
    Form1Harness h;
    h.logic->runStartupSequence();
    const FormModel& m = h.logic->model();
    EXPECT_EQ(
        m.items("List1"),
        QStringList({"表示中です。しばらくお待ちください。",
                     "(注意) 「Windowsが起動された時刻」は「ハイブリッドスリープ」は含まれません。",
                     "すべて表示されました。"}));
    EXPECT_EQ(h.logic->shared().timer1IntervalMs, 5000);
    EXPECT_EQ(h.logic->shared().timer2IntervalMs, 1000);
    EXPECT_FALSE(m.visible("Label9"));
    EXPECT_EQ(h.program.closeBoxRemoved, 1);
    EXPECT_EQ(h.logic->shared().DisplayStartTime, QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14)));

    EXPECT_EQ(h.text("Command34"), "← この終了機能を無効にする");
    EXPECT_EQ(h.bg("Command34"), colors::green);
    EXPECT_TRUE(h.logic->shared().AutoEndEnabled);

    EXPECT_EQ(h.text("Command35"), "↑ この機能を有効にする");
    EXPECT_EQ(h.bg("Command35"), colors::green);
    EXPECT_FALSE(h.logic->shared().MemoryCheckEnabled);
    EXPECT_EQ(h.text("Text20"), "4,123MB   (49.7%)");
    EXPECT_EQ(h.text("Command25"), "空きメモリサイズ(自動)");
    EXPECT_TRUE(h.ui.boxes.empty());

    EXPECT_EQ(h.text("Text1"), "2.394GHz");
    EXPECT_EQ(h.text("Text14"), "8,192MB");
    EXPECT_EQ(h.text("Text17"), "62.59%");
    EXPECT_EQ(h.text("Text40"), "Dell Inc.");
    // Until the first tick the clock labels keep their design captions.
    EXPECT_EQ(h.text("Label4"), "この表示が終了する迄の残り時間");
    EXPECT_EQ(h.text("Label5"), "只今の時間 yyyy/mm/dd 00:00:00");
    EXPECT_EQ(h.text("Label3"), "Ｗｉｎｄｏｗｓが起動された時刻 2024/4/1 8:5:9");

    // The first tick of Timer1 finds the check off.
    h.logic->Timer1_Timer();
    EXPECT_EQ(h.text("Command25"), "空きメモリチェック無効中");
    EXPECT_EQ(h.text("Text20"), "4,123MB   (49.7%)");
}

TEST(Form1Startup, UnguardedFailureLetsTheSequenceGoOn) {
    QByteArray wmi = hardwareWmi;
    wmi.replace(
        R"("Win32_Processor": [{"MaxClockSpeed": 2394, "Description": "Intel64 Family 6 Model 158 Stepping 10", "AddressWidth": 64}])",
        R"("Win32_Processor": {"error": "processor source broken"})");
    Form1Harness h(wmi);
    h.logic->runStartupSequence();
    EXPECT_EQ(h.text("Text1"), "------");
    EXPECT_TRUE(h.logic->model().toolTip("Text1").contains("processor source broken"));
    EXPECT_EQ(h.text("Text3"), "コア数 8  (不明ビット)");
    EXPECT_EQ(h.text("Text40"), "Dell Inc.");
    EXPECT_EQ(h.logic->model().items("List1").size(), 3);
    EXPECT_EQ(h.logic->model().items("List1").last(), "すべて表示されました。");
}

TEST(Form1Startup, RunsAgainOnEachActivation) {
    Form1Harness h;
    h.logic->runStartupSequence();
    h.logic->Command34_Click();   // off
    h.logic->click("Command35");  // check on
    h.clock->advanceMs(100000);
    h.logic->runStartupSequence();
    EXPECT_EQ(h.logic->model().items("List1").size(), 3);
    EXPECT_TRUE(h.logic->shared().AutoEndEnabled);
    EXPECT_FALSE(h.logic->shared().MemoryCheckEnabled);
    h.logic->Timer2_Timer();
    EXPECT_EQ(h.text("Label4"), "この表示が終了する迄の残り時間 180秒");
    EXPECT_EQ(h.program.closeBoxRemoved, 2);
}

TEST(Form1Clock, ElapsedTime) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {3725000, "1時間2分5秒"},
        {59999, "0時間0分59秒"},
        {180000000, "50時間0分0秒"},
        {2147488648LL, "596時間31分28秒"},  // past 2^31 ms: no wrap
    };
    for (const auto& [tick, shown] : cases) {
        Form1Harness h(hardwareWmi, QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14)), tick);
        h.logic->Timer2_Timer();
        EXPECT_EQ(h.text("Label2"),
                  QStringLiteral("Ｗｉｎｄｏｗｓ起動からの経過時間 ") + QString::fromUtf8(shown));
    }
}

TEST(Form1Clock, StartTime) {
    Form1Harness h(hardwareWmi, QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14)), 3725000);
    h.logic->ShowWindowsStartTime();
    EXPECT_EQ(h.text("Label3"), "Ｗｉｎｄｏｗｓが起動された時刻 2024/4/1 8:5:9");
    // Across a day and with 596 hours of uptime.
    Form1Harness longUp(hardwareWmi, QDateTime(QDate(2024, 4, 25), QTime(12, 0, 0)), 2147488648LL);
    longUp.logic->ShowWindowsStartTime();
    EXPECT_EQ(longUp.text("Label3"), "Ｗｉｎｄｏｗｓが起動された時刻 2024/3/31 15:28:32");
    // The current time counts to the second: its milliseconds do not leak in.
    Form1Harness half(hardwareWmi, QDateTime(QDate(2024, 1, 1), QTime(0, 0, 10, 600)), 1000);
    half.logic->ShowWindowsStartTime();
    EXPECT_EQ(half.text("Label3"), "Ｗｉｎｄｏｗｓが起動された時刻 2024/1/1 0:0:9");
    EXPECT_EQ(起動時間(Elapsed{0, 0, 5}, QDateTime(QDate(2024, 1, 1), QTime(0, 0, 2))),
              QDateTime(QDate(2023, 12, 31), QTime(23, 59, 57)));
}

TEST(Form1Clock, CountdownAndAutomaticEnd) {
    Form1Harness h;
    h.logic->runStartupSequence();
    h.logic->Timer2_Timer();
    EXPECT_EQ(h.text("Label4"), "この表示が終了する迄の残り時間 180秒");
    EXPECT_EQ(h.text("Label5"), "只今の時刻 2024/04/01 9:07:14");
    h.clock->advanceMs(180000);
    h.logic->Timer2_Timer();
    EXPECT_EQ(h.text("Label4"), "この表示が終了する迄の残り時間 0秒");
    EXPECT_FALSE(h.logic->ended());
    EXPECT_EQ(h.program.ended, 0);
    h.clock->advanceMs(1000);
    h.logic->Timer2_Timer();
    EXPECT_TRUE(h.logic->ended());
    EXPECT_EQ(h.program.ended, 1);
    EXPECT_EQ(h.text("Label4"), "この表示が終了する迄の残り時間 0秒");  // never negative
    h.logic->Timer2_Timer();                                            // no second end
    EXPECT_EQ(h.program.ended, 1);
}

TEST(Form1Clock, MidnightShowsTheDateAlone) {
    Form1Harness h(hardwareWmi, QDateTime(QDate(2024, 4, 2), QTime(0, 0, 0)));
    h.logic->runStartupSequence();
    h.logic->Timer2_Timer();
    EXPECT_EQ(h.text("Label5"), "只今の時刻 2024/04/02");
}

TEST(Form1Toggles, AutomaticEndOffAndOn) {
    Form1Harness h;
    h.logic->runStartupSequence();
    h.logic->Command34_Click();
    EXPECT_FALSE(h.logic->shared().AutoEndEnabled);
    EXPECT_EQ(h.text("Command34"), "← この終了機能を有効にする");
    EXPECT_EQ(h.bg("Command34"), colors::yellow);
    h.clock->advanceMs(100000);
    h.logic->Timer2_Timer();
    EXPECT_EQ(h.text("Label4"), "自動では停止しません");
    h.clock->advanceMs(50000);
    EXPECT_TRUE(h.logic->click("Command34"));
    EXPECT_EQ(h.text("Command34"), "← この終了機能を無効にする");
    EXPECT_EQ(h.bg("Command34"), colors::green);
    h.logic->Timer2_Timer();
    // Counting goes on from the same start: 150 s have passed.
    EXPECT_EQ(h.text("Label4"), "この表示が終了する迄の残り時間 30秒");
}

TEST(Form1Toggles, OffRunsWithoutLimitAndOnAgainLateEnds) {
    Form1Harness h;
    h.logic->runStartupSequence();
    h.logic->Command34_Click();
    for (int i = 0; i < 5; ++i) {
        h.clock->advanceMs(1000000);
        h.logic->Timer2_Timer();
        EXPECT_EQ(h.text("Label4"), "自動では停止しません");
    }
    EXPECT_FALSE(h.logic->ended());
    h.logic->Command34_Click();
    h.logic->Timer2_Timer();
    EXPECT_TRUE(h.logic->ended());
    EXPECT_EQ(h.program.ended, 1);
}

TEST(Form1Toggles, MemoryCheckToggleAsksOnce) {
    Form1Harness h;
    h.logic->runStartupSequence();
    EXPECT_TRUE(h.logic->click("Command35"));
    EXPECT_TRUE(h.logic->shared().MemoryCheckEnabled);
    EXPECT_EQ(h.text("Command35"), "↑ この機能を無効にする");
    h.logic->Timer1_Timer();
    EXPECT_EQ(h.text("Command25"), "空きメモリサイズ(自動)");
    h.logic->click("Command35");
    EXPECT_EQ(h.text("Command35"), "↑ この機能を有効にする");
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "5秒毎に空きメモリをチェックします。");
}

TEST(Form1Clicks, WhichButtonsHaveLogicHere) {
    Form1Harness h;
    EXPECT_TRUE(h.logic->click("Command39"));
    EXPECT_EQ(h.text("Text39"), "OptiPlex 7060");
    EXPECT_FALSE(h.logic->click("Command14"));  // print: the window's own
    EXPECT_FALSE(h.logic->click("Command15"));
    EXPECT_TRUE(h.logic->click("Command16"));
    EXPECT_TRUE(h.logic->ended());
    EXPECT_EQ(h.program.ended, 1);
}

// Steps 1 and 2 start the timers counting, before anything else of the sequence runs.
TEST(Form1Startup, TimersRunFromStepsOneAndTwo) {
    Form1Harness h;
    h.logic->runStartupSequence();
    EXPECT_EQ(h.program.events, QStringList({"Timer1 5000", "Timer2 1000", "close box"}));
    h.logic->runStartupSequence();
    EXPECT_EQ(h.program.events.size(), 6);  // every activation sets them again
}

// The start is the current local reading cut to the second less the uptime, on the calendar:
// milliseconds of the current time never move it, and a daylight-saving change in between does
// not either.
TEST(Form1Clock, StartTimeIsTheReadingToTheSecondLessTheUptime) {
    const QByteArray savedTz = qgetenv("TZ");
    const struct {
        const char* tz;
        QDateTime now;
        std::int64_t tick;
        const char* shown;
    } cases[] = {
        {"JST-9", QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14, 999)), 3725000, "2024/4/1 8:5:9"},
        {"JST-9", QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14, 500)), 3725999, "2024/4/1 8:5:9"},
        {"JST-9", QDateTime(QDate(2024, 4, 1), QTime(9, 7, 14, 1)), 3724001, "2024/4/1 8:5:10"},
        {"JST-9", QDateTime(QDate(2024, 1, 1), QTime(0, 0, 2, 700)), 5000, "2023/12/31 23:59:57"},
        {"JST-9", QDateTime(QDate(2024, 3, 1), QTime(0, 0, 0)), 86400000, "2024/2/29 0:0:0"},
        // Berlin moved from 2:00 to 3:00 on 2024-03-31: three hours before 4:00 is 1:00.
        {"Europe/Berlin", QDateTime(QDate(2024, 3, 31), QTime(4, 0, 0, 250)), 10800000,
         "2024/3/31 1:0:0"},
        // and back from 3:00 to 2:00 on 2024-10-27.
        {"Europe/Berlin", QDateTime(QDate(2024, 10, 27), QTime(4, 0, 0)), 10800000,
         "2024/10/27 1:0:0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tz) + " " + c.now.toString(Qt::ISODateWithMs).toStdString());
        qputenv("TZ", c.tz);
        tzset();
        Form1Harness h(hardwareWmi, QDateTime(c.now.date(), c.now.time()), c.tick);
        h.logic->ShowWindowsStartTime();
        EXPECT_EQ(h.text("Label3"),
                  QStringLiteral("Ｗｉｎｄｏｗｓが起動された時刻 ") + QString::fromUtf8(c.shown));
    }
    if (savedTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedTz);
    tzset();
}
