#include <gtest/gtest.h>

#include "items/item_harness.h"

using torvix::test::ItemHarness;

namespace {

QByteArray disk(const char* sectors, const char* bytes, const char* freeClusters,
                const char* total) {
    return QByteArray(R"({"disk": {"sectorsPerCluster": )") + sectors + R"(, "bytesPerSector": )" +
           bytes + R"(, "freeClusters": )" + freeClusters + R"(, "totalClusters": )" + total + "}}";
}

struct Drive {
    QString capacity, use, ratio;
};

Drive showDrive(const QByteArray& system) {
    ItemHarness h(system, R"({})");
    EXPECT_TRUE(h.click("Command18"));
    EXPECT_TRUE(h.click("Command19"));
    EXPECT_TRUE(h.click("Command20"));
    EXPECT_TRUE(h.filled("Text15") && h.filled("Text16") && h.filled("Text17"));
    return {h.text("Text15"), h.text("Text16"), h.text("Text17")};
}

}  // namespace

TEST(DriveItems, WorkedExample) {
    const Drive d = showDrive(disk("8", "512", "45678901", "122096646"));
    EXPECT_EQ(d.capacity, "500.108Gバイト");
    EXPECT_EQ(d.use, "313.007Gバイト");
    EXPECT_EQ(d.ratio, "62.59%");
}

TEST(DriveItems, GroupingAndDecimalGigabytes) {
    EXPECT_EQ(showDrive(disk("8", "512", "0", "244190646")).capacity, "1,000.205Gバイト");
    // 256 GiB is 274.878 decimal gigabytes.
    EXPECT_EQ(showDrive(disk("8", "512", "0", "67108864")).capacity, "274.878Gバイト");
}

TEST(DriveItems, FullAndEmptyDrive) {
    const Drive full = showDrive(disk("8", "512", "0", "122096646"));
    EXPECT_EQ(full.use, full.capacity);
    EXPECT_EQ(full.ratio, "100.00%");
    const Drive empty = showDrive(disk("8", "512", "122096646", "122096646"));
    EXPECT_EQ(empty.use, "0.000Gバイト");
    EXPECT_EQ(empty.ratio, "0.00%");
}

TEST(DriveItems, CountsPastTwoToThe31) {
    // 3,000,000,000 clusters of 4,096 bytes: a 12 TB volume, counted unsigned.
    const Drive d = showDrive(disk("8", "512", "2500000000", "3000000000"));
    EXPECT_EQ(d.capacity, "12,288.000Gバイト");
    EXPECT_EQ(d.use, "2,048.000Gバイト");
    EXPECT_EQ(d.ratio, "16.67%");
}

TEST(DriveItems, NoFiguresReported) {
    // Without the function the counts stay 0; the ratio has nothing to divide by.
    const Drive none = showDrive(R"({})");
    EXPECT_EQ(none.capacity, "0.000Gバイト");
    EXPECT_EQ(none.use, "0.000Gバイト");
    EXPECT_EQ(none.ratio, "不明");
    EXPECT_EQ(showDrive(disk("8", "512", "0", "0")).ratio, "不明");
}

TEST(DriveItems, ReRunRefreshesOnlyItsBox) {
    ItemHarness h(disk("8", "512", "45678901", "122096646"), R"({})");
    h.click("Command19");
    EXPECT_EQ(h.text("Text15"), "------");
    EXPECT_EQ(h.text("Text17"), "------");
    EXPECT_EQ(h.text("Text16"), "313.007Gバイト");
}

namespace {
QByteArray products(const QByteArray& instances) {
    return R"({"Win32_ComputerSystemProduct": [)" + instances + "]}";
}
}  // namespace

TEST(ProductItems, ModelTrimmedMakerUnchanged) {
    ItemHarness h(R"({})", products(R"({"Name": "  OptiPlex 7060  ", "Vendor": "  Dell Inc.  "},
                                       {"Name": "second", "Vendor": "second"})"));
    h.click("Command39");
    h.click("Command40");
    EXPECT_EQ(h.text("Text39"), "OptiPlex 7060");
    EXPECT_EQ(h.text("Text40"), "  Dell Inc.  ");
    EXPECT_TRUE(h.filled("Text39") && h.filled("Text40"));
}

TEST(ProductItems, BlanksAndNulls) {
    ItemHarness blanks(R"({})", products(R"({"Name": " \t\u3000 ", "Vendor": "   "})"));
    blanks.click("Command39");
    blanks.click("Command40");
    EXPECT_EQ(blanks.text("Text39"), "定義されていません");
    EXPECT_EQ(blanks.text("Text40"), "   ");

    ItemHarness wide(R"({})", products(R"({"Name": "\u3000\tModel X\t\u3000", "Vendor": ""})"));
    wide.click("Command39");
    wide.click("Command40");
    EXPECT_EQ(wide.text("Text39"), "Model X");
    EXPECT_EQ(wide.text("Text40"), "定義されていません");

    ItemHarness nulls(R"({})", products(R"({"Name": null, "Vendor": null})"));
    nulls.click("Command39");
    nulls.click("Command40");
    EXPECT_EQ(nulls.text("Text39"), "定義されていません");
    EXPECT_EQ(nulls.text("Text40"), "定義されていません");
}

TEST(ProductItems, NoInstanceAndFailure) {
    ItemHarness none(R"({})", R"({})");
    none.click("Command39");
    EXPECT_EQ(none.text("Text39"), "");
    EXPECT_TRUE(none.filled("Text39"));

    ItemHarness failing(R"({})", R"({"Win32_ComputerSystemProduct": {"error": "no DMI"}})");
    EXPECT_FALSE(failing.click("Command40"));
    EXPECT_EQ(failing.text("Text40"), "------");
    EXPECT_EQ(failing.form.background("Text40"), std::nullopt);
    EXPECT_TRUE(failing.form.toolTip("Text40").contains("no DMI"));
}
