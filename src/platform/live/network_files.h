#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// Readers of the files that say how a link is configured: DHCP leases of the usual clients,
// per-link DNS state, resolv.conf, smb.conf and the kernel's route tables under /proc. Each takes
// the file's bytes and never throws; a malformed file reads as "nothing there".
namespace torvix::live::netfiles {

// The numeric address in a server entry as the resolvers write them ("1.2.3.4", "1.2.3.4:53",
// "[fe80::1]:53%2#dns.example", "fe80::1%eth0"), or empty when it holds none.
QString serverAddress(QString entry);

// "SERVERS=" of systemd-resolved's per-link state, in order.
QStringList resolvedLinkServers(const QByteArray& text);
// One KEY=VALUE entry of a systemd-style state file ("DNS" of networkd's per-link state).
QStringList keyValueServers(const QByteArray& text, const QString& key);
// "nameserver" lines of resolv.conf, leaving out systemd-resolved's local stub.
QStringList resolvConfServers(const QByteArray& text);

struct DhcpLease {
    QString address;  // the leased address, when the file says
    QString server;   // option 54, empty when unknown
    QStringList dnsServers;
    QStringList winsServers;  // option 44
};

// networkd's lease (KEY=VALUE, or JSON in newer releases) and NetworkManager's internal one.
std::optional<DhcpLease> keyValueLease(const QByteArray& text);
// The newest block of a dhclient lease file for `interfaceName` that has not expired at `now`.
// Blocks without an "interface" statement count when `fileNamesInterface` is true.
std::optional<DhcpLease> dhclientLease(const QByteArray& text, const QString& interfaceName,
                                       bool fileNamesInterface, const QDateTime& now);
// dhcpcd's binary lease (the server's DHCP message); it expires `lease time` after `written`.
std::optional<DhcpLease> dhcpcdLease(const QByteArray& message, const QDateTime& written,
                                     const QDateTime& now);

// ifupdown: whether /etc/network/interfaces has "iface NAME inet dhcp".
bool ifupdownUsesDhcp(const QByteArray& text, const QString& interfaceName);

// smb.conf "wins server" of [global], in order.
QStringList sambaWinsServers(const QByteArray& text);

struct RouteLine {
    QString interfaceName;
    int family = 0;
    QString gateway;
    std::uint32_t metric = 0;
};
// Default routes with a gateway in /proc/net/route and /proc/net/ipv6_route.
std::vector<RouteLine> procNetRoute(const QByteArray& text);
std::vector<RouteLine> procNetIpv6Route(const QByteArray& text);

}  // namespace torvix::live::netfiles
