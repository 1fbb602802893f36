#include <gtest/gtest.h>

#include "items/network/network_items.h"
#include "items/network_harness.h"
#include "platform/wmi/wql.h"

using namespace torvix;
using namespace torvix::items;
using torvix::test::adapters;
using torvix::test::NetworkHarness;

namespace {

QByteArray withPing(const QByteArray& adapterInstances, const QByteArray& pingInstances) {
    return R"({"Win32_NetworkAdapterConfiguration": [)" + adapterInstances +
           R"(], "Win32_PingStatus": [)" + pingInstances + "]}";
}

}  // namespace

TEST(Command9, PingQueryIsQuoted) {
    EXPECT_EQ(pingQueryText("192.168.0.10"),
              "select * from Win32_PingStatus where address = '192.168.0.10'");
    EXPECT_EQ(pingQueryText(""), "select * from Win32_PingStatus where address = ''");
    // Whatever the address holds, the query asks for exactly that address.
    for (const QString& odd : {QString("x' or address <> 'x"), QString("a\\' or 1=1 or 'b"),
                               QString("'"), QString("\\")}) {
        const wmi::wql::Query q = wmi::wql::parse(pingQueryText(odd));
        const std::optional<wmi::Value> wanted = wmi::wql::requiredValue(q, u"Address");
        ASSERT_TRUE(wanted.has_value()) << odd.toStdString();
        EXPECT_EQ(wanted->toText(), odd);
    }
}

TEST(Command9, ReplyStates) {
    const QByteArray adapter = R"({"IPEnabled": true, "IPAddress": ["192.168.0.10", "fe80::1"]})";
    struct Case {
        QByteArray ping;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"Address": "192.168.0.10", "StatusCode": 0})", "接続環境設定済"},
        {R"({"Address": "192.168.0.10", "StatusCode": 11010})", "接続環境未設定"},
        {R"({"Address": "192.168.0.10", "StatusCode": null})", "接続環境未設定"},
        // A reply for another address is not asked for.
        {R"({"Address": "192.168.0.99", "StatusCode": 11010})", "接続環境設定済"},
        {"", "接続環境設定済"},
    };
    for (const Case& c : cases) {
        NetworkHarness h(withPing(adapter, c.ping));
        ASSERT_TRUE(h.click("Command9")) << c.ping.constData();
        EXPECT_EQ(h.text("Text9"), QString::fromUtf8(c.expected)) << c.ping.constData();
        EXPECT_TRUE(h.filled("Text9"));
    }
}

TEST(Command9, FirstAdapterWithoutAddressMeansNoConnectionSetUp) {
    NetworkHarness h(withPing(R"({"IPEnabled": true, "IPAddress": null},)"
                              R"({"IPEnabled": true, "IPAddress": ["10.0.0.5"]})",
                              R"({"Address": "10.0.0.5", "StatusCode": 11010},)"
                              R"({"Address": "", "StatusCode": 11010})"));
    ASSERT_TRUE(h.click("Command9"));
    EXPECT_EQ(h.text("Text9"), "未接続設定");
}

TEST(Command9, NoAdapterPingsTheEmptyAddress) {
    NetworkHarness answered(withPing(R"({"IPEnabled": false, "IPAddress": ["10.0.0.5"]})",
                                     R"({"Address": "", "StatusCode": null})"));
    ASSERT_TRUE(answered.click("Command9"));
    EXPECT_EQ(answered.text("Text9"), "接続環境未設定");

    NetworkHarness silent(withPing("", R"({"Address": "10.0.0.5", "StatusCode": 11010})"));
    ASSERT_TRUE(silent.click("Command9"));
    EXPECT_EQ(silent.text("Text9"), "接続環境設定済");
}

TEST(Command9, AddressHoldingAQuoteCannotWidenThePing) {
    // Unquoted, this address would select the failing reply of another host.
    NetworkHarness h(withPing(R"({"IPEnabled": true, "IPAddress": ["x' or address <> 'x"]})",
                              R"({"Address": "192.168.0.99", "StatusCode": 11010})"));
    ASSERT_TRUE(h.click("Command9"));
    EXPECT_EQ(h.text("Text9"), "接続環境設定済");
}

