#include <gtest/gtest.h>

#include "item_harness.h"

using namespace torvix;
using namespace torvix::test;

TEST(UnguardedFailureLog, ACauseMetAgainIsCountedOnce) {
    // Each event: a reported (line, cause), or a flush when the line is empty.
    struct Event {
        QString line, cause;
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        QStringList printed;
    };
    const Event flush{};
    const std::vector<Case> cases = {
        {"different causes each print",
         {{"A: s: x", "x"}, {"B: s: y", "y"}, flush},
         {"A: s: x", "B: s: y"}},
        {"the same cause in three routines",
         {{"A: s: down", "down"}, {"B: t: down", "down"}, {"C: u: down", "down"}, flush},
         {"A: s: down", "…: down (and 2 more routines)"}},
        {"one repeat",
         {{"A: s: down", "down"}, {"B: s: down", "down"}, flush},
         {"A: s: down", "…: down (and 1 more routine)"}},
        {"repeats are told in the order first met",
         {{"A: s: x", "x"}, {"B: s: y", "y"}, {"C: s: y", "y"}, {"D: s: x", "x"}, flush},
         {"A: s: x", "B: s: y", "…: y (and 1 more routine)", "…: x (and 1 more routine)"}},
        {"after a flush a known cause is counted anew, not printed",
         {{"A: s: x", "x"}, {"B: s: x", "x"}, flush, {"C: s: x", "x"}, flush, flush},
         {"A: s: x", "…: x (and 1 more routine)", "…: x (and 1 more routine)"}},
        {"nothing to tell", {flush}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList printed;
        {
            UnguardedFailureLog log([&](const QString& line) { printed << line; });
            for (const Event& e : c.events) {
                if (e.line.isEmpty())
                    log.flush();
                else
                    log.report(e.line, e.cause);
            }
        }
        EXPECT_EQ(printed, c.printed);
    }
}

TEST(UnguardedFailureLog, CausesFromAFileAreEscapedAndCut) {
    const QByteArray huge(1'000'000, 'e');
    struct Case {
        QByteArray json;
        QString tooltip;  // the whole tooltip of Text1
    };
    const std::vector<Case> cases = {
        {machineJson("{}", R"({"Win32_Processor": {"error": "bad\nline\u001b[2J\u0000"}})"),
         R"(Command1_Click: walk Win32_Processor: bad\nline\x1b[2J\0)"},
        {machineJson("{}", R"({"Win32_Processor": {"error": ")" + huge + R"("}})"),
         R"(Command1_Click: walk Win32_Processor: )" + QString(200, 'e') + QChar(0x2026)},
        {R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T09:07:14", "tickCount": 1},
             "wmiError": ")" +
             huge + R"("})",
         R"(Command1_Click: ConnectServer: cannot connect to "winmgmts:": )" + QString(200, 'e') +
             QChar(0x2026)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.left(120).toStdString());
        ItemHarness h(c.json);
        EXPECT_FALSE(h.click("Command1"));
        EXPECT_EQ(h.form.toolTip("Text1").toStdString(), c.tooltip.toStdString());
    }
}
