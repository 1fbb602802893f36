#include "platform/live/link_snapshot.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHash>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/failure.h"

namespace torvix::live {
namespace {

class NetlinkSocket {
  public:
    NetlinkSocket() {
        fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd_ < 0) fail("socket");
        // A kernel that never answers must not freeze the window.
        timeval tv{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) fail("bind");
    }
    ~NetlinkSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    // Sends a dump request and hands every answer message to `onMessage`.
    void dump(std::uint16_t type, unsigned char family,
              const std::function<void(const nlmsghdr*)>& onMessage) {
        struct {
            nlmsghdr header;
            rtgenmsg body;
        } request{};
        request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtgenmsg));
        request.header.nlmsg_type = type;
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request.header.nlmsg_seq = ++seq_;
        request.body.rtgen_family = family;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(fd_, &request, request.header.nlmsg_len, 0,
                     reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
            fail("sendto");

        alignas(nlmsghdr) char buffer[32768];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("recv");
            }
            if (n == 0) fail("recv");
            // NLMSG_OK compares the header's unsigned length with this signed count: the count
            // must stay signed, since NLMSG_NEXT may take it below zero at the end.
            int remaining = static_cast<int>(n);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
            for (auto* h = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(h, remaining);
                 h = NLMSG_NEXT(h, remaining)) {
#pragma GCC diagnostic pop
                if (h->nlmsg_seq != seq_) continue;
                if (h->nlmsg_type == NLMSG_DONE) return;
                if (h->nlmsg_type == NLMSG_ERROR) {
                    const auto* err = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
                    if (h->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) && err->error != 0) {
                        errno = -err->error;
                        fail("dump");
                    }
                    return;
                }
                onMessage(h);
            }
        }
    }

  private:
    [[noreturn]] void fail(const char* step) const {
        throw Failure(QStringLiteral("netlink %1: %2")
                          .arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(errno))));
    }
    int fd_ = -1;
    std::uint32_t seq_ = 0;
};

// Walks the attributes of one message.
template <typename Fn>
void forEachAttribute(const rtattr* first, int length, Fn&& fn) {
    for (const rtattr* a = first; RTA_OK(a, length); a = RTA_NEXT(a, length)) fn(a);
}

QString addressText(int family, const void* data, std::size_t size) {
    char text[INET6_ADDRSTRLEN] = {};
    if (family == AF_INET && size >= 4) {
        if (!::inet_ntop(AF_INET, data, text, sizeof text)) return {};
    } else if (family == AF_INET6 && size >= 16) {
        if (!::inet_ntop(AF_INET6, data, text, sizeof text)) return {};
    } else {
        return {};
    }
    return QString::fromLatin1(text);
}

bool isIpv6LinkLocal(const unsigned char* a) {
    return a[0] == 0xfe && (a[1] & 0xc0) == 0x80;
}

