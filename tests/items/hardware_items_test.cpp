#include <gtest/gtest.h>

#include "items/item_harness.h"

using torvix::test::ItemHarness;
namespace colors = torvix::colors;

namespace {

const QByteArray system8 = R"({"processors": 8, "screen": {"width": 1920, "height": 1080},
                               "isUserAnAdmin": false})";

QByteArray processors(const QByteArray& instances) {
    return R"({"Win32_Processor": [)" + instances + "]}";
}

}  // namespace

TEST(ProcessorItems, FirstInstanceOnly) {
    ItemHarness h(
        system8,
        processors(
            R"({"MaxClockSpeed": 2394, "Description": "Intel64 Family 6 Model 158 Stepping 10", "AddressWidth": 64},
           {"MaxClockSpeed": 3000, "Description": "second", "AddressWidth": 32})"));
    EXPECT_TRUE(h.click("Command1"));
    EXPECT_TRUE(h.click("Command2"));
    EXPECT_TRUE(h.click("Command3"));
    EXPECT_EQ(h.text("Text1"), "2.394GHz");
    EXPECT_EQ(h.text("Text2"), "Intel64 Family 6 Model 158 Stepping 10");
    EXPECT_EQ(h.text("Text3"), "コア数 8  (64ビット)");
    EXPECT_TRUE(h.filled("Text1") && h.filled("Text2") && h.filled("Text3"));
    // Running again gives the same text; nothing is appended.
    h.click("Command1");
    h.click("Command3");
    EXPECT_EQ(h.text("Text1"), "2.394GHz");
    EXPECT_EQ(h.text("Text3"), "コア数 8  (64ビット)");
}

TEST(ProcessorItems, ClockFormats) {
    for (auto [mhz, shown] : {std::pair{"3000", "3.000GHz"}, std::pair{"800", "0.800GHz"},
                              std::pair{"2394.5", "2.395GHz"}}) {
        ItemHarness h(system8, processors(R"({"MaxClockSpeed": )" + QByteArray(mhz) + "}"));
        h.click("Command1");
        EXPECT_EQ(h.text("Text1"), QString::fromUtf8(shown)) << mhz;
    }
}

TEST(ProcessorItems, CountAndWidth) {
    ItemHarness h32(R"({"processors": 4})", processors(R"({"AddressWidth": 32})"));
    h32.click("Command3");
    EXPECT_EQ(h32.text("Text3"), "コア数 4  (32ビット)");

    // Width 0, a width no 16-bit integer holds, and a missing property all show 不明.
    for (const QByteArray& inst :
         {QByteArray(R"({"AddressWidth": 0})"), QByteArray(R"({"AddressWidth": 70000})"),
          QByteArray(R"({"AddressWidth": null})"), QByteArray("{}")}) {
        ItemHarness h(system8, processors(inst));
        EXPECT_TRUE(h.click("Command3"));
        EXPECT_EQ(h.text("Text3"), "コア数 8  (不明ビット)") << inst.constData();
    }
}

TEST(ProcessorItems, SkipsEveryFailingStep) {
    // No GetSystemInfo, a failing class: both parts fall back, the box is still written.
    ItemHarness failing(R"({})", R"({"Win32_Processor": {"error": "provider gone"}})");
    EXPECT_TRUE(failing.click("Command3"));
    EXPECT_EQ(failing.text("Text3"), "コア数 不明  (不明ビット)");
    EXPECT_TRUE(failing.filled("Text3"));
    EXPECT_TRUE(failing.form.toolTip("Text3").isEmpty());

    // The service itself down.
    ItemHarness down(
        R"({"torvix-machine": 1, "clock": {"now": "2024-04-01T09:07:14", "tickCount": 1},
                         "system": {"processors": 2}, "wmiError": "service stopped"})");
    EXPECT_TRUE(down.click("Command3"));
    EXPECT_EQ(down.text("Text3"), "コア数 2  (不明ビット)");
}

TEST(ProcessorItems, NoInstance) {
    ItemHarness h(system8, R"({})");
    EXPECT_TRUE(h.click("Command1"));
    EXPECT_TRUE(h.click("Command2"));
    EXPECT_EQ(h.text("Text1"), "------");
    EXPECT_EQ(h.form.background("Text1"), std::nullopt);
    EXPECT_EQ(h.text("Text2"), "------");
    EXPECT_TRUE(h.filled("Text2"));
}

TEST(ProcessorItems, UnguardedFailureKeepsTextAndTellsCause) {
    ItemHarness h(system8, R"({"Win32_Processor": {"error": "cpu provider failed"}})");
    EXPECT_FALSE(h.click("Command1"));
    EXPECT_EQ(h.text("Text1"), "------");
    EXPECT_TRUE(h.form.toolTip("Text1").contains("Command1_Click"));
    EXPECT_TRUE(h.form.toolTip("Text1").contains("cpu provider failed"));
    // A later success clears the cause.
    ItemHarness ok(system8, processors(R"({"MaxClockSpeed": 1000})"));
    ok.form.setToolTip("Text1", "old cause");
    ok.click("Command1");
    EXPECT_TRUE(ok.form.toolTip("Text1").isEmpty());
}

