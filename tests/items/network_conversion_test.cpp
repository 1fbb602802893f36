#include <gtest/gtest.h>

#include <QDate>
#include <QTime>

#include "items/network/network_items.h"
#include "items/network_harness.h"
#include "platform/wmi/instance.h"

using namespace torvix;
using namespace torvix::items;
using torvix::test::NetworkHarness;

namespace {

QDateTime wall(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

QString failureOf(const QString& text) {
    try {
        日本時間に変換(text);
    } catch (const Failure& f) {
        return f.message();
    }
    return QString();
}

QByteArray processes(const QByteArray& instances) {
    return R"({"Win32_Process": [)" + instances + "]}";
}

}  // namespace

TEST(ConvertPropertyValueToString, FormsOfEveryKind) {
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value()), "<NULL>");
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value::textArray({"a", "b"})), "a,b");
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value(std::vector<wmi::Value>{})), "");
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value(42)), "42");
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value("x y")), "x y");
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value(true)), "True");
    auto embedded = std::make_shared<const wmi::Instance>(
        "Win32_Thing", std::vector<wmi::Property>{{"Name", wmi::Value("inner")}});
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value(embedded)),
              "<CIM_OBJECT (embedded SWbemObject)>");
    // An odd element does not stop the conversion.
    EXPECT_EQ(ConvertPropertyValueToString(wmi::Value(
                  std::vector<wmi::Value>{wmi::Value(1), wmi::Value(), wmi::Value("z")})),
              "1,<NULL>,z");
}

TEST(JapanTime, ConversionTable) {
    EXPECT_EQ(日本時間に変換("20181030090503.500000+540"), wall(2018, 10, 30, 9, 5, 3));
    EXPECT_EQ(日本時間に変換("20181030000503.000000+000"), wall(2018, 10, 30, 9, 5, 3));
    EXPECT_EQ(日本時間に変換("20181029203503.000000-300"), wall(2018, 10, 30, 10, 35, 3));
    EXPECT_EQ(日本時間に変換("20181231230000.000000+000"), wall(2019, 1, 1, 8, 0, 0));
}

TEST(JapanTime, FieldsPastTheirRangeCarry) {
    EXPECT_EQ(日本時間に変換("20181301000000.000000+540"), wall(2019, 1, 1, 0, 0, 0));
    EXPECT_EQ(日本時間に変換("20180300120000.000000+540"), wall(2018, 2, 28, 12, 0, 0));
    EXPECT_EQ(日本時間に変換("20180231240000.000000+540"), wall(2018, 3, 4, 0, 0, 0));
    EXPECT_EQ(日本時間に変換("20181030006070.000000+540"), wall(2018, 10, 30, 1, 1, 10));
    // Leap day, and an offset that moves the value back across a year.
    EXPECT_EQ(日本時間に変換("20240229120000.000000+540"), wall(2024, 2, 29, 12, 0, 0));
    EXPECT_EQ(日本時間に変換("20190101050000.000000+600"), wall(2019, 1, 1, 4, 0, 0));
}

TEST(JapanTime, TextsThatAreNoDateTimeFailClearly) {
    EXPECT_NE(failureOf("<NULL>"), "");
    EXPECT_NE(failureOf(""), "");
    EXPECT_NE(failureOf("20181030090503.500000+54"), "");  // 24 characters
    EXPECT_TRUE(failureOf("2018103009O503.500000+540").contains("position 11"));
    EXPECT_NE(failureOf("20181030090503.500000 540"), "");  // no sign
    EXPECT_NE(failureOf("20181030090503.500000+5x0"), "");
    EXPECT_NE(failureOf("00001030090503.500000+540"), "");  // year 0
    EXPECT_NE(failureOf("2018-10-30T09:05:03+09:00ab"), "");
    EXPECT_NE(failureOf("**************.******+***"), "");
    // The offset comes from the last four characters.
    EXPECT_EQ(日本時間に変換("20181030000503.000000+000xx+000"), wall(2018, 10, 30, 9, 5, 3));
}

TEST(Command4, ShowsTheFirstProcessCreationTimeInJapanTime) {
    NetworkHarness h(
        processes(R"({"ProcessId": 1, "Parent": {"object": {"A": 1}}, "Threads": [1, 2],)"
                  R"( "CreationDate": "20181030000503.000000+000"},)"
                  R"({"ProcessId": 2, "CreationDate": "20200101000000.000000+540"})"));
    ASSERT_TRUE(h.click("Command4"));
    EXPECT_EQ(h.text("Text4"), "2018/10/30 9:05:03");
    EXPECT_TRUE(h.filled("Text4"));
}

TEST(Command4, MidnightShowsTheDateOnly) {
    NetworkHarness h(processes(R"({"CreationDate": "20181029150000.000000+000"})"));
    ASSERT_TRUE(h.click("Command4"));
    EXPECT_EQ(h.text("Text4"), "2018/10/30");
}

TEST(Command4, NameComparesWithLetterCase) {
    // "creationdate" is no match; the walk goes on to the next process.
    NetworkHarness h(processes(R"({"creationdate": "20181030090503.000000+540"},)"
                               R"({"CreationDate": "20190102030405.000000+540"})"));
    ASSERT_TRUE(h.click("Command4"));
    EXPECT_EQ(h.text("Text4"), "2019/01/02 3:04:05");
}

TEST(Command4, NoProcessLeavesTheBoxUntouched) {
    NetworkHarness h(R"({"Win32_Process": []})");
    ASSERT_TRUE(h.click("Command4"));
    EXPECT_EQ(h.text("Text4"), "------");
    EXPECT_FALSE(h.filled("Text4"));
}

TEST(Command4, UnusableCreationDateEndsTheRoutine) {
    for (const QByteArray& value : {QByteArray("null"), QByteArray(R"("yesterday")")}) {
        NetworkHarness h(processes(R"({"CreationDate": )" + value + "}"));
        EXPECT_FALSE(h.click("Command4")) << value.constData();
        EXPECT_EQ(h.text("Text4"), "------");
        EXPECT_FALSE(h.filled("Text4"));
        EXPECT_TRUE(h.form.toolTip("Text4").contains("Command4_Click")) << value.constData();
    }
    NetworkHarness down(R"({})", R"("wmiError": "service stopped")");
    EXPECT_FALSE(down.click("Command4"));
    EXPECT_TRUE(down.form.toolTip("Text4").contains("service stopped"));
}
