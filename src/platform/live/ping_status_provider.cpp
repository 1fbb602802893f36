#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>

#include "platform/live/network_providers.h"
#include "platform/live/root_files.h"
#include "platform/wmi/schema.h"

namespace torvix::live {
namespace {

const QString kPingClass = QStringLiteral("Win32_PingStatus");
constexpr int kTimeoutMs = 1000;
constexpr int kBufferSize = 32;
constexpr int kTimeToLive = 80;
constexpr int kReply = 0;
constexpr int kUnreachable = 11003;
constexpr int kTimedOut = 11010;

struct Target {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
    QString text;
};

// Numeric addresses only: a name would need a DNS lookup that can hang the window.
std::optional<Target> parseTarget(const QString& address) {
    Target t;
    QString text = address;
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        text = QStringLiteral("127.0.0.1");
    const QByteArray latin = text.toLatin1();
    if (QString::fromLatin1(latin) != text || latin.isEmpty()) return std::nullopt;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&t.address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&t.address);
    char out[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET, latin.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        t.family = AF_INET;
        t.length = sizeof(sockaddr_in);
        ::inet_ntop(AF_INET, &v4->sin_addr, out, sizeof out);
    } else {
        QByteArray host = latin;
        QByteArray scope;
        const qsizetype percent = host.indexOf('%');
        if (percent >= 0) {
            scope = host.mid(percent + 1);
            host.truncate(percent);
        }
        if (::inet_pton(AF_INET6, host.constData(), &v6->sin6_addr) != 1) return std::nullopt;
        if (!scope.isEmpty()) {
            bool ok = false;
            unsigned id = scope.toUInt(&ok);
            if (!ok) id = ::if_nametoindex(scope.constData());
            if (id == 0) return std::nullopt;
            v6->sin6_scope_id = id;
        }
        v6->sin6_family = AF_INET6;
        t.family = AF_INET6;
        t.length = sizeof(sockaddr_in6);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, out, sizeof out);
    }
    t.text = QString::fromLatin1(out);
    return t;
}

std::uint16_t checksum(const unsigned char* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) sum += (data[i] << 8) | data[i + 1];
    if (size & 1) sum += data[size - 1] << 8;
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return htons(static_cast<std::uint16_t>(~sum));
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::uint16_t nextIdentifier() {
    static std::atomic<std::uint16_t> counter{0};
    return static_cast<std::uint16_t>((::getpid() * 31 + counter++) & 0xffff);
}

bool unreachableErrno(int e) {
    return e == ENETUNREACH || e == EHOSTUNREACH;
}

// Reads one queued error of the socket; true when it says the target cannot be reached.
std::optional<int> readErrorQueue(int fd, int family) {
    char data[512], control[512];
    iovec iov{data, sizeof data};
    sockaddr_storage from{};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return std::nullopt;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        const bool v4 = c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR;
        const bool v6 = c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR;
        if (!v4 && !v6) continue;
        sock_extended_err err{};
        std::memcpy(&err, CMSG_DATA(c), sizeof err);
        if (err.ee_origin == SO_EE_ORIGIN_ICMP || err.ee_origin == SO_EE_ORIGIN_ICMP6) {
            const bool destUnreach = (family == AF_INET && err.ee_type == ICMP_DEST_UNREACH) ||
                                     (family == AF_INET6 && err.ee_type == ICMP6_DST_UNREACH);
            if (destUnreach) return kUnreachable;
        } else if (err.ee_origin == SO_EE_ORIGIN_LOCAL &&
                   unreachableErrno(static_cast<int>(err.ee_errno))) {
            return kUnreachable;
        }
    }
    return std::nullopt;
}

