#include "windows/logic/form7_logic.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <atomic>
#include <cmath>

#include "windows/logic/form7_harness.h"

using namespace torvix;
using torvix::test::logEvent;
using torvix::test::logMachineJson;
using torvix::test::RecordingLauncher;
using torvix::test::ScriptedUi;
using Answer = UserInterface::Answer;
using Icon = UserInterface::Icon;
using Buttons = UserInterface::Buttons;

namespace {

const QString header = "起動/停止         日付\r\n\r\n";
const QString hint = "ここに過去の起動/停止した時間が\r\n表示されます。";
const QString waiting =
    "情報を取得中です。\r\n表示までに少し時間がかかります。\r\nしばらくお待ちください。";
const QString nothingFound = waiting + "\r\n起動/停止の記録は見つかりませんでした。";

QString startLine(const QString& counter, const QString& time) {
    return " (" + counter + ") 起動          " + time;
}
QString stopLine(const QString& time) {
    return "  →シャットダウン " + time;
}

// `pairs` days, each a start at 08:00 and a shutdown at 18:30 (Japan time stamps), day 1 first.
struct Alternating {
    std::vector<QByteArray> events;
    QStringList lines;  // the history lines of every event
};
Alternating alternating(int pairs) {
    Alternating a;
    const QDateTime first(QDate(2024, 1, 1), QTime(8, 0, 0));
    for (int i = 0; i < pairs; ++i) {
        const QDateTime on = first.addDays(i);
        const QDateTime off = on.addSecs(10 * 3600 + 30 * 60);
        const QByteArray onStamp = on.toString("yyyyMMddHHmmss").toLatin1() + ".000000+540";
        const QByteArray offStamp = off.toString("yyyyMMddHHmmss").toLatin1() + ".250000+540";
        a.events.push_back(logEvent(6005, onStamp.constData()));
        a.events.push_back(logEvent(6006, offStamp.constData()));
        a.lines << startLine(QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                             on.toString("yyyy/MM/dd HH:mm:ss"))
                << stopLine(off.toString("yyyy/MM/dd HH:mm:ss"));
    }
    return a;
}

struct HistoryCase {
    const char* name;
    std::vector<QByteArray> events;
    QString count;     // Text2
    QString expected;  // Text1 afterwards
    bool succeeds;
    const char* cause = nullptr;  // part of Text1's tooltip after a failure
};

struct Form7Run {
    explicit Form7Run(const QByteArray& json)
        : machine(parseMachineFile(json, "machine.json", false)) {}
    Machine machine;
    Form7Logic form;
    ScriptedUi ui;
};

}  // namespace

