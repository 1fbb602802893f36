#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>

#include "platform/live/network_providers.h"
#include "support/test_support.h"

using namespace torvix;
using namespace torvix::live;
using torvix::test::FakeRoot;

namespace {

std::vector<wmi::Instance> ping(const QString& query, NetworkSources s = {}) {
    auto registry = std::make_shared<wmi::Registry>();
    registry->add(makePingStatusProvider(s));
    wmi::QueryService service(registry);
    wmi::ObjectSet set =
        service.connect(QStringLiteral("winmgmts:{impersonationLevel=impersonate}"))
            .ExecQuery(query);
    std::vector<wmi::Instance> out;
    while (auto i = set.next()) out.push_back(std::move(*i));
    return out;
}

TEST(PingStatus, LoopbackAnswersAndUnusableAddressesGiveNull) {
    auto reply = ping("select * from Win32_PingStatus where address = '127.0.0.1'");
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0].property(u"Address").toText(), "127.0.0.1");
    EXPECT_EQ(reply[0].property(u"StatusCode").toInteger(), 0);
    EXPECT_GE(reply[0].property(u"ResponseTime").toInteger(), 0);
    EXPECT_EQ(reply[0].property(u"BufferSize").toInteger(), 32);
    EXPECT_EQ(reply[0].property(u"Timeout").toInteger(), 1000);
    EXPECT_EQ(reply[0].property(u"TimeToLive").toInteger(), 80);
    EXPECT_EQ(reply[0].property(u"ProtocolAddress").toText(), "127.0.0.1");

    EXPECT_EQ(ping("select * from Win32_PingStatus where address = 'LocalHost'")[0]
                  .property(u"StatusCode")
                  .toInteger(),
              0);

    // An empty address (no IP-enabled adapter), a host name, nonsense: one result, no status.
    for (const char* address : {"", "www.example.com", "300.1.1.1", "127.0.0.1; rm -rf /",
                                "-c 99 127.0.0.1", "::1%no-such-if"}) {
        const auto r = ping(QStringLiteral("select * from Win32_PingStatus where address = %1")
                                .arg(wmi::wql::quote(QString::fromUtf8(address))));
        ASSERT_EQ(r.size(), 1u) << address;
        EXPECT_TRUE(r[0].property(u"StatusCode").isNull()) << address;
        EXPECT_TRUE(r[0].property(u"ResponseTime").isNull()) << address;
        EXPECT_EQ(r[0].property(u"Address").toText(), QString::fromUtf8(address));
    }

    // Without an address condition the query defines no target.
    EXPECT_TRUE(ping("select * from Win32_PingStatus").empty());
    EXPECT_TRUE(
        ping("select * from Win32_PingStatus where address = '127.0.0.1' or Timeout = 1").empty());
}

TEST(PingStatus, Ipv6Loopback) {
    if (::if_nametoindex("lo") == 0) GTEST_SKIP() << "no loopback link";
    NetworkSources s;
    const PingOutcome r = pingAddress("::1", s);
    if (!r.statusCode && !QFile::exists("/proc/net/if_inet6"))
        GTEST_SKIP() << "IPv6 is off in this kernel";
    ASSERT_TRUE(r.statusCode.has_value());
    EXPECT_EQ(*r.statusCode, 0);
    EXPECT_EQ(r.protocolAddress, "::1");
}

TEST(PingStatus, GroupRangeDecidesTheUnprivilegedSocket) {
    EXPECT_FALSE(pingGroupRangeAdmits("1\t0\n", {0, 1, 1000}));  // the kernel default: nobody
    EXPECT_TRUE(pingGroupRangeAdmits("0\t2147483647\n", {1000}));
    EXPECT_TRUE(pingGroupRangeAdmits("100 200", {50, 150}));
    EXPECT_FALSE(pingGroupRangeAdmits("100 200", {50, 250}));
    EXPECT_FALSE(pingGroupRangeAdmits("", {0}));
    EXPECT_FALSE(pingGroupRangeAdmits("a b", {0}));
    EXPECT_FALSE(pingGroupRangeAdmits("5", {5}));
}