// One echo through an ICMP socket. nullopt: the socket could not be made (try another way).
std::optional<PingOutcome> pingBySocket(const Target& target, bool raw) {
    const bool v4 = target.family == AF_INET;
    const int protocol = v4 ? int{IPPROTO_ICMP} : int{IPPROTO_ICMPV6};
    Fd fd(::socket(target.family, (raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC, protocol));
    if (fd.get() < 0) return std::nullopt;

    PingOutcome out;
    out.protocolAddress = target.text;
    const int one = 1, ttl = kTimeToLive;
    if (v4) {
        ::setsockopt(fd.get(), SOL_IP, IP_TTL, &ttl, sizeof ttl);
        ::setsockopt(fd.get(), SOL_IP, IP_RECVERR, &one, sizeof one);
        ::setsockopt(fd.get(), SOL_IP, IP_RECVTTL, &one, sizeof one);
    } else {
        ::setsockopt(fd.get(), SOL_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
        ::setsockopt(fd.get(), SOL_IPV6, IPV6_RECVERR, &one, sizeof one);
        ::setsockopt(fd.get(), SOL_IPV6, IPV6_RECVHOPLIMIT, &one, sizeof one);
    }

    const std::uint16_t id = nextIdentifier();
    const std::uint16_t seq = static_cast<std::uint16_t>(id ^ 0x5a5a);
    unsigned char packet[8 + kBufferSize] = {};
    packet[0] = static_cast<unsigned char>(v4 ? int{ICMP_ECHO} : int{ICMP6_ECHO_REQUEST});
    const std::uint16_t idNet = htons(id), seqNet = htons(seq);
    std::memcpy(packet + 4, &idNet, 2);
    std::memcpy(packet + 6, &seqNet, 2);
    for (int i = 0; i < kBufferSize; ++i) packet[8 + i] = static_cast<unsigned char>('a' + i % 23);
    if (v4) {
        const std::uint16_t sum = checksum(packet, sizeof packet);
        std::memcpy(packet + 2, &sum, 2);
    }  // the kernel fills in the ICMPv6 checksum

    QElapsedTimer elapsed;
    elapsed.start();
    if (::sendto(fd.get(), packet, sizeof packet, 0,
                 reinterpret_cast<const sockaddr*>(&target.address), target.length) < 0) {
        if (unreachableErrno(errno)) out.statusCode = kUnreachable;
        return out;  // no echo could be sent: the status stays null
    }

    for (;;) {
        const qint64 left = kTimeoutMs - elapsed.elapsed();
        if (left <= 0) {
            out.statusCode = kTimedOut;
            return out;
        }
        pollfd p{fd.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the loop notices the timeout
        if (p.revents & POLLERR) {
            if (auto status = readErrorQueue(fd.get(), target.family)) {
                out.statusCode = status;
                return out;
            }
            continue;
        }
        unsigned char data[2048], control[256];
        iovec iov{data, sizeof data};
        sockaddr_storage from{};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd.get(), &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (unreachableErrno(errno)) {
                out.statusCode = kUnreachable;
                return out;
            }
            continue;
        }
        const unsigned char* icmp = data;
        ssize_t icmpSize = n;
        std::optional<int> hopLimit;
        if (raw && v4) {
            // A raw IPv4 socket hands over the IP header as well.
            if (n < 20) continue;
            const int headerSize = (data[0] & 0x0f) * 4;
            if (headerSize < 20 || n < headerSize + 8) continue;
            hopLimit = data[8];
            icmp = data + headerSize;
            icmpSize = n - headerSize;
        }
        if (icmpSize < 8) continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            int value = 0;
            if ((c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL) ||
                (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_HOPLIMIT)) {
                std::memcpy(&value, CMSG_DATA(c), sizeof value);
                hopLimit = value;
            }
        }
        std::uint16_t gotId = 0, gotSeq = 0;
        std::memcpy(&gotId, icmp + 4, 2);
        std::memcpy(&gotSeq, icmp + 6, 2);
        const int type = icmp[0];
        const int replyType = v4 ? ICMP_ECHOREPLY : ICMP6_ECHO_REPLY;
        // Datagram sockets get their own replies only (the kernel sets the id); a raw socket
        // sees every ICMP message, our own request on loopback included.
        const bool ours = ntohs(gotSeq) == seq && (!raw || ntohs(gotId) == id);
        if (type == replyType && ours) {
            if (raw) {
                // Only the target may answer.
                bool fromTarget = false;
                if (v4)
                    fromTarget =
                        reinterpret_cast<sockaddr_in*>(&from)->sin_addr.s_addr ==
                        reinterpret_cast<const sockaddr_in*>(&target.address)->sin_addr.s_addr;
                else
                    fromTarget =
                        std::memcmp(
                            &reinterpret_cast<sockaddr_in6*>(&from)->sin6_addr,
                            &reinterpret_cast<const sockaddr_in6*>(&target.address)->sin6_addr,
                            16) == 0;
                if (!fromTarget) continue;
            }
            out.statusCode = kReply;
            out.responseTimeMs = static_cast<int>(elapsed.elapsed());
            out.replyTimeToLive = hopLimit;
            return out;
        }
        const int unreachType = v4 ? ICMP_DEST_UNREACH : ICMP6_DST_UNREACH;
        if (raw && type == unreachType) {
            // The error quotes our request: IPv4 header + ICMP header (IPv4), or the IPv6
            // header (40 bytes) + ICMPv6 header.
            const unsigned char* quoted = icmp + 8;
            ssize_t quotedSize = icmpSize - 8;
            if (v4 && quotedSize >= 20) {
                const int h = (quoted[0] & 0x0f) * 4;
                quoted += h;
                quotedSize -= h;
            } else if (!v4 && quotedSize >= 40) {
                quoted += 40;
                quotedSize -= 40;
            } else {
                continue;
            }
            if (quotedSize < 8) continue;
            std::uint16_t qId = 0, qSeq = 0;
            std::memcpy(&qId, quoted + 4, 2);
            std::memcpy(&qSeq, quoted + 6, 2);
            if (ntohs(qId) == id && ntohs(qSeq) == seq) {
                out.statusCode = kUnreachable;
                return out;
            }
        }
    }
}

// The system's ping program, for systems where this process may open no ICMP socket.
PingOutcome pingByProgram(const Target& target, const QString& configured) {
    PingOutcome out;
    out.protocolAddress = target.text;
    const QString program =
        configured.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ping")) : configured;
    if (program.isEmpty()) return out;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-n"), QStringLiteral("-c1"), QStringLiteral("-W1"),
                     QStringLiteral("-s%1").arg(kBufferSize),
                     QStringLiteral("-t%1").arg(kTimeToLive)};
    if (target.family == AF_INET6) args.prepend(QStringLiteral("-6"));
    args << target.text;  // one argv element, no shell
    process.start(program, args);
    if (!process.waitForStarted(1000)) return out;
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(500);
        return out;
    }
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit) return out;
    if (process.exitCode() == 0) {
        out.statusCode = kReply;
        static const QRegularExpression time(QStringLiteral("time[=<]([0-9.]+) ?ms"));
        static const QRegularExpression ttl(QStringLiteral("(?:ttl|hlim)=([0-9]+)"));
        if (auto m = time.match(text); m.hasMatch())
            out.responseTimeMs = static_cast<int>(m.captured(1).toDouble());
        if (auto m = ttl.match(text); m.hasMatch()) out.replyTimeToLive = m.captured(1).toInt();
        return out;
    }
    if (text.contains(QLatin1String("Unreachable"), Qt::CaseInsensitive))
        out.statusCode = kUnreachable;
    else if (process.exitCode() == 1)
        out.statusCode = kTimedOut;
    return out;
}