TEST(MemoryItems, MemorySize) {
    ItemHarness h(system8, R"({"Win32_ComputerSystem": [{"TotalPhysicalMemory": 8589934592},
                                                      {"TotalPhysicalMemory": 1048576}]})");
    h.click("Command17");
    EXPECT_EQ(h.text("Text14"), "8,192MB");
    EXPECT_TRUE(h.filled("Text14"));

    ItemHarness none(system8, R"({})");
    none.click("Command17");
    EXPECT_EQ(none.text("Text14"), "0MB");
    EXPECT_TRUE(none.filled("Text14"));

    ItemHarness half(system8, R"({"Win32_ComputerSystem": [{"TotalPhysicalMemory": 1572864}]})");
    half.click("Command17");
    EXPECT_EQ(half.text("Text14"), "2MB");  // 1.5 rounds away from zero
}

namespace {
QByteArray os(const QByteArray& instances) {
    return R"({"Win32_OperatingSystem": [)" + instances + "]}";
}
}  // namespace

TEST(MemoryItems, FreeMemoryReading) {
    ItemHarness h(system8,
                  os(R"({"TotalVisibleMemorySize": 8294400, "FreePhysicalMemory": 4123456})"));
    h.shared.MemoryCheckEnabled = true;
    EXPECT_TRUE(h.click("Command25"));
    EXPECT_EQ(h.text("Text20"), "4,123MB   (49.7%)");
    EXPECT_TRUE(h.filled("Text20"));
    EXPECT_EQ(h.text("Command25"), "空きメモリサイズ(自動)");
    EXPECT_EQ(h.form.background("Command25"), colors::white);  // the colour it had before

    // Free memory is divided by 1000; below 10 % one integer digit.
    ItemHarness k(system8,
                  os(R"({"TotalVisibleMemorySize": 8294400, "FreePhysicalMemory": 2048000})"));
    k.shared.MemoryCheckEnabled = true;
    k.click("Command25");
    EXPECT_TRUE(k.text("Text20").startsWith("2,048MB   ("));
    ItemHarness low(system8,
                    os(R"({"TotalVisibleMemorySize": 8294400, "FreePhysicalMemory": 414720})"));
    low.shared.MemoryCheckEnabled = true;
    low.form.setBackground("Command25", colors::green);
    low.click("Command25");
    EXPECT_EQ(low.text("Text20"), "415MB   (5.0%)");
    EXPECT_EQ(low.form.background("Command25"), colors::green);
}

TEST(MemoryItems, FreeMemoryLastInstanceAndUnknownShare) {
    ItemHarness two(system8, os(R"({"TotalVisibleMemorySize": 1000, "FreePhysicalMemory": 100},
                                  {"TotalVisibleMemorySize": 2000, "FreePhysicalMemory": 1500})"));
    two.shared.MemoryCheckEnabled = true;
    two.click("Command25");
    EXPECT_EQ(two.text("Text20"), "2MB   (75.0%)");

    ItemHarness none(system8, R"({})");
    none.shared.MemoryCheckEnabled = true;
    none.click("Command25");
    EXPECT_EQ(none.text("Text20"), "0MB   (不明%)");

    ItemHarness zero(system8, os(R"({"TotalVisibleMemorySize": 0, "FreePhysicalMemory": 5000})"));
    zero.shared.MemoryCheckEnabled = true;
    zero.click("Command25");
    EXPECT_EQ(zero.text("Text20"), "5MB   (不明%)");
}

TEST(MemoryItems, CheckOffChangesCaptionOnly) {
    ItemHarness h(system8, os(R"({"TotalVisibleMemorySize": 2000, "FreePhysicalMemory": 1000})"));
    h.form.setText("Text20", "previous");
    h.shared.MemoryCheckEnabled = false;
    EXPECT_TRUE(h.click("Command25"));
    EXPECT_EQ(h.text("Command25"), "空きメモリチェック無効中");
    EXPECT_EQ(h.text("Text20"), "previous");
    EXPECT_EQ(h.form.background("Text20"), std::nullopt);
}

TEST(MemoryItems, FailedReadingRestoresTheButton) {
    ItemHarness h(system8, R"({"Win32_OperatingSystem": {"error": "no os class"}})");
    h.shared.MemoryCheckEnabled = true;
    EXPECT_FALSE(h.click("Command25"));
    EXPECT_EQ(h.text("Command25"), "メモリチェック");
    EXPECT_EQ(h.form.background("Command25"), colors::white);
    EXPECT_EQ(h.text("Text20"), "------");
    EXPECT_TRUE(h.form.toolTip("Text20").contains("no os class"));
}

TEST(MemoryItems, ToggleShowsMessageOnlyWhenTurningOn) {
    ItemHarness h(system8, R"({})");
    h.shared.timer1IntervalMs = 5000;
    h.shared.MemoryCheckEnabled = false;
    h.click("Command35");
    EXPECT_TRUE(h.shared.MemoryCheckEnabled);
    EXPECT_EQ(h.text("Command35"), "↑ この機能を無効にする");
    EXPECT_EQ(h.form.background("Command35"), colors::yellow);
    h.click("Command35");
    EXPECT_FALSE(h.shared.MemoryCheckEnabled);
    EXPECT_EQ(h.text("Command35"), "↑ この機能を有効にする");
    EXPECT_EQ(h.form.background("Command35"), colors::lightGreen);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "5秒毎に空きメモリをチェックします。");
    EXPECT_EQ(h.ui.boxes[0].title, "メモリチェック");
    EXPECT_EQ(h.ui.boxes[0].buttons, torvix::UserInterface::Buttons::Ok);
    EXPECT_EQ(h.ui.boxes[0].icon, torvix::UserInterface::Icon::Information);
    // Turning the check on takes no reading by itself.
    EXPECT_EQ(h.text("Text20"), "------");
}

