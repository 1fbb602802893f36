#include <gtest/gtest.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <QFile>

#include "platform/live/network_providers.h"
#include "support/test_support.h"

using namespace torvix;
using namespace torvix::live;
using torvix::test::FakeRoot;

namespace {

class FakeLinks : public LinkSnapshotSource {
  public:
    LinkSnapshot snapshot;
    mutable int takes = 0;
    LinkSnapshot take() const override {
        ++takes;
        return snapshot;
    }
};

constexpr unsigned kUp = IFF_UP | IFF_RUNNING | IFF_BROADCAST | IFF_MULTICAST;

Link makeLink(int index, const QString& name, unsigned flags,
              std::vector<LinkAddress> addresses = {}, QByteArray mac = {}, QString kind = {},
              unsigned short type = ARPHRD_ETHER) {
    Link l;
    l.index = index;
    l.name = name;
    l.flags = flags;
    l.addresses = std::move(addresses);
    l.hardwareAddress = std::move(mac);
    l.kind = std::move(kind);
    l.hardwareType = type;
    return l;
}

LinkAddress v4(const char* a, int prefix) {
    return {AF_INET, a, prefix, false, false};
}
LinkAddress v6(const char* a, int prefix, bool tentative = false) {
    return {AF_INET6, a, prefix, tentative, QString(a).startsWith("fe80")};
}

// The value as a list of texts, or {"<null>"}.
QStringList texts(const wmi::Value& v) {
    if (v.isNull()) return {"<null>"};
    if (!v.isArray()) return {v.toText()};
    QStringList out;
    for (const wmi::Value& e : v.toArray()) out << e.toText();
    return out;
}

struct Net {
    FakeRoot root;
    std::shared_ptr<FakeLinks> links = std::make_shared<FakeLinks>();
    std::shared_ptr<ManualClock> clock =
        std::make_shared<ManualClock>(QDateTime(QDate(2024, 4, 1), QTime(12, 0), Qt::UTC), 0);