class PingStatusProvider : public wmi::ClassProvider {
  public:
    explicit PingStatusProvider(NetworkSources s) : s_(std::move(s)) {}
    QString className() const override { return kPingClass; }
    QStringList propertyNames() const override { return wmi::schemaProperties(kPingClass); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override {
        const std::optional<wmi::Value> address = wmi::wql::requiredValue(query, u"Address");
        if (!address || address->isNull() || address->isArray() || address->isObject())
            return std::make_unique<wmi::FunctionCursor>([] { return std::nullopt; });
        QString text;
        try {
            text = address->toText();
        } catch (const Failure&) {
            return std::make_unique<wmi::FunctionCursor>([] { return std::nullopt; });
        }
        auto done = std::make_shared<bool>(false);
        NetworkSources s = s_;
        // The echo goes out when the walk reaches the instance, not when the query is made.
        return std::make_unique<wmi::FunctionCursor>(
            [done, text, s]() -> std::optional<wmi::Instance> {
                if (*done) return std::nullopt;
                *done = true;
                return makeInstance(text, pingAddress(text, s));
            });
    }

  private:
    static wmi::Instance makeInstance(const QString& address, const PingOutcome& r) {
        auto opt = [](const std::optional<int>& v) { return v ? wmi::Value(*v) : wmi::Value(); };
        const bool replied = r.statusCode == kReply;
        std::map<QString, wmi::Value> v;
        v[QStringLiteral("Address")] = address;
        v[QStringLiteral("BufferSize")] = wmi::Value(kBufferSize);
        v[QStringLiteral("NoFragmentation")] = wmi::Value(false);
        v[QStringLiteral("PrimaryAddressResolutionStatus")] =
            r.protocolAddress.isEmpty() ? wmi::Value(11001) : wmi::Value(0);
        if (!r.protocolAddress.isEmpty()) v[QStringLiteral("ProtocolAddress")] = r.protocolAddress;
        v[QStringLiteral("RecordRoute")] = wmi::Value(0);
        v[QStringLiteral("ResolveAddressNames")] = wmi::Value(false);
        if (replied) {
            v[QStringLiteral("ReplyInconsistency")] = wmi::Value(false);
            v[QStringLiteral("ReplySize")] = wmi::Value(kBufferSize);
            v[QStringLiteral("ResponseTime")] = opt(r.responseTimeMs);
            v[QStringLiteral("ResponseTimeToLive")] = opt(r.replyTimeToLive);
        }
        v[QStringLiteral("SourceRouteType")] = wmi::Value(0);
        v[QStringLiteral("StatusCode")] = opt(r.statusCode);
        v[QStringLiteral("Timeout")] = wmi::Value(kTimeoutMs);
        v[QStringLiteral("TimeStampRecord")] = wmi::Value(0);
        v[QStringLiteral("TimeToLive")] = wmi::Value(kTimeToLive);
        v[QStringLiteral("TypeofService")] = wmi::Value(0);
        std::vector<wmi::Property> props;
        for (const QString& name : wmi::schemaProperties(kPingClass)) {
            auto it = v.find(name);
            props.push_back({name, it == v.end() ? wmi::Value() : it->second});
        }
        return wmi::Instance(kPingClass, std::move(props));
    }

    NetworkSources s_;
};

std::vector<unsigned> processGroups() {
    std::vector<unsigned> out{static_cast<unsigned>(::getegid())};
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(n));
        const int got = ::getgroups(n, groups.data());
        for (int i = 0; i < got; ++i) out.push_back(groups[static_cast<std::size_t>(i)]);
    }
    return out;
}

}  // namespace