TEST(Form7History, WalkOfTheStartsAndShutdowns) {
    const Alternating twelve = alternating(12);
    const Alternating four = alternating(4);
    const Alternating two = alternating(2);
    const Alternating hundred = alternating(101);

    std::vector<QByteArray> tenWithOthers = twelve.events;
    // Entries of other logs and codes are not asked for.
    tenWithOthers.insert(tenWithOthers.begin() + 3,
                         logEvent(6005, "20240101120000.000000+540", "Application"));
    tenWithOthers.insert(tenWithOthers.begin() + 5,
                         test::logEvent(6008, "20240101130000.000000+540"));

    const std::vector<HistoryCase> cases = {
        {"N = 10 alternating ends with the shutdown after (10), no line end", tenWithOthers, "10",
         header + twelve.lines.mid(0, 20).join("\r\n"), true},
        {"two starts in a row go on to the next shutdown",
         {logEvent(6005, "20240105080000.000000+540"), logEvent(6005, "20240104080000.000000+540"),
          logEvent(6006, "20240103190000.000000+540"), logEvent(6005, "20240103080000.000000+540")},
         "1",
         header + startLine("01", "2024/01/05 08:00:00") + "\r\n" +
             startLine("02", "2024/01/04 08:00:00") + "\r\n" + stopLine("2024/01/03 19:00:00"),
         true},
        {"a shutdown first never ends the walk",
         {logEvent(6006, "20240105190000.000000+540"), logEvent(6005, "20240105080000.000000+540"),
          logEvent(6006, "20240104190000.000000+540"), logEvent(6005, "20240104080000.000000+540")},
         "1",
         header + stopLine("2024/01/05 19:00:00") + "\r\n" +
             startLine("01", "2024/01/05 08:00:00") + "\r\n" + stopLine("2024/01/04 19:00:00"),
         true},
        {"N = 2.5 acts as 2", four.events, "2.5", header + four.lines.mid(0, 4).join("\r\n"), true},
        {"fewer starts than N end with a line end", two.events, "10",
         header + two.lines.join("\r\n") + "\r\n", true},
        {"N = 100 numbers the starts up to (100)", hundred.events, "100",
         header + hundred.lines.mid(0, 200).join("\r\n"), true},
        {"no events: the waiting text and that none was found", {}, "10", nothingFound, true},
        {"only other logs and codes: none found",
         {logEvent(6005, "20240105080000.000000+540", "Application"),
          logEvent(6008, "20240105080000.000000+540")},
         "10",
         nothingFound,
         true},
        {"UTC and other offsets in Japan time",
         {logEvent(6005, "20240109090507.000000+000"), logEvent(6006, "20231231200000.123456-300"),
          logEvent(6005, "20231231235959.999999+540"), logEvent(6006, "20240229200000.000000+060")},
         "2",
         header + " (01) 起動          2024/01/09 18:05:07\r\n"
                  "  →シャットダウン 2024/01/01 10:00:00\r\n"
                  " (02) 起動          2023/12/31 23:59:59\r\n"
                  "  →シャットダウン 2024/03/01 04:00:00",
         true},
        {"an unreadable TimeWritten ends the walk where it stood",
         {logEvent(6005, "20240109090507.000000+540"), logEvent(6006, "yesterday evening"),
          logEvent(6005, "20240108090507.000000+540")},
         "10",
         header + startLine("01", "2024/01/09 09:05:07") + "\r\n",
         false,
         "convert TimeWritten of event 2"},
        {"a null TimeWritten as well",
         {R"({"Logfile": "System", "EventCode": 6005, "TimeWritten": null})"},
         "10",
         header,
         false,
         "convert TimeWritten of event 1"},
    };
    for (const HistoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        Form7Run run(logMachineJson(c.events));
        run.form.Form_Activate();
        run.form.model().setText("Text2", c.count);
        EXPECT_EQ(run.form.Command2_Click(run.machine, run.ui), c.succeeds);
        EXPECT_EQ(run.form.model().text("Text1"), c.expected);
        EXPECT_TRUE(run.ui.boxes.empty());
        const QString tip = run.form.model().toolTip("Text1");
        if (c.succeeds) {
            EXPECT_TRUE(tip.isEmpty()) << tip.toStdString();
        } else {
            EXPECT_TRUE(tip.startsWith("Form7 Command2_Click: ")) << tip.toStdString();
            EXPECT_TRUE(tip.contains(c.cause)) << tip.toStdString();
        }
        // The next activation puts the hint back.
        run.form.Form_Activate();
        EXPECT_EQ(run.form.model().text("Text1"), hint);
        EXPECT_TRUE(run.form.model().toolTip("Text1").isEmpty());
    }
}

TEST(Form7History, AFailingQueryLeavesTheWaitingText) {
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"class fails",
         R"({"torvix-machine": 1, "wmi": {"Win32_NTLogEvent": {"error": "journal unreadable"}}})"},
        {"service down", R"({"torvix-machine": 1, "wmiError": "journal unreadable"})"},
    };
    for (const auto& [name, json] : cases) {
        SCOPED_TRACE(name);
        Form7Run run(json);
        EXPECT_FALSE(run.form.Command2_Click(run.machine, run.ui));
        EXPECT_EQ(run.form.model().text("Text1"), waiting);
        EXPECT_TRUE(run.form.model().toolTip("Text1").contains("journal unreadable"));
    }
}

