#include "platform/live/network_files.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

using namespace torvix::live::netfiles;

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

TEST(NetworkFiles, ServerEntriesLoseTheirDecorations) {
    EXPECT_EQ(serverAddress("192.168.1.1"), "192.168.1.1");
    EXPECT_EQ(serverAddress("192.168.1.1:53"), "192.168.1.1");
    EXPECT_EQ(serverAddress("[fe80::1]:53%2#dns.example"), "fe80::1");
    EXPECT_EQ(serverAddress("fe80::1%eth0"), "fe80::1");
    EXPECT_EQ(serverAddress("2001:DB8::0:1"), "2001:db8::1");
    EXPECT_EQ(serverAddress("1.1.1.1#cloudflare-dns.com"), "1.1.1.1");
    EXPECT_EQ(serverAddress("dns.example"), "");
    EXPECT_EQ(serverAddress("[fe80::1"), "");
    EXPECT_EQ(serverAddress(""), "");
}

TEST(NetworkFiles, ResolvedAndNetworkdLinkState) {
    const QByteArray resolved =
        "# This is private data. Do not parse.\nLLMNR=yes\nMDNS=no\n"
        "SERVERS=192.168.178.1 [2001:db8::53]:53#dns.example 192.168.178.1 junk\n"
        "DOMAINS=fritz.box\n";
    EXPECT_EQ(resolvedLinkServers(resolved), QStringList({"192.168.178.1", "2001:db8::53"}));
    EXPECT_TRUE(resolvedLinkServers("LLMNR=yes\n").isEmpty());

    const QByteArray links =
        "ADMIN_STATE=configured\nOPER_STATE=routable\nDNS=10.0.0.2 10.0.0.3\n"
        "NTP=\n";
    EXPECT_EQ(keyValueServers(links, "DNS"), QStringList({"10.0.0.2", "10.0.0.3"}));
    EXPECT_TRUE(keyValueServers(links, "NTP").isEmpty());
}

TEST(NetworkFiles, ResolvConfLeavesOutTheLocalStub) {
    EXPECT_TRUE(resolvConfServers("nameserver 127.0.0.53\noptions edns0 trust-ad\n").isEmpty());
    EXPECT_EQ(resolvConfServers("# generated\n; comment\nnameserver 192.0.2.53\nsearch x\n"
                                "nameserver   fe80::1%eth0\nnameserver 127.0.0.1\n"
                                "nameserver 192.0.2.53\nnameserver\n"),
              QStringList({"192.0.2.53", "fe80::1", "127.0.0.1"}));
}

TEST(NetworkFiles, NetworkdLeaseInBothFormats) {
    auto old = keyValueLease(
        "# This is private data. Do not parse.\nADDRESS=192.168.122.73\nNETMASK=255.255.255.0\n"
        "ROUTER=192.168.122.1\nSERVER_ADDRESS=192.168.122.1\nDNS=192.168.122.1 9.9.9.9\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->address, "192.168.122.73");
    EXPECT_EQ(old->server, "192.168.122.1");
    EXPECT_EQ(old->dnsServers, QStringList({"192.168.122.1", "9.9.9.9"}));

    auto json = keyValueLease(R"({"Lease":{"Address":[10,1,2,3],"Server_Address":[10,1,2,1],
        "DNS":[[10,1,2,1],"9.9.9.9"],"Lifetime":3600}})");
    ASSERT_TRUE(json);
    EXPECT_EQ(json->address, "10.1.2.3");
    EXPECT_EQ(json->server, "10.1.2.1");
    EXPECT_EQ(json->dnsServers, QStringList({"10.1.2.1", "9.9.9.9"}));

    auto textJson = keyValueLease(R"({"ServerAddress":"10.9.9.9"})");
    ASSERT_TRUE(textJson);
    EXPECT_EQ(textJson->server, "10.9.9.9");

    // Malformed or empty: no lease, no crash.
    EXPECT_FALSE(keyValueLease(""));
    EXPECT_FALSE(keyValueLease("{\"Address\": [10,1,2"));
    EXPECT_FALSE(keyValueLease("{\"Address\": [999,1,2,3]}"));
    EXPECT_FALSE(keyValueLease("ADDRESS=not-an-address\n"));
    EXPECT_FALSE(keyValueLease(QByteArray("\0\xff\xfe=", 4)));
}