bool pingGroupRangeAdmits(const QByteArray& range, const std::vector<unsigned>& groups) {
    const QList<QByteArray> f = range.simplified().split(' ');
    if (f.size() != 2) return false;
    bool okLow = false, okHigh = false;
    const qulonglong low = f[0].toULongLong(&okLow), high = f[1].toULongLong(&okHigh);
    if (!okLow || !okHigh || low > high) return false;
    for (unsigned g : groups)
        if (g >= low && g <= high) return true;
    return false;
}

PingOutcome pingAddress(const QString& address, const NetworkSources& sources) {
    const std::optional<Target> target = parseTarget(address);
    if (!target) return {};
    PingMethod method = sources.pingMethod;
    switch (method) {
        case PingMethod::DatagramSocket:
            return pingBySocket(*target, false).value_or(PingOutcome{{}, {}, {}, target->text});
        case PingMethod::RawSocket:
            return pingBySocket(*target, true).value_or(PingOutcome{{}, {}, {}, target->text});
        case PingMethod::Program:
            return pingByProgram(*target, sources.pingProgram);
        case PingMethod::Automatic:
            break;
    }
    const QByteArray range =
        readRootFile(sources.root, QStringLiteral("/proc/sys/net/ipv4/ping_group_range"))
            .value_or(QByteArray());
    if (pingGroupRangeAdmits(range, processGroups()))
        if (auto r = pingBySocket(*target, false)) return *r;
    if (auto r = pingBySocket(*target, true)) return *r;
    return pingByProgram(*target, sources.pingProgram);
}

wmi::ProviderPtr makePingStatusProvider(const NetworkSources& sources) {
    return std::make_shared<PingStatusProvider>(sources);
}

}  // namespace torvix::live