TEST(Form7History, CountChecksAndTheirMessages) {
    struct CountCase {
        QString count;
        QString message;  // empty: the history is shown
        QString title;
    };
    const QString notNumeric = "指定が数字ではありません。";
    const QString outOfRange = "回数は1～100迄です。";
    const std::vector<CountCase> cases = {
        {"0", outOfRange, "回数"},
        {"101", outOfRange, "回数"},
        {"-5", outOfRange, "回数"},
        {"0.5", outOfRange, "回数"},
        {"100.5", outOfRange, "回数"},
        {"1,000", outOfRange, "回数"},
        {"abc", notNumeric, "エラー"},
        {"", notNumeric, "エラー"},
        {"   ", notNumeric, "エラー"},
        {"1,5", notNumeric, "エラー"},
        {"1e400", notNumeric, "エラー"},
        {"inf", notNumeric, "エラー"},
        {"0x10", notNumeric, "エラー"},
        {".", notNumeric, "エラー"},
        {"e5", notNumeric, "エラー"},
        {"5 5", notNumeric, "エラー"},
        {" 7 ", "", ""},
        {"1e1", "", ""},
        {"+3", "", ""},
        {" 2.5 ", "", ""},
        {"１０", "", ""},
        {"100", "", ""},
        {"1", "", ""},
        {"\t10\t", "", ""},
    };
    const Alternating two = alternating(2);
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.count.toStdString());
        Form7Run run(logMachineJson(two.events));
        run.form.Form_Activate();
        run.form.model().setText("Text2", c.count);
        const bool shown = run.form.Command2_Click(run.machine, run.ui);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(shown);
            EXPECT_TRUE(run.ui.boxes.empty());
            EXPECT_TRUE(run.form.model().text("Text1").startsWith(header));
            continue;
        }
        EXPECT_FALSE(shown);
        ASSERT_EQ(run.ui.boxes.size(), 1u);
        EXPECT_EQ(run.ui.boxes[0].text, c.message);
        EXPECT_EQ(run.ui.boxes[0].title, c.title);
        EXPECT_EQ(run.ui.boxes[0].buttons, Buttons::Ok);
        EXPECT_EQ(run.ui.boxes[0].icon, Icon::Critical);
        // The window stays as it was.
        EXPECT_EQ(run.form.model().text("Text1"), hint);
        EXPECT_EQ(run.form.model().text("Text2"), c.count);
    }
}

TEST(Form7History, NumericValueOfTheCountField) {
    const std::vector<std::pair<QString, double>> numbers = {
        {" 2.5 ", 2.5},  {"+3", 3},
        {"1e1", 10},     {"1E+1", 10},
        {"1,000", 1000}, {"１０", 10},
        {"－５", -5},    {".5", 0.5},
        {"5.", 5},       {"10,000.5", 10000.5},
        {"-0", 0},       {"007", 7},
        {"2e-1", 0.2},   {"\u30001\u3000", 1},
    };
    for (const auto& [text, value] : numbers) {
        SCOPED_TRACE(text.toStdString());
        const std::optional<double> n = numericValue(text);
        ASSERT_TRUE(n.has_value());
        EXPECT_DOUBLE_EQ(*n, value);
    }
}

