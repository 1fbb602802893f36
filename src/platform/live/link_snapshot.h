#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace torvix::live {

// What the kernel knows about the network links at one moment: links, their addresses and the
// default routes. The adapter provider takes one snapshot per query; tests build one by hand.
struct LinkAddress {
    int family = 0;   // AF_INET or AF_INET6
    QString address;  // numeric text, no %scope
    int prefixLength = 0;
    bool tentative = false;  // IPv6 duplicate address detection not finished, or failed
    bool linkLocal = false;
};

struct DefaultRoute {
    int family = 0;  // AF_INET or AF_INET6
    QString gateway;
    int interfaceIndex = 0;
    std::uint32_t metric = 0;
};

struct Link {
    int index = 0;
    QString name;
    unsigned flags = 0;               // IFF_*
    unsigned short hardwareType = 0;  // ARPHRD_*
    QByteArray hardwareAddress;       // raw bytes, empty when the link has none
    QString kind;                     // "veth", "bridge", "wireguard", ... empty for plain devices
    std::vector<LinkAddress> addresses;
};

struct LinkSnapshot {
    std::vector<Link> links;  // every link, loopback included, any order
    // Default routes of the main table; nullopt when the source cannot tell (the provider then
    // reads the route files under the root folder).
    std::optional<std::vector<DefaultRoute>> defaultRoutes;
};

class LinkSnapshotSource {
  public:
    virtual ~LinkSnapshotSource() = default;
    // Throws Failure when the source cannot be read.
    virtual LinkSnapshot take() const = 0;
};

// The running kernel's view through rtnetlink (links, addresses, main-table default routes).
class KernelLinkSnapshotSource : public LinkSnapshotSource {
  public:
    LinkSnapshot take() const override;
};

}  // namespace torvix::live
