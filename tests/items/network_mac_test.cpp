#include <gtest/gtest.h>

#include "items/network/network_items.h"
#include "items/network_harness.h"

using namespace torvix;
using torvix::test::adapters;
using torvix::test::NetworkHarness;

TEST(Command6, FirstIpAdapterWithAMacAddress) {
    NetworkHarness h(adapters(
        R"({"IPEnabled": false, "MACAddress": "AA:AA:AA:AA:AA:AA", "Description": "down"},)"
        R"({"IPEnabled": true, "MACAddress": null, "Description": "wireguard"},)"
        R"({"IPEnabled": true, "MACAddress": "", "Description": "tun"},)"
        R"({"IPEnabled": null, "MACAddress": "BB:BB:BB:BB:BB:BB", "Description": "odd"},)"
        R"({"IPEnabled": true, "MACAddress": "00:1A:2B:3C:4D:5E", "Description": "eth"},)"
        R"({"IPEnabled": true, "MACAddress": "11:22:33:44:55:66", "Description": "wlan"})"));
    ASSERT_TRUE(h.click("Command6"));
    EXPECT_EQ(h.text("Text6"), "00-1A-2B-3C-4D-5E");
    EXPECT_TRUE(h.filled("Text6"));
}

TEST(Command6, NoneQualifies) {
    for (const QByteArray& wmi :
         {adapters(""), adapters(R"({"IPEnabled": false, "MACAddress": "00:1A:2B:3C:4D:5E"},)"
                                 R"({"IPEnabled": true, "MACAddress": null})")}) {
        NetworkHarness h(wmi);
        ASSERT_TRUE(h.click("Command6"));
        EXPECT_EQ(h.text("Text6"), "設定されていません");
        EXPECT_TRUE(h.filled("Text6"));
    }
}

TEST(Command6, FailureKeepsTheBox) {
    NetworkHarness h(R"({"Win32_NetworkAdapterConfiguration": {"error": "sysfs unreadable"}})");
    EXPECT_FALSE(h.click("Command6"));
    EXPECT_EQ(h.text("Text6"), "------");
    EXPECT_FALSE(h.filled("Text6"));
    EXPECT_TRUE(h.form.toolTip("Text6").contains("sysfs unreadable"));
}