TEST(PingStatus, ProgramFallbackReadsTheOutcome) {
    FakeRoot root;
    const QString argsFile = root.path() + "/args";
    auto script = [&](const QByteArray& output, int code) {
        const QByteArray text = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                argsFile.toUtf8() + "'\nprintf '" + output + "'\nexit " +
                                QByteArray::number(code) + "\n";
        root.write("ping", text);
        QFile::setPermissions(root.path() + "/ping",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        NetworkSources s;
        s.pingMethod = PingMethod::Program;
        s.pingProgram = root.path() + "/ping";
        return s;
    };

    PingOutcome r = pingAddress(
        "192.0.2.1", script("64 bytes from 192.0.2.1: icmp_seq=1 ttl=57 time=12.7 ms\\n", 0));
    EXPECT_EQ(r.statusCode, 0);
    EXPECT_EQ(r.responseTimeMs, 12);
    EXPECT_EQ(r.replyTimeToLive, 57);
    QFile args(argsFile);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    // Each argument its own argv element, the address last; no shell in between.
    EXPECT_EQ(QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts),
              QStringList({"-n", "-c1", "-W1", "-s32", "-t80", "192.0.2.1"}));

    r = pingAddress("192.0.2.1", script("1 packets transmitted, 0 received\\n", 1));
    EXPECT_EQ(r.statusCode, 11010);
    r = pingAddress("192.0.2.1",
                    script("From 192.0.2.254 icmp_seq=1 Destination Host Unreachable\\n", 1));
    EXPECT_EQ(r.statusCode, 11003);
    r = pingAddress("192.0.2.1", script("ping: bad things\\n", 2));
    EXPECT_FALSE(r.statusCode);
    r = pingAddress("2001:db8::1", script("", 0));
    EXPECT_EQ(r.statusCode, 0);
    args.close();
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts).first(), "-6");

    NetworkSources missing;
    missing.pingMethod = PingMethod::Program;
    missing.pingProgram = root.path() + "/no-such-program";
    EXPECT_FALSE(pingAddress("192.0.2.1", missing).statusCode);
}

// --- two network namespaces joined by a veth pair --------------------------------------------