TEST(OsItems, VersionAndServicePack) {
    ItemHarness h(system8, os(R"({"Caption": "First OS", "ServicePackMajorVersion": 1},
                                {"Caption": "Debian GNU/Linux 12 [bookworm]", "ServicePackMajorVersion": 0})"));
    h.click("Command5");
    h.click("Command22");
    EXPECT_EQ(h.text("Text5"), "Debian GNU/Linux 12 [bookworm]");
    EXPECT_EQ(h.text("Text22"), "サービスパックなし");
    EXPECT_TRUE(h.filled("Text5") && h.filled("Text22"));

    ItemHarness sp2(system8, os(R"({"Caption": "X", "ServicePackMajorVersion": 2})"));
    sp2.click("Command22");
    EXPECT_EQ(sp2.text("Text22"), "サービスパック(ServicePack) 2");

    ItemHarness none(system8, R"({})");
    none.click("Command5");
    none.click("Command22");
    EXPECT_EQ(none.text("Text5"), "");
    EXPECT_EQ(none.text("Text22"), "サービスパック(ServicePack) ");
    EXPECT_TRUE(none.filled("Text5") && none.filled("Text22"));
}

TEST(OsItems, PointingDevices) {
    auto devices = [](const QByteArray& list) {
        return R"({"Win32_PointingDevice": [)" + list + "]}";
    };
    ItemHarness one(system8, devices(R"({"Description": "USB Mouse"})"));
    one.click("Command7");
    EXPECT_EQ(one.text("Text7"), "USB Mouse");

    ItemHarness three(
        system8, devices(R"({"Description": "A"}, {"Description": "B"}, {"Description": "C"})"));
    three.click("Command7");
    EXPECT_EQ(three.text("Text7"), "A , B , C");

    ItemHarness nullDesc(
        system8, devices(R"({"Description": "A"}, {"Description": null}, {"Description": "C"})"));
    nullDesc.click("Command7");
    EXPECT_EQ(nullDesc.text("Text7"), "A ,  , C");

    ItemHarness none(system8, R"({})");
    none.click("Command7");
    EXPECT_EQ(none.text("Text7"), "");
    EXPECT_TRUE(none.filled("Text7"));
}

TEST(OsItems, AccessLevelAndDisplay) {
    ItemHarness user(system8, R"({})");
    user.click("Command33");
    user.click("Command8");
    EXPECT_EQ(user.text("Text33"), "標準ユーザ");
    EXPECT_EQ(user.text("Text8"), "1920 * 1080");
    EXPECT_TRUE(user.filled("Text33") && user.filled("Text8"));

    ItemHarness admin(R"({"isUserAnAdmin": true, "screen": {"width": 3840, "height": 2160}})",
                      R"({})");
    admin.click("Command33");
    admin.click("Command8");
    EXPECT_EQ(admin.text("Text33"), "管理者");
    EXPECT_EQ(admin.text("Text8"), "3840 * 2160");

    // Functions the computer cannot answer leave the boxes and say why.
    ItemHarness bare(R"({})", R"({})");
    EXPECT_FALSE(bare.click("Command33"));
    EXPECT_FALSE(bare.click("Command8"));
    EXPECT_EQ(bare.text("Text33"), "------");
    EXPECT_EQ(bare.text("Text8"), "------");
    EXPECT_TRUE(bare.form.toolTip("Text8").contains("Command8_Click"));
}