TEST(Command9, FailureKeepsTheEarlierTextColoured) {
    // The ping class fails.
    NetworkHarness failing(
        R"({"Win32_NetworkAdapterConfiguration": [{"IPEnabled": true,)"
        R"( "IPAddress": ["10.0.0.5"]}], "Win32_PingStatus": {"error": "no ICMP"}})");
    failing.form.setText("Text9", "earlier");
    EXPECT_FALSE(failing.click("Command9"));
    EXPECT_EQ(failing.text("Text9"), "earlier");
    EXPECT_TRUE(failing.filled("Text9"));
    EXPECT_TRUE(failing.form.toolTip("Text9").contains("no ICMP"));

    NetworkHarness empty(adapters(R"({"IPEnabled": true, "IPAddress": []})"));
    EXPECT_FALSE(empty.click("Command9"));
    EXPECT_EQ(empty.text("Text9"), "------");
}

TEST(Command10, UserNameAsDelivered) {
    NetworkHarness h(R"({"Win32_ComputerSystem": [{"UserName": "AA\\User1"}, {"UserName": "x"}]})");
    ASSERT_TRUE(h.click("Command10"));
    EXPECT_EQ(h.text("Text10"), "AA\\User1");
    EXPECT_TRUE(h.filled("Text10"));
}

TEST(Command10, NoUserOrFailureGivesEmptyColouredBox) {
    const QByteArray files[] = {
        R"({"Win32_ComputerSystem": [{"UserName": null}]})",
        R"({"Win32_ComputerSystem": []})",
        R"({"Win32_ComputerSystem": [{"Name": "PC01"}]})",
        R"({"Win32_ComputerSystem": {"error": "logind is gone"}})",
    };
    for (const QByteArray& wmi : files) {
        NetworkHarness h(wmi);
        EXPECT_TRUE(h.click("Command10")) << wmi.constData();
        EXPECT_EQ(h.text("Text10"), "") << wmi.constData();
        EXPECT_TRUE(h.filled("Text10"));
        EXPECT_EQ(h.form.toolTip("Text10"), "");
    }
    NetworkHarness down("{}", R"("wmiError": "service stopped")");
    EXPECT_TRUE(down.click("Command10"));
    EXPECT_EQ(down.text("Text10"), "");
    EXPECT_TRUE(down.filled("Text10"));
}

TEST(Command11, HostNameOfTheFirstAdapter) {
    NetworkHarness h(adapters(R"({"IPEnabled": false, "DNSHostName": "other"},)"
                              R"({"IPEnabled": true, "DNSHostName": "pc01"},)"
                              R"({"IPEnabled": true, "DNSHostName": "pc02"})"));
    ASSERT_TRUE(h.click("Command11"));
    EXPECT_EQ(h.text("Text11"), "pc01");
    EXPECT_TRUE(h.filled("Text11"));
}

TEST(Command11, NoHostNameShowsNotSet) {
    for (const QByteArray& wmi :
         {adapters(""), adapters(R"({"IPEnabled": true, "DNSHostName": null})"),
          adapters(R"({"IPEnabled": true, "DNSHostName": ""})")}) {
        NetworkHarness h(wmi);
        ASSERT_TRUE(h.click("Command11")) << wmi.constData();
        EXPECT_EQ(h.text("Text11"), "設定されていません");
        EXPECT_TRUE(h.filled("Text11"));
    }
}

TEST(Command11, FailureLeavesTheBoxEmpty) {
    NetworkHarness h(R"({"Win32_NetworkAdapterConfiguration": {"error": "netlink refused"}})");
    EXPECT_FALSE(h.click("Command11"));
    EXPECT_EQ(h.text("Text11"), "");
    EXPECT_FALSE(h.filled("Text11"));
    EXPECT_TRUE(h.form.toolTip("Text11").contains("netlink refused"));
}