void readLink(const nlmsghdr* h, std::vector<Link>& links) {
    if (h->nlmsg_type != RTM_NEWLINK || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
    Link link;
    link.index = info->ifi_index;
    link.flags = info->ifi_flags;
    link.hardwareType = info->ifi_type;
    forEachAttribute(IFLA_RTA(info), IFLA_PAYLOAD(h), [&](const rtattr* a) {
        const auto* data = static_cast<const char*>(RTA_DATA(a));
        const int size = static_cast<int>(RTA_PAYLOAD(a));
        switch (a->rta_type) {
            case IFLA_IFNAME:
                link.name = QString::fromUtf8(data, static_cast<int>(strnlen(data, size)));
                break;
            case IFLA_ADDRESS:
                link.hardwareAddress = QByteArray(data, size);
                break;
            case IFLA_LINKINFO:
                forEachAttribute(
                    static_cast<const rtattr*>(RTA_DATA(a)), size, [&](const rtattr* inner) {
                        if (inner->rta_type != IFLA_INFO_KIND) return;
                        const auto* k = static_cast<const char*>(RTA_DATA(inner));
                        link.kind =
                            QString::fromUtf8(k, static_cast<int>(strnlen(k, RTA_PAYLOAD(inner))));
                    });
                break;
            default:
                break;
        }
    });
    links.push_back(std::move(link));
}

void readAddress(const nlmsghdr* h, QHash<int, std::vector<LinkAddress>>& byLink) {
    if (h->nlmsg_type != RTM_NEWADDR || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
    const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
    if (info->ifa_family != AF_INET && info->ifa_family != AF_INET6) return;
    std::uint32_t flags = info->ifa_flags;
    const void* local = nullptr;
    const void* address = nullptr;
    std::size_t localSize = 0, addressSize = 0;
    forEachAttribute(IFA_RTA(info), IFA_PAYLOAD(h), [&](const rtattr* a) {
        switch (a->rta_type) {
            case IFA_LOCAL:
                local = RTA_DATA(a);
                localSize = RTA_PAYLOAD(a);
                break;
            case IFA_ADDRESS:
                address = RTA_DATA(a);
                addressSize = RTA_PAYLOAD(a);
                break;
            case IFA_FLAGS:
                if (RTA_PAYLOAD(a) >= sizeof(std::uint32_t))
                    std::memcpy(&flags, RTA_DATA(a), sizeof flags);
                break;
            default:
                break;
        }
    });
    // On point-to-point links IFA_ADDRESS is the peer; IFA_LOCAL is ours.
    const void* own = local ? local : address;
    const std::size_t ownSize = local ? localSize : addressSize;
    if (!own) return;
    LinkAddress entry;
    entry.family = info->ifa_family;
    entry.address = addressText(info->ifa_family, own, ownSize);
    if (entry.address.isEmpty()) return;
    entry.prefixLength = info->ifa_prefixlen;
    entry.tentative = (flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED)) != 0;
    entry.linkLocal =
        info->ifa_family == AF_INET6 && isIpv6LinkLocal(static_cast<const unsigned char*>(own));
    byLink[info->ifa_index].push_back(std::move(entry));
}

void readRoute(const nlmsghdr* h, std::vector<DefaultRoute>& routes) {
    if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
    const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(h));
    if (info->rtm_dst_len != 0 || info->rtm_type != RTN_UNICAST) return;
    if (info->rtm_family != AF_INET && info->rtm_family != AF_INET6) return;
    std::uint32_t table = info->rtm_table;
    int oif = 0;
    std::uint32_t metric = 0;
    QString gateway;
    std::vector<std::pair<int, QString>> hops;  // multipath next hops
    forEachAttribute(RTM_RTA(info), RTM_PAYLOAD(h), [&](const rtattr* a) {
        switch (a->rta_type) {
            case RTA_TABLE:
                if (RTA_PAYLOAD(a) >= 4) std::memcpy(&table, RTA_DATA(a), 4);
                break;
            case RTA_OIF:
                if (RTA_PAYLOAD(a) >= 4) std::memcpy(&oif, RTA_DATA(a), 4);
                break;
            case RTA_PRIORITY:
                if (RTA_PAYLOAD(a) >= 4) std::memcpy(&metric, RTA_DATA(a), 4);
                break;
            case RTA_GATEWAY:
                gateway = addressText(info->rtm_family, RTA_DATA(a), RTA_PAYLOAD(a));
                break;
            case RTA_MULTIPATH: {
                int length = static_cast<int>(RTA_PAYLOAD(a));
                auto* hop = static_cast<const rtnexthop*>(RTA_DATA(a));
                while (length >= static_cast<int>(sizeof(rtnexthop)) &&
                       hop->rtnh_len >= sizeof(rtnexthop) && hop->rtnh_len <= length) {
                    QString hopGateway;
                    forEachAttribute(
                        RTNH_DATA(hop), hop->rtnh_len - static_cast<int>(RTNH_LENGTH(0)),
                        [&](const rtattr* inner) {
                            if (inner->rta_type == RTA_GATEWAY)
                                hopGateway = addressText(info->rtm_family, RTA_DATA(inner),
                                                         RTA_PAYLOAD(inner));
                        });
                    if (!hopGateway.isEmpty()) hops.emplace_back(hop->rtnh_ifindex, hopGateway);
                    length -= RTNH_ALIGN(hop->rtnh_len);
                    hop = RTNH_NEXT(hop);
                }
                break;
            }
            default:
                break;
        }
    });
    if (table != RT_TABLE_MAIN) return;
    if (!gateway.isEmpty() && oif > 0) hops.emplace_back(oif, gateway);
    for (auto& [index, text] : hops)
        routes.push_back(DefaultRoute{info->rtm_family, text, index, metric});
}

}  // namespace

LinkSnapshot KernelLinkSnapshotSource::take() const {
    NetlinkSocket socket;
    LinkSnapshot snapshot;
    socket.dump(RTM_GETLINK, AF_UNSPEC, [&](const nlmsghdr* h) { readLink(h, snapshot.links); });

    QHash<int, std::vector<LinkAddress>> addresses;
    socket.dump(RTM_GETADDR, AF_UNSPEC, [&](const nlmsghdr* h) { readAddress(h, addresses); });
    for (Link& link : snapshot.links) link.addresses = addresses.value(link.index);

    try {
        std::vector<DefaultRoute> routes;
        socket.dump(RTM_GETROUTE, AF_INET, [&](const nlmsghdr* h) { readRoute(h, routes); });
        socket.dump(RTM_GETROUTE, AF_INET6, [&](const nlmsghdr* h) { readRoute(h, routes); });
        snapshot.defaultRoutes = std::move(routes);
    } catch (const Failure&) {
        // Leave the routes to the files under /proc.
    }
    return snapshot;
}

}  // namespace torvix::live