    NetworkSources sources() const {
        NetworkSources s;
        s.root = root.path();
        s.links = links;
        s.clock = clock;
        s.hostName = [] { return QStringLiteral("pc01.corp.example"); };
        return s;
    }
    std::vector<wmi::Instance> query(const QString& text = QStringLiteral(
                                         "Select * From Win32_NetworkAdapterConfiguration")) const {
        auto registry = std::make_shared<wmi::Registry>();
        registry->add(makeAdapterConfigurationProvider(sources()));
        wmi::QueryService service(registry);
        wmi::ObjectSet set = service.ConnectServer().ExecQuery(text);
        std::vector<wmi::Instance> out;
        while (auto i = set.next()) out.push_back(std::move(*i));
        return out;
    }
};

TEST(NetworkAdapterConfiguration, LinksAddressesAndIdentity) {
    Net net;
    const QByteArray mac("\x00\x1a\x2b\x3c\x4d\x5e", 6);
    net.links->snapshot.links = {
        makeLink(5, "wg0", kUp | IFF_POINTOPOINT, {v4("10.8.0.2", 32)}, {}, "wireguard",
                 ARPHRD_NONE),
        makeLink(1, "lo", IFF_UP | IFF_RUNNING | IFF_LOOPBACK, {v4("127.0.0.1", 8)}, {}, {},
                 ARPHRD_LOOPBACK),
        makeLink(2, "eth0", kUp,
                 {v6("fe80::50", 64), v4("192.168.1.50", 24), v6("2001:db8::99", 64, true),
                  v6("2001:db8::50", 64), v4("10.0.0.7", 8)},
                 mac),
        makeLink(3, "wlan0", IFF_UP | IFF_BROADCAST, {v4("172.16.0.9", 16)},
                 QByteArray("\x02\x00\x00\x00\x00\x01", 6)),
        makeLink(4, "br0", kUp, {}, QByteArray(6, '\0'), "bridge"),
        makeLink(6, "enp9s0", kUp, {}, mac),
    };
    net.root.write("sys/class/net/eth0/address", "00:1a:2b:3c:4d:5e\n");
    net.root.write("run/udev/data/n2",
                   "I:123\nE:ID_MODEL_FROM_DATABASE=Ethernet Connection I219-V\n"
                   "E:ID_VENDOR_FROM_DATABASE=Intel Corporation\n");
    net.root.symlink("sys/class/net/wlan0/device/driver", "../../../../bus/pci/drivers/iwlwifi");
    net.root.write("sys/class/net/enp9s0/address", "garbage\n");

    const auto all = net.query();
    ASSERT_EQ(all.size(), 5u);  // loopback left out, interface-index order
    QStringList names;
    for (const auto& i : all) names << i.property(u"Description").toText();
    EXPECT_EQ(names, QStringList({"Ethernet Connection I219-V", "iwlwifi", "bridge", "wireguard",
                                  "enp9s0"}));

    const wmi::Instance& eth0 = all[0];
    EXPECT_EQ(eth0.property(u"Index").toInteger(), 2);
    EXPECT_EQ(eth0.property(u"InterfaceIndex").toInteger(), 2);
    EXPECT_EQ(eth0.property(u"Caption").toText(), "[00000002] Ethernet Connection I219-V");
    EXPECT_TRUE(eth0.property(u"IPEnabled").toBool());
    // IPv4 first, then IPv6 with link-local last; tentative addresses left out.
    EXPECT_EQ(texts(eth0.property(u"IPAddress")),
              QStringList({"192.168.1.50", "10.0.0.7", "2001:db8::50", "fe80::50"}));
    EXPECT_EQ(texts(eth0.property(u"IPSubnet")),
              QStringList({"255.255.255.0", "255.0.0.0", "64", "64"}));
    EXPECT_EQ(eth0.property(u"MACAddress").toText(), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(eth0.property(u"DNSHostName").toText(), "pc01");
    EXPECT_FALSE(eth0.property(u"DHCPEnabled").toBool());
    for (const char* p : {"DHCPServer", "DefaultIPGateway", "DNSServerSearchOrder",
                          "WINSPrimaryServer", "WINSSecondaryServer"})
        EXPECT_TRUE(eth0.property(QString::fromLatin1(p)).isNull()) << p;

    // Up but not running (no carrier): no IP, every IP property null.
    const wmi::Instance& wlan0 = all[1];
    EXPECT_FALSE(wlan0.property(u"IPEnabled").toBool());
    EXPECT_TRUE(wlan0.property(u"IPAddress").isNull());
    EXPECT_TRUE(wlan0.property(u"IPSubnet").isNull());
    EXPECT_TRUE(wlan0.property(u"DNSHostName").isNull());
    EXPECT_EQ(wlan0.property(u"MACAddress").toText(), "02:00:00:00:00:01");  // from the kernel

    // No addresses: null, never an empty array.
    EXPECT_TRUE(all[2].property(u"IPAddress").isNull());
    EXPECT_TRUE(all[2].property(u"MACAddress").isNull());  // all zero
    EXPECT_TRUE(all[3].property(u"MACAddress").isNull());  // wireguard
    EXPECT_EQ(texts(all[3].property(u"IPAddress")), QStringList({"10.8.0.2"}));
    EXPECT_EQ(texts(all[3].property(u"IPSubnet")), QStringList({"255.255.255.255"}));
    EXPECT_TRUE(all[4].property(u"MACAddress").isNull());  // unreadable sysfs address

    // The query's WHERE sees the same values.
    EXPECT_EQ(net.query("Select IPAddress from Win32_NetworkAdapterConfiguration "
                        "where IPEnabled=TRUE")
                  .size(),
              4u);
}

TEST(NetworkAdapterConfiguration, GatewaysFromTheKernelOrTheRouteFiles) {
    Net net;
    net.links->snapshot.links = {makeLink(2, "eth0", kUp, {v4("192.168.1.50", 24)}),
                                 makeLink(3, "eth1", kUp, {v4("10.0.0.7", 8)}),
                                 makeLink(4, "eth2", kUp, {v4("10.9.0.7", 16)})};
    // No routes from the link source: the files under /proc.
    net.root.write(
        "proc/net/route",
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth1\t00000000\t0100000A\t0003\t0\t0\t50\t00000000\t0\t0\t0\n");
    net.root.write("proc/net/ipv6_route",
                   "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                   "fe800000000000000000000000000001 00000400 00000001 00000000 00000003 eth0\n");
    auto all = net.query();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(texts(all[0].property(u"DefaultIPGateway")), QStringList({"192.168.1.1", "fe80::1"}));
    EXPECT_EQ(texts(all[1].property(u"DefaultIPGateway")), QStringList({"10.0.0.1"}));
    EXPECT_TRUE(all[2].property(u"DefaultIPGateway").isNull());

    // Routes from the kernel win over the files; IPv4 first, lowest metric first.
    net.links->snapshot.defaultRoutes = std::vector<DefaultRoute>{
        {AF_INET6, "2001:db8::1", 4, 10},
        {AF_INET, "10.9.0.2", 4, 200},
        {AF_INET, "10.9.0.1", 4, 100},
        {AF_INET, "10.9.0.1", 4, 300},
    };
    all = net.query();
    EXPECT_TRUE(all[0].property(u"DefaultIPGateway").isNull());
    EXPECT_EQ(texts(all[2].property(u"DefaultIPGateway")),
              QStringList({"10.9.0.1", "10.9.0.2", "2001:db8::1"}));
}

TEST(NetworkAdapterConfiguration, DnsServersPerLinkInOrderOfSources) {
    Net net;
    net.links->snapshot.links = {makeLink(2, "eth0", kUp, {v4("192.168.1.50", 24)}),
                                 makeLink(3, "eth1", kUp, {v4("10.0.0.7", 8)}),
                                 makeLink(4, "eth2", kUp, {v4("10.9.0.7", 16)}),
                                 makeLink(5, "eth3", kUp, {v4("10.7.0.7", 16)})};
    net.links->snapshot.defaultRoutes = std::vector<DefaultRoute>{{AF_INET, "10.9.0.1", 4, 100}};
    // systemd-resolved's link state comes first, even where networkd has its own.
    net.root.write("run/systemd/resolve/netif/2", "SERVERS=192.168.1.53 192.168.1.54\n");
    net.root.write("run/systemd/netif/links/2", "DNS=9.9.9.9\n");
    net.root.write("run/systemd/netif/links/3", "OPER_STATE=routable\nDNS=10.0.0.53\n");
    net.root.write("etc/resolv.conf", "nameserver 127.0.0.53\n");
    net.root.write("run/systemd/resolve/resolv.conf",
                   "nameserver 10.9.0.53\nnameserver 10.9.0.54\n");
    auto all = net.query();
    EXPECT_EQ(texts(all[0].property(u"DNSServerSearchOrder")),
              QStringList({"192.168.1.53", "192.168.1.54"}));
    EXPECT_EQ(texts(all[1].property(u"DNSServerSearchOrder")), QStringList({"10.0.0.53"}));
    // resolv.conf belongs to the link of the default route only; the stub is no server.
    EXPECT_EQ(texts(all[2].property(u"DNSServerSearchOrder")),
              QStringList({"10.9.0.53", "10.9.0.54"}));
    EXPECT_TRUE(all[3].property(u"DNSServerSearchOrder").isNull());

    net.root.write("etc/resolv.conf", "nameserver 10.9.9.9\n");
    EXPECT_EQ(texts(net.query()[2].property(u"DNSServerSearchOrder")), QStringList({"10.9.9.9"}));
    net.root.write("etc/resolv.conf", "nameserver 127.0.0.53\n");
    net.root.write("run/systemd/resolve/resolv.conf", "nameserver 127.0.0.53\n");
    EXPECT_TRUE(net.query()[2].property(u"DNSServerSearchOrder").isNull());
}

TEST(NetworkAdapterConfiguration, DhcpFromEachClientsLease) {
    Net net;
    net.links->snapshot.links = {
        makeLink(2, "eth0", kUp, {v4("192.168.1.50", 24)}),  // networkd
        makeLink(3, "eth1", kUp, {v4("10.1.0.7", 16)}),      // NetworkManager, dhclient format
        makeLink(4, "eth2", kUp, {v4("10.2.0.7", 16)}),      // dhclient
        makeLink(5, "eth3", kUp, {v4("192.168.1.77", 24)}),  // dhcpcd
        makeLink(6, "eth4", kUp, {v4("10.4.0.7", 16)}),      // ifupdown without a lease
        makeLink(7, "eth5", kUp, {v4("10.5.0.7", 16)}),      // only stale leases
        makeLink(8, "eth6", kUp, {v4("10.6.0.7", 16)}),      // NetworkManager internal
    };
    net.root.write("run/systemd/netif/leases/2",
                   "ADDRESS=192.168.1.50\nSERVER_ADDRESS=192.168.1.1\nDNS=192.168.1.1\n");
    net.root.write("var/lib/NetworkManager/dhclient-0f3c-eth1.lease",
                   "lease {\n interface \"eth1\";\n fixed-address 10.1.0.7;\n"
                   " option dhcp-server-identifier 10.1.0.1;\n"
                   " option netbios-name-servers 10.1.0.11,10.1.0.12;\n"
                   " expire 1 2024/04/08 00:00:00;\n}\n");
    net.root.write(
        "var/lib/dhcp/dhclient.eth2.leases",
        "lease {\n interface \"eth2\";\n fixed-address 10.2.0.7;\n"
        " option dhcp-server-identifier 10.2.0.1;\n expire 1 2024/04/08 00:00:00;\n}\n"
        "lease {\n interface \"eth2\";\n fixed-address 10.2.0.7;\n"
        " option dhcp-server-identifier 10.2.0.99;\n expire 1 2024/03/08 00:00:00;\n}\n");
    QByteArray message(240, '\0');
    message[16] = char(192), message[17] = char(168), message[18] = 1, message[19] = 77;
    message[236] = 99, message[237] = char(130), message[238] = 83, message[239] = 99;
    message.append(QByteArray("\x36\x04\xc0\xa8\x01\xfe\x33\x04\xff\xff\xff\xff\xff", 13));
    net.root.write("var/lib/dhcpcd/eth3.lease", message);
    net.root.write("etc/network/interfaces", "source /etc/network/interfaces.d/*\n");
    net.root.write("etc/network/interfaces.d/eth4", "auto eth4\niface eth4 inet dhcp\n");
    // Leftovers from earlier connections: addresses no longer on the link, an expired block.
    net.root.write("var/lib/NetworkManager/internal-aa-eth5.lease", "ADDRESS=10.5.9.9\n");
    net.root.write("var/lib/dhcp/dhclient-eth5.leases",
                   "lease {\n fixed-address 10.5.0.7;\n option dhcp-server-identifier 10.5.0.1;\n"
                   " expire 1 2024/03/01 00:00:00;\n}\n");
    net.root.write("var/lib/NetworkManager/internal-bb-eth6.lease",
                   "# This is private data. Do not parse.\nADDRESS=10.6.0.7\n");
    net.root.write("etc/samba/smb.conf", "[global]\nwins server = 192.0.2.10\n");

    const auto all = net.query();
    ASSERT_EQ(all.size(), 7u);
    auto server = [&](int i) { return texts(all[i].property(u"DHCPServer")).join(","); };
    auto enabled = [&](int i) { return all[i].property(u"DHCPEnabled").toBool(); };
    EXPECT_TRUE(enabled(0));
    EXPECT_EQ(server(0), "192.168.1.1");
    EXPECT_EQ(texts(all[0].property(u"DNSServerSearchOrder")), QStringList({"192.168.1.1"}));
    EXPECT_TRUE(enabled(1));
    EXPECT_EQ(server(1), "10.1.0.1");
    EXPECT_TRUE(enabled(2));
    EXPECT_EQ(server(2), "10.2.0.1");  // the expired later block does not count
    EXPECT_TRUE(enabled(3));
    EXPECT_EQ(server(3), "192.168.1.254");
    EXPECT_TRUE(enabled(4));
    EXPECT_EQ(server(4), "<null>");
    EXPECT_FALSE(enabled(5));
    EXPECT_EQ(server(5), "<null>");
    EXPECT_TRUE(enabled(6));  // NetworkManager's own client keeps no server in its file
    EXPECT_EQ(server(6), "<null>");

    // WINS: option 44 of the lease, else smb.conf.
    EXPECT_EQ(all[1].property(u"WINSPrimaryServer").toText(), "10.1.0.11");
    EXPECT_EQ(all[1].property(u"WINSSecondaryServer").toText(), "10.1.0.12");
    EXPECT_EQ(all[0].property(u"WINSPrimaryServer").toText(), "192.0.2.10");
    EXPECT_TRUE(all[0].property(u"WINSSecondaryServer").isNull());

    // A week later every dated lease has run out.
    net.clock->set(QDateTime(QDate(2024, 4, 9), QTime(0, 0), Qt::UTC), 0);
    const auto later = net.query();
    EXPECT_FALSE(later[1].property(u"DHCPEnabled").toBool());
    EXPECT_FALSE(later[2].property(u"DHCPEnabled").toBool());
}

TEST(NetworkAdapterConfiguration, MalformedFilesReadAsNothing) {
    Net net;
    net.links->snapshot.links = {makeLink(2, "eth0", kUp, {v4("192.168.1.50", 24)})};
    net.links->snapshot.defaultRoutes = std::vector<DefaultRoute>{{AF_INET, "192.168.1.1", 2, 0}};
    const QByteArray junk("\0\xff{{lease {\"\n=\n[\x01", 17);
    for (const char* f :
         {"run/systemd/netif/leases/2", "run/systemd/resolve/netif/2", "run/systemd/netif/links/2",
          "run/udev/data/n2", "etc/resolv.conf", "var/lib/NetworkManager/internal-x-eth0.lease",
          "var/lib/dhcp/dhclient.eth0.leases", "var/lib/dhcpcd/eth0.lease", "etc/samba/smb.conf",
          "sys/class/net/eth0/address"})
        net.root.write(f, junk);
    const auto all = net.query();
    ASSERT_EQ(all.size(), 1u);
    const wmi::Instance& eth0 = all[0];
    EXPECT_FALSE(eth0.property(u"DHCPEnabled").toBool());
    EXPECT_TRUE(eth0.property(u"DHCPServer").isNull());
    EXPECT_TRUE(eth0.property(u"DNSServerSearchOrder").isNull());
    EXPECT_TRUE(eth0.property(u"WINSPrimaryServer").isNull());
    EXPECT_TRUE(eth0.property(u"MACAddress").isNull());
    EXPECT_EQ(eth0.property(u"Description").toText(), "eth0");
    EXPECT_EQ(texts(eth0.property(u"DefaultIPGateway")), QStringList({"192.168.1.1"}));
}

TEST(NetworkAdapterConfiguration, ReadsTheLinksOnlyWhenWalked) {
    Net net;
    net.links->snapshot.links = {makeLink(2, "eth0", kUp), makeLink(3, "eth1", kUp)};
    auto provider = makeAdapterConfigurationProvider(net.sources());
    wmi::wql::Query query;
    auto cursor = provider->enumerate(query);
    EXPECT_EQ(net.links->takes, 0);
    ASSERT_TRUE(cursor->next());
    ASSERT_TRUE(cursor->next());
    EXPECT_FALSE(cursor->next());
    EXPECT_EQ(net.links->takes, 1);
}

TEST(NetworkAdapterConfiguration, KernelSnapshotHasLoopback) {
    // The running kernel always has a loopback link with 127.0.0.1 in this network namespace.
    const LinkSnapshot s = KernelLinkSnapshotSource().take();
    auto lo = std::find_if(s.links.begin(), s.links.end(),
                           [](const Link& l) { return (l.flags & IFF_LOOPBACK) != 0; });
    ASSERT_NE(lo, s.links.end());
    EXPECT_EQ(lo->name, "lo");
    EXPECT_GT(lo->index, 0);
    if (lo->flags & IFF_UP) {
        EXPECT_TRUE(std::any_of(
            lo->addresses.begin(), lo->addresses.end(),
            [](const LinkAddress& a) { return a.address == "127.0.0.1" && a.prefixLength == 8; }));
    }
    EXPECT_TRUE(s.defaultRoutes.has_value());
}

}  // namespace
