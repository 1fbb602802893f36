#include "windows/logic/form7_report.h"

#include <gtest/gtest.h>

#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

const QString tail =
    "Label1\t表示回数\t\n"
    "Text2\t10\t\n"
    "Command2\t表示する\t\n"
    "Command1\t表示終了\t\n"
    "Command3\tシャットダウン\t\n"
    "Command4\tハイブリッドスリープ\t\n";

const QString nothingFound =
    "Text1\t情報を取得中です。\t\n"
    "Text1\t表示までに少し時間がかかります。\t\n"
    "Text1\tしばらくお待ちください。\t\n"
    "Text1\t起動/停止の記録は見つかりませんでした。\t\n";

}  // namespace

TEST(Form7Report, HistoryOnTheLoadedCountThenTheControls) {
    struct ReportCase {
        const char* name;
        QByteArray json;  // empty: the office machine file; "live": this program's own sources
                          // over a root whose wtmp is empty
        QString expected;
    };
    const std::vector<ReportCase> cases = {
        {"office machine: three events, fewer starts than ten",
         {},
         "Text1\t起動/停止         日付\t\n"
         "Text1\t\t\n"
         "Text1\t (01) 起動          2024/04/01 07:00:12\t\n"
         "Text1\t  →シャットダウン 2024/03/31 19:00:00\t\n"
         "Text1\t (02) 起動          2024/03/31 08:30:00\t\n" +
             tail},
        {"no events: the waiting text, then that none was found",
         R"({"torvix-machine": 1, "wmi": {"Win32_NTLogEvent": []}})", nothingFound + tail},
        {"an empty wtmp: the same", "live", nothingFound + tail},
        {"failing log: the waiting text",
         R"({"torvix-machine": 1, "wmi": {"Win32_NTLogEvent": {"error": "no journal"}}})",
         "Text1\t情報を取得中です。\t\n"
         "Text1\t表示までに少し時間がかかります。\t\n"
         "Text1\tしばらくお待ちください。\t\n" +
             tail},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeRoot root;
        root.write("var/log/wtmp", {});
        LiveMachineOptions live;
        live.root = root.path();
        Machine machine = c.json.isEmpty()
                              ? loadMachineFile(test::dataPath("machines/office_pc.json"), false)
                          : c.json == "live" ? makeLiveMachine(live)
                                             : parseMachineFile(c.json, "machine.json", false);
        CommandLine line;
        line.mode = CommandLine::Mode::Report;
        line.window = "Form7";
        QByteArray out;
        ASSERT_EQ(runReport(line, machine, out), 0);
        EXPECT_EQ(QString::fromUtf8(out), c.expected);
    }
    EXPECT_TRUE(reportWindowNames().contains("Form7"));
}