const QByteArray kDhclient = R"(
default-duration 3600;
lease {
  interface "eth0";
  fixed-address 192.168.1.50;
  option dhcp-server-identifier 192.168.1.1;
  expire 4 2024/04/01 10:00:00;
}
lease {
  interface "wlan0";
  fixed-address 10.0.0.5;
  option dhcp-server-identifier 10.0.0.1;
  expire 4 2024/04/10 10:00:00;
}
lease {
  interface "eth0";
  fixed-address 192.168.1.51;
  option domain-name "a;b}{";   # quoted braces and semicolons are text
  option domain-name-servers 192.168.1.1,8.8.8.8;
  option netbios-name-servers 192.168.1.2, 192.168.1.3;
  option dhcp-server-identifier 192.168.1.254;
  renew 2 2024/04/02 03:00:00;
  expire 2 2024/04/02 12:00:00;
}
lease {
  interface "eth0";
  fixed-address 192.168.1.52;
  option dhcp-server-identifier 192.168.1.9;
  expire epoch 1711900000; # Sun Mar 31 2024 15:46:40 UTC, before the one above
}
)";

TEST(NetworkFiles, DhclientTakesTheLastLiveBlockOfTheInterface) {
    auto lease = dhclientLease(kDhclient, "eth0", false, utc(2024, 4, 1, 12));
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->address, "192.168.1.51");
    EXPECT_EQ(lease->server, "192.168.1.254");
    EXPECT_EQ(lease->dnsServers, QStringList({"192.168.1.1", "8.8.8.8"}));
    EXPECT_EQ(lease->winsServers, QStringList({"192.168.1.2", "192.168.1.3"}));

    // Earlier, the first block is still live but the later ones win.
    EXPECT_EQ(dhclientLease(kDhclient, "eth0", false, utc(2024, 3, 30))->address, "192.168.1.52");
    // Everything has expired.
    EXPECT_FALSE(dhclientLease(kDhclient, "eth0", false, utc(2024, 5, 1)));
    EXPECT_EQ(dhclientLease(kDhclient, "wlan0", false, utc(2024, 4, 5))->server, "10.0.0.1");
    EXPECT_FALSE(dhclientLease(kDhclient, "eth1", false, utc(2024, 4, 1)));
}

TEST(NetworkFiles, DhclientBlocksWithoutInterfaceAndBrokenFiles) {
    const QByteArray unnamed =
        "lease {\n fixed-address 10.1.1.1;\n option dhcp-server-identifier "
        "10.1.1.254;\n expire never;\n}\n";
    EXPECT_FALSE(dhclientLease(unnamed, "eth0", false, utc(2030, 1, 1)));
    EXPECT_EQ(dhclientLease(unnamed, "eth0", true, utc(2030, 1, 1))->server, "10.1.1.254");

    // A block cut off while the client was writing it, and an unreadable expiry.
    EXPECT_FALSE(dhclientLease("lease {\n interface \"eth0\";\n fixed-address 10.1.1.1;", "eth0",
                               false, utc(2024, 1, 1)));
    EXPECT_FALSE(dhclientLease("lease { interface \"eth0\"; expire 4 2024/13/45 99:00:00; }",
                               "eth0", false, utc(2024, 1, 1)));
    EXPECT_FALSE(dhclientLease("}}}{{{;;;\"", "eth0", true, utc(2024, 1, 1)));
    EXPECT_FALSE(dhclientLease("", "eth0", true, utc(2024, 1, 1)));
    // lease6 blocks are not IPv4 leases.
    EXPECT_FALSE(dhclientLease("lease6 { interface \"eth0\"; ia-na 1 { iaaddr ::1 {} } }", "eth0",
                               true, utc(2024, 1, 1)));
}

QByteArray dhcpMessage(std::initializer_list<unsigned char> options) {
    QByteArray m(240, '\0');
    m[0] = 2;
    m[16] = char(192), m[17] = char(168), m[18] = 1, m[19] = 77;  // yiaddr
    m[236] = 99, m[237] = char(130), m[238] = 83, m[239] = 99;
    for (unsigned char o : options) m.append(char(o));
    return m;
}

