#include "platform/live/network_providers.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>

#include "platform/live/network_files.h"
#include "platform/live/root_files.h"
#include "platform/wmi/schema.h"

namespace torvix::live {
namespace {

const QString kAdapterClass = QStringLiteral("Win32_NetworkAdapterConfiguration");

QString defaultHostName(const QString& root) {
    QString host =
        readRootLine(root, QStringLiteral("/proc/sys/kernel/hostname")).value_or(QString());
    if (host.isEmpty() && underRoot(root, QStringLiteral("/")) == u"/") {
        char buf[256] = {};
        if (::gethostname(buf, sizeof buf - 1) == 0) host = QString::fromUtf8(buf);
    }
    return host;
}

// The target of a symbolic link under the root, or empty.
QString linkTarget(const QString& root, const QString& path) {
    const QByteArray name = QFile::encodeName(underRoot(root, path));
    char buf[4096];
    const ssize_t n = ::readlink(name.constData(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    return QFile::decodeName(QByteArray(buf, n));
}

QString dottedMask(int prefix) {
    prefix = std::clamp(prefix, 0, 32);
    const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t(0) << (32 - prefix);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(mask >> 24)
        .arg((mask >> 16) & 0xff)
        .arg((mask >> 8) & 0xff)
        .arg(mask & 0xff);
}

// "00:1A:2B:3C:4D:5E" from six octets; empty for anything else or all zero.
QString macText(const QByteArray& octets) {
    if (octets.size() != 6 || octets == QByteArray(6, '\0')) return {};
    return QString::fromLatin1(octets.toHex(':')).toUpper();
}

QString macFromSysfs(const QString& line) {
    const QByteArray octets = QByteArray::fromHex(line.trimmed().toLatin1());
    // fromHex ignores the colons; check the shape so "0:1:2" style texts are not misread.
    if (line.trimmed().size() != 17) return {};
    return macText(octets);
}

wmi::Value textOrNull(const QString& text) {
    return text.isEmpty() ? wmi::Value() : wmi::Value(text);
}
wmi::Value listOrNull(const QStringList& list) {
    return list.isEmpty() ? wmi::Value() : wmi::Value::textArray(list);
}

// What one query reads, shared by the links it produces and read only when first needed.
class AdapterScan {
  public:
    explicit AdapterScan(NetworkSources sources) : s_(std::move(sources)) {}

    std::optional<wmi::Instance> next() {
        if (!links_) load();
        if (position_ >= links_->size()) return std::nullopt;
        return build((*links_)[position_++]);
    }

  private:
    void load() {
        snapshot_ = s_.links->take();
        links_.emplace();
        for (const Link& link : snapshot_.links) {
            if ((link.flags & IFF_LOOPBACK) || link.hardwareType == ARPHRD_LOOPBACK) continue;
            links_->push_back(link);
        }
        std::sort(links_->begin(), links_->end(),
                  [](const Link& a, const Link& b) { return a.index < b.index; });
    }

    const std::vector<DefaultRoute>& routes() {
        if (routes_) return *routes_;
        if (snapshot_.defaultRoutes) {
            routes_ = *snapshot_.defaultRoutes;
        } else {
            routes_.emplace();
            auto add = [&](const std::vector<netfiles::RouteLine>& lines) {
                for (const auto& line : lines) {
                    for (const Link& link : snapshot_.links)
                        if (link.name == line.interfaceName)
                            routes_->push_back(
                                {line.family, line.gateway, link.index, line.metric});
                }
            };
            add(netfiles::procNetRoute(
                readRootFile(s_.root, QStringLiteral("/proc/net/route")).value_or(QByteArray())));
            add(netfiles::procNetIpv6Route(
                readRootFile(s_.root, QStringLiteral("/proc/net/ipv6_route"))
                    .value_or(QByteArray())));
        }
        std::stable_sort(routes_->begin(), routes_->end(),
                         [](const DefaultRoute& a, const DefaultRoute& b) {
                             if (a.family != b.family) return a.family == AF_INET;
                             return a.metric < b.metric;
                         });
        return *routes_;
    }

    QStringList gatewaysOf(int index) {
        QStringList out;
        for (const DefaultRoute& r : routes())
            if (r.interfaceIndex == index && !out.contains(r.gateway)) out << r.gateway;
        return out;
    }

    // The link that carries the default route (IPv4 first, lowest metric), or 0.
    int defaultRouteLink() {
        const auto& all = routes();
        return all.empty() ? 0 : all.front().interfaceIndex;
    }

    const QStringList& resolvConfServers() {
        if (!resolvConf_) {
            resolvConf_ = netfiles::resolvConfServers(
                readRootFile(s_.root, QStringLiteral("/etc/resolv.conf")).value_or(QByteArray()));
            // Only the local stub there: systemd-resolved keeps the real servers here.
            if (resolvConf_->isEmpty())
                resolvConf_ = netfiles::resolvConfServers(
                    readRootFile(s_.root, QStringLiteral("/run/systemd/resolve/resolv.conf"))
                        .value_or(QByteArray()));
        }
        return *resolvConf_;
    }

    const QStringList& sambaWins() {
        if (!sambaWins_)
            sambaWins_ = netfiles::sambaWinsServers(
                readRootFile(s_.root, QStringLiteral("/etc/samba/smb.conf"))
                    .value_or(QByteArray()));
        return *sambaWins_;
    }

    QDateTime now() const { return s_.clock ? s_.clock->now() : QDateTime::currentDateTime(); }

    // A lease counts only while its address is still on the link, so leftovers of an earlier
    // connection do not make a fixed address look like DHCP.
    static bool current(const std::optional<netfiles::DhcpLease>& lease, const Link& link) {
        if (!lease) return false;
        if (lease->address.isEmpty()) return true;
        return std::any_of(link.addresses.begin(), link.addresses.end(),
                           [&](const LinkAddress& a) { return a.address == lease->address; });
    }

    std::optional<netfiles::DhcpLease> networkdLease(const Link& link) {
        auto text =
            readRootFile(s_.root, QStringLiteral("/run/systemd/netif/leases/%1").arg(link.index));
        if (!text) return std::nullopt;
        // networkd removes the file when it drops the lease, so it is never stale.
        return netfiles::keyValueLease(*text);
    }

    // NetworkManager keeps "<client>-<connection uuid>-<interface>.lease"; the newest current
    // one wins.
    std::optional<netfiles::DhcpLease> networkManagerLease(const Link& link) {
        const QString dir = QStringLiteral("/var/lib/NetworkManager");
        if (!nmLeaseFiles_) nmLeaseFiles_ = listRootDir(s_.root, dir);
        const QString suffix = QLatin1Char('-') + link.name + QStringLiteral(".lease");
        std::optional<netfiles::DhcpLease> best;
        QDateTime bestTime;
        for (const QString& file : *nmLeaseFiles_) {
            if (!file.endsWith(suffix)) continue;
            const QString path = dir + QLatin1Char('/') + file;
            auto text = readRootFile(s_.root, path, 256 * 1024);
            if (!text) continue;
            std::optional<netfiles::DhcpLease> lease =
                text->contains("lease {") || text->contains("lease{")
                    ? netfiles::dhclientLease(*text, link.name, true, now())
                    : netfiles::keyValueLease(*text);
            if (!current(lease, link)) continue;
            const QDateTime written = QFileInfo(underRoot(s_.root, path)).lastModified();
            if (!best || written > bestTime) {
                best = lease;
                bestTime = written;
            }
        }
        return best;
    }

    std::optional<netfiles::DhcpLease> dhclientLease(const Link& link) {
        std::optional<netfiles::DhcpLease> found;
        for (const QString& dir :
             {QStringLiteral("/var/lib/dhcp"), QStringLiteral("/var/lib/dhclient")}) {
            for (const QString& file : listRootDir(s_.root, dir)) {
                if (!file.startsWith(QLatin1String("dhclient")) ||
                    !(file.endsWith(QLatin1String(".leases")) ||
                      file.endsWith(QLatin1String(".lease"))))
                    continue;
                // dhclient.eth0.leases, dhclient-eth0.leases, dhclient6.leases ...
                const QString stem = file.section(QLatin1Char('.'), 0, -2);
                const bool named = stem.endsWith(QLatin1Char('.') + link.name) ||
                                   stem.endsWith(QLatin1Char('-') + link.name);
                auto text = readRootFile(s_.root, dir + QLatin1Char('/') + file, 1024 * 1024);
                if (!text) continue;
                auto lease = netfiles::dhclientLease(*text, link.name, named, now());
                if (current(lease, link)) found = lease;
            }
        }
        return found;
    }

    std::optional<netfiles::DhcpLease> dhcpcdLease(const Link& link) {
        const QString dir = QStringLiteral("/var/lib/dhcpcd");
        for (const QString& file :
             {link.name + QStringLiteral(".lease"),
              QStringLiteral("dhcpcd-") + link.name + QStringLiteral(".lease")}) {
            const QString path = dir + QLatin1Char('/') + file;
            auto data = readRootFile(s_.root, path, 64 * 1024);
            if (!data) continue;
            const QDateTime written = QFileInfo(underRoot(s_.root, path)).lastModified();
            auto lease = netfiles::dhcpcdLease(*data, written, now());
            if (current(lease, link)) return lease;
        }
        return std::nullopt;
    }

    bool ifupdownDhcp(const Link& link) {
        if (!ifupdown_) {
            ifupdown_.emplace();
            if (auto main = readRootFile(s_.root, QStringLiteral("/etc/network/interfaces")))
                *ifupdown_ += *main + '\n';
            const QString dir = QStringLiteral("/etc/network/interfaces.d");
            for (const QString& file : listRootDir(s_.root, dir))
                if (auto part = readRootFile(s_.root, dir + QLatin1Char('/') + file))
                    *ifupdown_ += *part + '\n';
        }
        return netfiles::ifupdownUsesDhcp(*ifupdown_, link.name);
    }

    struct Dhcp {
        bool enabled = false;
        std::optional<netfiles::DhcpLease> lease;
    };

    Dhcp dhcpOf(const Link& link) {
        Dhcp d;
        for (auto reader : {&AdapterScan::networkdLease, &AdapterScan::networkManagerLease,
                            &AdapterScan::dhclientLease, &AdapterScan::dhcpcdLease}) {
            d.lease = (this->*reader)(link);
            if (d.lease) {
                d.enabled = true;
                return d;
            }
        }
        d.enabled = ifupdownDhcp(link);
        return d;
    }

    QStringList dnsOf(const Link& link, const Dhcp& dhcp) {
        if (auto text = readRootFile(
                s_.root, QStringLiteral("/run/systemd/resolve/netif/%1").arg(link.index))) {
            const QStringList servers = netfiles::resolvedLinkServers(*text);
            if (!servers.isEmpty()) return servers;
        }
        if (dhcp.lease && !dhcp.lease->dnsServers.isEmpty()) return dhcp.lease->dnsServers;
        if (auto text = readRootFile(
                s_.root, QStringLiteral("/run/systemd/netif/links/%1").arg(link.index))) {
            const QStringList servers = netfiles::keyValueServers(*text, QStringLiteral("DNS"));
            if (!servers.isEmpty()) return servers;
        }
        if (link.index == defaultRouteLink()) return resolvConfServers();
        return {};
    }

    QString descriptionOf(const Link& link) {
        if (auto udev =
                readRootFile(s_.root, QStringLiteral("/run/udev/data/n%1").arg(link.index))) {
            for (const QByteArray& line : udev->split('\n')) {
                if (line.startsWith("E:ID_MODEL_FROM_DATABASE=")) {
                    const QString model = QString::fromUtf8(line.mid(25)).trimmed();
                    if (!model.isEmpty()) return model;
                }
            }
        }
        const QString driver =
            QFileInfo(linkTarget(s_.root,
                                 QStringLiteral("/sys/class/net/%1/device/driver").arg(link.name)))
                .fileName();
        if (!driver.isEmpty()) return driver;
        if (!link.kind.isEmpty()) return link.kind;
        return link.name;
    }

    QString macOf(const Link& link) {
        // Layer-3 tunnels have no hardware address even when the kernel shows one.
        if (link.kind == QLatin1String("wireguard") || link.kind == QLatin1String("tun") ||
            link.hardwareType == ARPHRD_NONE || link.hardwareType == ARPHRD_PPP)
            return {};
        if (auto line =
                readRootLine(s_.root, QStringLiteral("/sys/class/net/%1/address").arg(link.name)))
            return macFromSysfs(*line);
        return macText(link.hardwareAddress);
    }

    QString hostName() const {
        QString host = s_.hostName ? s_.hostName() : defaultHostName(s_.root);
        const qsizetype dot = host.indexOf(QLatin1Char('.'));
        if (dot >= 0) host.truncate(dot);
        return host;
    }

    wmi::Instance build(const Link& link) {
        const bool enabled = (link.flags & IFF_UP) && (link.flags & IFF_RUNNING);
        const QString description = descriptionOf(link);
        std::map<QString, wmi::Value> v;
        v[QStringLiteral("Caption")] =
            QStringLiteral("[%1] %2").arg(link.index, 8, 10, QLatin1Char('0')).arg(description);
        v[QStringLiteral("Description")] = description;
        v[QStringLiteral("Index")] = wmi::Value(link.index);
        v[QStringLiteral("InterfaceIndex")] = wmi::Value(link.index);
        v[QStringLiteral("IPEnabled")] = wmi::Value(enabled);
        v[QStringLiteral("MACAddress")] = textOrNull(macOf(link));
        const QString driver =
            QFileInfo(linkTarget(s_.root,
                                 QStringLiteral("/sys/class/net/%1/device/driver").arg(link.name)))
                .fileName();
        v[QStringLiteral("ServiceName")] = textOrNull(driver);
        v[QStringLiteral("DHCPEnabled")] = wmi::Value(false);
        if (enabled) {
            // Windows lists IPv4 first, then IPv6 with link-local addresses last.
            QStringList addresses, subnets;
            auto take = [&](int family, bool linkLocal) {
                for (const LinkAddress& a : link.addresses) {
                    if (a.family != family || a.tentative || a.linkLocal != linkLocal) continue;
                    addresses << a.address;
                    subnets << (family == AF_INET ? dottedMask(a.prefixLength)
                                                  : QString::number(a.prefixLength));
                }
            };
            take(AF_INET, false);
            take(AF_INET6, false);
            take(AF_INET6, true);
            v[QStringLiteral("IPAddress")] = listOrNull(addresses);
            v[QStringLiteral("IPSubnet")] = listOrNull(subnets);
            v[QStringLiteral("DefaultIPGateway")] = listOrNull(gatewaysOf(link.index));

            const Dhcp dhcp = dhcpOf(link);
            v[QStringLiteral("DHCPEnabled")] = wmi::Value(dhcp.enabled);
            if (dhcp.enabled)
                v[QStringLiteral("DHCPServer")] =
                    textOrNull(dhcp.lease ? dhcp.lease->server : QString());
            v[QStringLiteral("DNSServerSearchOrder")] = listOrNull(dnsOf(link, dhcp));
            const QStringList wins = dhcp.lease && !dhcp.lease->winsServers.isEmpty()
                                         ? dhcp.lease->winsServers
                                         : sambaWins();
            if (!wins.isEmpty()) v[QStringLiteral("WINSPrimaryServer")] = wins[0];
            if (wins.size() > 1) v[QStringLiteral("WINSSecondaryServer")] = wins[1];
            v[QStringLiteral("DNSHostName")] = textOrNull(hostName());
        }
        std::vector<wmi::Property> props;
        for (const QString& name : wmi::schemaProperties(kAdapterClass)) {
            auto it = v.find(name);
            props.push_back({name, it == v.end() ? wmi::Value() : it->second});
        }
        return wmi::Instance(kAdapterClass, std::move(props));
    }

    NetworkSources s_;
    LinkSnapshot snapshot_;
    std::optional<std::vector<Link>> links_;
    std::size_t position_ = 0;
    std::optional<std::vector<DefaultRoute>> routes_;
    std::optional<QStringList> resolvConf_, sambaWins_, nmLeaseFiles_;
    std::optional<QByteArray> ifupdown_;
};

class AdapterConfigurationProvider : public wmi::ClassProvider {
  public:
    explicit AdapterConfigurationProvider(NetworkSources sources) : s_(std::move(sources)) {}
    QString className() const override { return kAdapterClass; }
    QStringList propertyNames() const override { return wmi::schemaProperties(kAdapterClass); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query&) const override {
        auto scan = std::make_shared<AdapterScan>(s_);
        return std::make_unique<wmi::FunctionCursor>([scan] { return scan->next(); });
    }

  private:
    NetworkSources s_;
};

NetworkSources withDefaults(NetworkSources s) {
    if (!s.links) s.links = std::make_shared<KernelLinkSnapshotSource>();
    if (!s.clock) s.clock = std::make_shared<SystemClock>();
    return s;
}

}  // namespace

wmi::ProviderPtr makeAdapterConfigurationProvider(const NetworkSources& sources) {
    return std::make_shared<AdapterConfigurationProvider>(withDefaults(sources));
}

void registerNetworkProviders(wmi::Registry& registry, const NetworkSources& sources) {
    registry.add(makeAdapterConfigurationProvider(sources));
    registry.add(makePingStatusProvider(sources));
    registry.add(makeProcessProvider(sources));
}

void registerNetworkProviders(wmi::Registry& registry, const QString& root) {
    NetworkSources sources;
    sources.root = root;
    registerNetworkProviders(registry, sources);
}

}  // namespace torvix::live