TEST(Form7Shutdown, ConfirmThenRunTheCommand) {
    struct ShutdownCase {
        const char* name;
        int button;  // 3 or 4
        Answer answer;
        bool fromFile;         // the window shows a computer described by a machine file
        LaunchResult launch;   // what the launcher answers
        QStringList commands;  // command lines given to the launcher
        QStringList messages;  // every box, the question first
        Icon lastIcon;
        bool result;
    };
    const QString askShutdown = "シャットダウンしますか？";
    const QString askHybrid = "ハイブリッドスリープしますか？ (Windows10で有効)";
    const QString fileMessage =
        "表示中のコンピューターはファイルに記述されたものです。\n"
        "このコンピューターではコマンドを実行しませんでした。";
    const LaunchResult ok{true, 0, {}};
    const std::vector<ShutdownCase> cases = {
        {"shutdown, yes",
         3,
         Answer::Yes,
         false,
         ok,
         {"systemctl poweroff"},
         {askShutdown},
         Icon::Information,
         true},
        {"hybrid, yes",
         4,
         Answer::Yes,
         false,
         ok,
         {"systemctl hybrid-sleep"},
         {askHybrid},
         Icon::Information,
         true},
        {"shutdown, no", 3, Answer::No, false, ok, {}, {askShutdown}, Icon::Information, false},
        {"hybrid, no", 4, Answer::No, false, ok, {}, {askHybrid}, Icon::Information, false},
        {"refused with exit code 1",
         3,
         Answer::Yes,
         false,
         LaunchResult{true, 1, "Call to PowerOff failed: Access denied"},
         {"systemctl poweroff"},
         {askShutdown,
          "「systemctl poweroff」が失敗しました(終了コード 1)。\n"
          "Call to PowerOff failed: Access denied"},
         Icon::Critical,
         false},
        {"unsupported hybrid sleep",
         4,
         Answer::Yes,
         false,
         LaunchResult{true, 1, "Sleep verb \"hybrid-sleep\" is not supported"},
         {"systemctl hybrid-sleep"},
         {askHybrid,
          "「systemctl hybrid-sleep」が失敗しました(終了コード 1)。\n"
          "Sleep verb \"hybrid-sleep\" is not supported"},
         Icon::Critical,
         false},
        {"cannot start",
         3,
         Answer::Yes,
         false,
         LaunchResult{false, 0, "No such file or directory"},
         {"systemctl poweroff"},
         {askShutdown, "「systemctl poweroff」を開始できませんでした。\nNo such file or directory"},
         Icon::Critical,
         false},
        {"machine file, yes",
         3,
         Answer::Yes,
         true,
         ok,
         {},
         {askShutdown, fileMessage},
         Icon::Information,
         false},
        {"machine file, hybrid yes",
         4,
         Answer::Yes,
         true,
         ok,
         {},
         {askHybrid, fileMessage},
         Icon::Information,
         false},
    };
    for (const ShutdownCase& c : cases) {
        SCOPED_TRACE(c.name);
        Form7Run run(logMachineJson({}));
        auto launcher = std::make_shared<RecordingLauncher>();
        launcher->result = c.launch;
        run.machine.launcher = launcher;
        if (!c.fromFile) run.machine.root = "/";
        run.ui.answer = c.answer;
        const bool result = c.button == 3 ? run.form.Command3_Click(run.machine, run.ui)
                                          : run.form.Command4_Click(run.machine, run.ui);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(launcher->commandLines(), c.commands);
        for (const RecordingLauncher::Call& call : launcher->calls) {
            EXPECT_EQ(call.how, "run");  // waited for, so that its answer can be told
            EXPECT_LT(call.timeoutMs, 0);
        }
        EXPECT_EQ(run.ui.texts(), c.messages);
        ASSERT_FALSE(run.ui.boxes.empty());
        EXPECT_EQ(run.ui.boxes[0].title, "シャットダウン");
        EXPECT_EQ(run.ui.boxes[0].buttons, Buttons::YesNo);
        EXPECT_EQ(run.ui.boxes[0].icon, Icon::Information);
        EXPECT_EQ(run.ui.boxes.back().icon, c.lastIcon);
        EXPECT_EQ(run.ui.boxes.back().title, "シャットダウン");
    }
}

// systemctl answers once the window's thread has served timer ticks; a second press starts nothing.
TEST(Form7Shutdown, TheWindowKeepsServingWhileTheCommandRuns) {
    struct SlowLauncher : RecordingLauncher {
        LaunchResult run(const QString& program, const QStringList& args, int ms) override {
            for (int i = 0; i < 1000 && ticks < 3; ++i) QThread::msleep(10);
            return RecordingLauncher::run(program, args, ms);
        }
        std::atomic<int> ticks{0};
    };
    const QString ask = "シャットダウンしますか？";
    const std::pair<LaunchResult, QStringList> cases[] = {
        {{true, 1, "Denied"},
         {ask, "「systemctl poweroff」が失敗しました(終了コード 1)。\nDenied"}},
        {{true, 0, {}}, {ask}}};
    for (const auto& [launch, messages] : cases) {
        Form7Run run(logMachineJson({}));
        run.machine.root = "/";
        auto launcher = std::make_shared<SlowLauncher>();
        launcher->result = launch;
        run.machine.launcher = launcher;
        QTimer clock;  // its first tick presses the other button
        QObject::connect(&clock, &QTimer::timeout, [&] {
            if (++launcher->ticks == 1) run.form.Command4_Click(run.machine, run.ui);
        });
        clock.start(10);
        EXPECT_EQ(run.form.Command3_Click(run.machine, run.ui), launch.succeeded());
        EXPECT_GE(launcher->ticks, 3);        // all while it ran: no loop runs here
        EXPECT_EQ(run.ui.texts(), messages);  // the other press asked nothing
    }
}
