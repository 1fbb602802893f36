#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/live/link_snapshot.h"
#include "platform/wmi/provider.h"
#include "platform/wmi/service.h"

namespace torvix::live {

// How Win32_PingStatus sends its echo. Automatic: an unprivileged ICMP socket where
// ping_group_range admits us, else a raw socket, else the system's ping program.
enum class PingMethod { Automatic, DatagramSocket, RawSocket, Program };

// Where the network and process providers read: the root folder plus replaceable live sources
// for tests. Everything left empty takes the live source.
struct NetworkSources {
    QString root = QStringLiteral("/");
    std::shared_ptr<const LinkSnapshotSource> links;  // null: the running kernel
    std::shared_ptr<const Clock> clock;               // null: the system clock (lease expiry)
    std::function<QString()> hostName;                // unset: the kernel's host name
    std::optional<QTimeZone> timeZone;                // unset: local time (CreationDate)
    long clockTicksPerSecond = 0;                     // 0: sysconf(_SC_CLK_TCK)
    PingMethod pingMethod = PingMethod::Automatic;
    QString pingProgram;  // empty: "ping" from PATH
};

// Win32_NetworkAdapterConfiguration: one instance per non-loopback link, by interface index.
wmi::ProviderPtr makeAdapterConfigurationProvider(const NetworkSources& sources);
// Win32_PingStatus: one echo to the address the query names.
wmi::ProviderPtr makePingStatusProvider(const NetworkSources& sources);
// Win32_Process: one instance per process, by process id, read as the walk goes.
wmi::ProviderPtr makeProcessProvider(const NetworkSources& sources);

void registerNetworkProviders(wmi::Registry& registry, const NetworkSources& sources);
// Registers the live network classes (Win32_NetworkAdapterConfiguration, Win32_PingStatus,
// Win32_Process), reading under `root`.
void registerNetworkProviders(wmi::Registry& registry, const QString& root);

// One ICMP echo as Win32_PingStatus reports it.
struct PingOutcome {
    std::optional<int> statusCode;  // 0 reply, 11010 timed out, 11003 unreachable; null: unusable
    std::optional<int> responseTimeMs;
    std::optional<int> replyTimeToLive;
    QString protocolAddress;  // the numeric address pinged; empty when there was none
};
// Pings a numeric IPv4 or IPv6 address (or "localhost"); host names are not looked up.
PingOutcome pingAddress(const QString& address, const NetworkSources& sources);
// Whether net.ipv4.ping_group_range ("LOW HIGH") admits one of the groups.
bool pingGroupRangeAdmits(const QByteArray& range, const std::vector<unsigned>& groups);

// "yyyyMMddHHmmss.ffffff+ooo": the time as its own offset shows it, with that offset from UTC
// in minutes (sign and three digits).
QString toManagementDateTime(const QDateTime& value);
// The same with the fraction of a second given in microseconds.
QString toManagementDateTime(const QDateTime& value, int microseconds);

}  // namespace torvix::live