bool run(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("ip"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class Namespaces {
  public:
    Namespaces() {
        const QString id = QString::number(::getpid());
        a = "torvix-h3a-" + id;
        b = "torvix-h3b-" + id;
    }
    ~Namespaces() {
        for (const QString& ns : made) run({"netns", "del", ns});
    }
    bool add(const QString& ns) {
        if (!run({"netns", "add", ns})) return false;
        made << ns;
        return true;
    }
    QString a, b;
    QStringList made;
};

// Runs `body` in a child process that has joined the namespace; returns its output lines as
// key=value pairs.
QMap<QString, QString> inNamespace(const QString& ns, const std::function<QString()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {{"error", "pipe"}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        QByteArray out;
        const int fd = ::open(("/run/netns/" + ns).toUtf8().constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0)
            out = "error=setns\n";
        else
            out = body().toUtf8();
        const char* p = out.constData();
        qsizetype left = out.size();
        while (left > 0) {
            const ssize_t n = ::write(pipeFds[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= n;
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray all;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) all.append(buf, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QMap<QString, QString> result;
    for (const QByteArray& line : all.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            result.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return result;
}

QString join(const wmi::Value& v) {
    if (v.isNull()) return "<null>";
    if (!v.isArray()) return v.toText();
    QStringList out;
    for (const auto& e : v.toArray()) out << e.toText();
    return out.join(',');
}

TEST(NetworkNamespaces, AdapterAndPingAgainstAPeer) {
    if (::geteuid() != 0) GTEST_SKIP() << "creating network namespaces needs root";
    Namespaces ns;
    if (!ns.add(ns.a) || !ns.add(ns.b)) GTEST_SKIP() << "ip netns cannot create namespaces here";
    const QString va = "h3a" + QString::number(::getpid() % 100000);
    const QString vb = "h3b" + QString::number(::getpid() % 100000);
    ASSERT_TRUE(
        run({"link", "add", va, "netns", ns.a, "type", "veth", "peer", "name", vb, "netns", ns.b}));
    for (const auto& [n, dev, v4, v6] :
         {std::tuple{ns.a, va, "10.231.7.1/24", "2001:db8:7::1/64"},
          std::tuple{ns.b, vb, "10.231.7.2/24", "2001:db8:7::2/64"}}) {
        ASSERT_TRUE(run({"-n", n, "link", "set", "lo", "up"}));
        // No link-local address, so no duplicate address detection makes the test wait.
        ASSERT_TRUE(run({"-n", n, "link", "set", dev, "addrgenmode", "none"}));
        ASSERT_TRUE(run({"-n", n, "addr", "add", v4, "dev", dev}));
        ASSERT_TRUE(run({"-n", n, "addr", "add", v6, "dev", dev, "nodad"}));
    }
    ASSERT_TRUE(run({"-n", ns.a, "link", "set", va, "address", "02:00:5e:10:00:01"}));
    ASSERT_TRUE(run({"-n", ns.b, "link", "set", vb, "address", "02:00:5e:10:00:02"}));
    // Fixed neighbours: without a link-local address the first IPv6 neighbour solicitation
    // goes unanswered, which would make the first echo time out.
    for (const auto& [n, dev, peer, mac] :
         {std::tuple{ns.a, va, "2001:db8:7::2", "02:00:5e:10:00:02"},
          std::tuple{ns.b, vb, "2001:db8:7::1", "02:00:5e:10:00:01"}})
        ASSERT_TRUE(
            run({"-n", n, "neigh", "add", peer, "lladdr", mac, "dev", dev, "nud", "permanent"}));
    ASSERT_TRUE(run({"-n", ns.a, "link", "set", va, "up"}));
    ASSERT_TRUE(run({"-n", ns.b, "link", "set", vb, "up"}));
    ASSERT_TRUE(run({"-n", ns.a, "route", "add", "default", "via", "10.231.7.2"}));
    ASSERT_TRUE(run({"-n", ns.a, "-6", "route", "add", "default", "via", "2001:db8:7::2"}));
    ASSERT_TRUE(run({"-n", ns.a, "route", "add", "unreachable", "10.231.8.0/24"}));

    FakeRoot root;
    root.write("etc/resolv.conf", "nameserver 127.0.0.53\nnameserver 10.231.7.53\n");
    root.write("proc/sys/net/ipv4/ping_group_range", "0\t2147483647\n");

    const auto r = inNamespace(ns.a, [&]() -> QString {
        QString out;
        NetworkSources s;
        s.root = root.path();
        s.hostName = [] { return QStringLiteral("nshost.example"); };
        // Wait for the carrier of the pair (IFF_RUNNING) for up to two seconds.
        std::vector<wmi::Instance> adapters;
        QElapsedTimer wait;
        wait.start();
        do {
            auto provider = makeAdapterConfigurationProvider(s);
            wmi::wql::Query q;
            auto cursor = provider->enumerate(q);
            adapters.clear();
            while (auto i = cursor->next()) adapters.push_back(std::move(*i));
            if (adapters.size() == 1 && adapters[0].property(u"IPEnabled").toBool()) break;
            ::usleep(50000);
        } while (wait.elapsed() < 2000);
        out += QStringLiteral("count=%1\n").arg(adapters.size());
        if (!adapters.empty()) {
            const wmi::Instance& a = adapters[0];
            for (const char* p : {"IPEnabled", "IPAddress", "IPSubnet", "DefaultIPGateway",
                                  "MACAddress", "DNSServerSearchOrder", "DNSHostName",
                                  "DHCPEnabled", "Description", "InterfaceIndex"})
                out +=
                    QString::fromLatin1(p) + '=' + join(a.property(QString::fromLatin1(p))) + '\n';
            out += QStringLiteral("ifindex=%1\n").arg(::if_nametoindex(va.toUtf8().constData()));
        }
        // Let the kernel's ICMP datagram sockets admit us inside this namespace only.
        QFile range("/proc/sys/net/ipv4/ping_group_range");
        if (range.open(QIODevice::WriteOnly)) range.write("0 2147483647\n");
        range.close();
        auto echo = [&](const QString& key, const QString& address, PingMethod method) {
            s.pingMethod = method;
            QElapsedTimer t;
            t.start();
            const PingOutcome o = pingAddress(address, s);
            out += key + '=' + (o.statusCode ? QString::number(*o.statusCode) : "<null>") + '\n';
            out += key + "_ms=" + QString::number(t.elapsed()) + '\n';
        };
        echo("peer", "10.231.7.2", PingMethod::Automatic);
        echo("peer_raw", "10.231.7.2", PingMethod::RawSocket);
        echo("peer_dgram", "10.231.7.2", PingMethod::DatagramSocket);
        echo("peer6", "2001:db8:7::2", PingMethod::RawSocket);
        echo("peer6_dgram", "2001:db8:7::2", PingMethod::DatagramSocket);
        echo("silent", "10.231.7.99", PingMethod::Automatic);
        echo("silent_raw", "10.231.7.99", PingMethod::RawSocket);
        echo("unreachable", "10.231.8.5", PingMethod::RawSocket);
        echo("unreachable_dgram", "10.231.8.5", PingMethod::DatagramSocket);
        return out;
    });

    ASSERT_FALSE(r.contains("error")) << r.value("error").toStdString();
    ASSERT_EQ(r.value("count"), "1");  // loopback left out, the veth end only
    EXPECT_EQ(r.value("IPEnabled"), "True");
    EXPECT_EQ(r.value("IPAddress"), "10.231.7.1,2001:db8:7::1");
    EXPECT_EQ(r.value("IPSubnet"), "255.255.255.0,64");
    EXPECT_EQ(r.value("DefaultIPGateway"), "10.231.7.2,2001:db8:7::2");
    EXPECT_EQ(r.value("MACAddress"), "02:00:5E:10:00:01");
    EXPECT_EQ(r.value("DNSServerSearchOrder"), "10.231.7.53");
    EXPECT_EQ(r.value("DNSHostName"), "nshost");
    EXPECT_EQ(r.value("DHCPEnabled"), "False");
    EXPECT_EQ(r.value("Description"), "veth");
    EXPECT_EQ(r.value("InterfaceIndex"), r.value("ifindex"));

    for (const char* key : {"peer", "peer_raw", "peer_dgram", "peer6", "peer6_dgram"})
        EXPECT_EQ(r.value(key), "0") << key;
    for (const char* key : {"silent", "silent_raw"}) {
        EXPECT_EQ(r.value(key), "11010") << key;
        const int ms = r.value(QString::fromLatin1(key) + "_ms").toInt();
        EXPECT_GE(ms, 900) << key;
        EXPECT_LE(ms, 1500) << key;
    }
    EXPECT_EQ(r.value("unreachable"), "11003");
    EXPECT_EQ(r.value("unreachable_dgram"), "11003");
}

}  // namespace