TEST(NetworkFiles, DhcpcdBinaryLease) {
    const QDateTime written = utc(2024, 4, 1, 8);
    const QByteArray m =
        dhcpMessage({53, 1,   5,   54, 4, 192, 168, 1, 1, 51, 4, 0,   0,   0x0e, 0x10, 6,
                     8,  192, 168, 1,  1, 1,   1,   1, 1, 44, 4, 192, 168, 1,    3,    255});
    auto lease = dhcpcdLease(m, written, utc(2024, 4, 1, 8, 30));
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->address, "192.168.1.77");
    EXPECT_EQ(lease->server, "192.168.1.1");
    EXPECT_EQ(lease->dnsServers, QStringList({"192.168.1.1", "1.1.1.1"}));
    EXPECT_EQ(lease->winsServers, QStringList({"192.168.1.3"}));
    // 3600 s lease: stale two hours later.
    EXPECT_FALSE(dhcpcdLease(m, written, utc(2024, 4, 1, 10)));

    // Too short, wrong cookie, an option running past the end: no crash.
    EXPECT_FALSE(dhcpcdLease(QByteArray(100, 'x'), written, written));
    QByteArray badCookie = m;
    badCookie[236] = 0;
    EXPECT_FALSE(dhcpcdLease(badCookie, written, written));
    auto truncated = dhcpcdLease(dhcpMessage({54, 4, 10, 0, 0, 1, 6, 200, 1, 2}), written, written);
    ASSERT_TRUE(truncated);
    EXPECT_EQ(truncated->server, "10.0.0.1");
    EXPECT_TRUE(truncated->dnsServers.isEmpty());
}

TEST(NetworkFiles, IfupdownAndSamba) {
    const QByteArray interfaces =
        "auto lo\niface lo inet loopback\n\nallow-hotplug eth0\n"
        "iface  eth0   inet dhcp\niface eth1 inet static\n"
        "  address 10.0.0.1/24\niface eth0 inet6 auto\n";
    EXPECT_TRUE(ifupdownUsesDhcp(interfaces, "eth0"));
    EXPECT_FALSE(ifupdownUsesDhcp(interfaces, "eth1"));
    EXPECT_FALSE(ifupdownUsesDhcp(interfaces, "eth"));

    const QByteArray smb =
        "[global]\n   workgroup = OFFICE\n   WINS Server = 192.0.2.10, "
        "lan:192.0.2.11 bogus\n[share]\n  wins server = 192.0.2.99\n";
    EXPECT_EQ(sambaWinsServers(smb), QStringList({"192.0.2.10", "192.0.2.11"}));
    EXPECT_TRUE(sambaWinsServers("[global]\n wins support = yes\n").isEmpty());
    EXPECT_TRUE(sambaWinsServers("").isEmpty());
}

TEST(NetworkFiles, ProcRouteTables) {
    const QByteArray route =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "wlan0\t00000000\t0100000A\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth1\t00000000\t0200000A\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"  // not a gateway route
        "broken\tzz\n";
    const auto v4 = procNetRoute(route);
    ASSERT_EQ(v4.size(), 2u);
    EXPECT_EQ(v4[0].interfaceName, "eth0");
    EXPECT_EQ(v4[0].gateway, "192.168.1.1");
    EXPECT_EQ(v4[0].metric, 100u);
    EXPECT_EQ(v4[0].family, AF_INET);
    EXPECT_EQ(v4[1].gateway, "10.0.0.1");

    const QByteArray route6 =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     eth0\n"
        "20010db8000000000000000000000000 40 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n"
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n"
        "short line\n";
    const auto v6 = procNetIpv6Route(route6);
    ASSERT_EQ(v6.size(), 1u);
    EXPECT_EQ(v6[0].gateway, "fe80::1");
    EXPECT_EQ(v6[0].interfaceName, "eth0");
    EXPECT_EQ(v6[0].metric, 1024u);
    EXPECT_TRUE(procNetRoute("").empty());
}

}  // namespace
