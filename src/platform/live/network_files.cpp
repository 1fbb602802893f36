#include "platform/live/network_files.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <cstring>

namespace torvix::live::netfiles {
namespace {

QString canonicalAddress(const QString& text) {
    const QByteArray latin = text.toLatin1();
    unsigned char bytes[16];
    char out[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET, latin.constData(), bytes) == 1 &&
        ::inet_ntop(AF_INET, bytes, out, sizeof out))
        return QString::fromLatin1(out);
    if (::inet_pton(AF_INET6, latin.constData(), bytes) == 1 &&
        ::inet_ntop(AF_INET6, bytes, out, sizeof out))
        return QString::fromLatin1(out);
    return {};
}

QString addressFromBytes(const unsigned char* bytes, int size) {
    char out[INET6_ADDRSTRLEN] = {};
    const int family = size == 4 ? AF_INET : size == 16 ? AF_INET6 : 0;
    if (family == 0 || !::inet_ntop(family, bytes, out, sizeof out)) return {};
    return QString::fromLatin1(out);
}

bool isIpv4(const QString& text) {
    in_addr a{};
    return ::inet_pton(AF_INET, text.toLatin1().constData(), &a) == 1;
}

QStringList serverList(const QString& text) {
    QStringList out;
    for (const QString& part :
         text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
        const QString a = serverAddress(part);
        if (!a.isEmpty() && !out.contains(a)) out << a;
    }
    return out;
}

QList<QByteArray> lines(const QByteArray& text) {
    return text.split('\n');
}

// The value of KEY= in a systemd-style state file, or nullopt.
std::optional<QString> keyValue(const QByteArray& text, const QString& key) {
    const QByteArray prefix = key.toLatin1() + '=';
    std::optional<QString> found;
    for (const QByteArray& raw : lines(text)) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith(prefix)) found = QString::fromUtf8(line.mid(prefix.size())).trimmed();
    }
    return found;
}

// --- JSON leases ---------------------------------------------------------------------------

QString normalizedKey(const QString& key) {
    QString k = key.toLower();
    k.remove(QLatin1Char('_'));
    return k;
}

// An address as JSON: a text, or an array of 4 or 16 byte values.
QString jsonAddress(const QJsonValue& v) {
    if (v.isString()) return serverAddress(v.toString());
    if (v.isArray()) {
        const QJsonArray a = v.toArray();
        if (a.size() != 4 && a.size() != 16) return {};
        unsigned char bytes[16];
        for (int i = 0; i < a.size(); ++i) {
            if (!a[i].isDouble()) return {};
            const int b = a[i].toInt(-1);
            if (b < 0 || b > 255) return {};
            bytes[i] = static_cast<unsigned char>(b);
        }
        return addressFromBytes(bytes, static_cast<int>(a.size()));
    }
    if (v.isObject()) {
        // {"Address": ...} wrappers
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            if (normalizedKey(it.key()) == QLatin1String("address")) return jsonAddress(it.value());
    }
    return {};
}

QStringList jsonAddressList(const QJsonValue& v) {
    QStringList out;
    if (v.isArray()) {
        const QJsonArray a = v.toArray();
        // A bare byte array is one address.
        const QString single = jsonAddress(v);
        if (!single.isEmpty()) return {single};
        for (const QJsonValue& e : a) {
            const QString addr = jsonAddress(e);
            if (!addr.isEmpty() && !out.contains(addr)) out << addr;
        }
    } else {
        const QString addr = jsonAddress(v);
        if (!addr.isEmpty()) out << addr;
    }
    return out;
}

void searchJson(const QJsonValue& v, DhcpLease& lease, bool& any, int depth) {
    if (depth > 16) return;
    if (v.isArray()) {
        for (const QJsonValue& e : v.toArray()) searchJson(e, lease, any, depth + 1);
        return;
    }
    if (!v.isObject()) return;
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = normalizedKey(it.key());
        if (key == QLatin1String("serveraddress") && lease.server.isEmpty()) {
            lease.server = jsonAddress(it.value());
            any = any || !lease.server.isEmpty();
        } else if (key == QLatin1String("address") && lease.address.isEmpty() &&
                   !it.value().isObject()) {
            lease.address = jsonAddress(it.value());
            any = any || !lease.address.isEmpty();
        } else if (key == QLatin1String("dns") && lease.dnsServers.isEmpty()) {
            lease.dnsServers = jsonAddressList(it.value());
        } else if (it.value().isObject() || it.value().isArray()) {
            searchJson(it.value(), lease, any, depth + 1);
        }
    }
}

// --- dhclient ------------------------------------------------------------------------------

// The text with comments removed ('#' outside quotes, to the end of the line).
QString withoutComments(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool quoted = false, comment = false;
    for (QChar c : text) {
        if (comment) {
            if (c == QLatin1Char('\n')) {
                comment = false;
                out += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) quoted = !quoted;
        if (c == QLatin1Char('#') && !quoted) {
            comment = true;
            continue;
        }
        out += c;
    }
    return out;
}

QStringList statementWords(const QString& statement) {
    QStringList words;
    QString current;
    bool quoted = false;
    for (QChar c : statement) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && c.isSpace()) {
            if (!current.isEmpty()) words << current;
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty()) words << current;
    return words;
}

// Expiry of a block: nullopt = never (or not stated); an invalid QDateTime = unreadable.
std::optional<QDateTime> dhclientExpiry(const QStringList& words) {
    if (words.size() >= 2 && words[1] == QLatin1String("never")) return std::nullopt;
    if (words.size() >= 3 && words[1] == QLatin1String("epoch")) {
        bool ok = false;
        const qint64 secs = words[2].toLongLong(&ok);
        return ok ? QDateTime::fromSecsSinceEpoch(secs, Qt::UTC) : QDateTime();
    }
    if (words.size() >= 4) {
        // dhclient writes these in UTC.
        const QDate date = QDate::fromString(words[2], QStringLiteral("yyyy/M/d"));
        const QTime time = QTime::fromString(words[3], QStringLiteral("H:m:s"));
        if (!date.isValid() || !time.isValid()) return QDateTime();
        return QDateTime(date, time, Qt::UTC);
    }
    return QDateTime();
}

struct DhclientBlock {
    QString interfaceName;
    DhcpLease lease;
    std::optional<QDateTime> expiry;
};

void applyStatement(const QString& statement, DhclientBlock& block) {
    QStringList words = statementWords(statement);
    if (words.isEmpty()) return;
    const QString& head = words[0];
    if (head == QLatin1String("interface") && words.size() >= 2) {
        block.interfaceName = words[1];
    } else if (head == QLatin1String("fixed-address") && words.size() >= 2) {
        block.lease.address = serverAddress(words[1]);
    } else if (head == QLatin1String("expire")) {
        block.expiry = dhclientExpiry(words);
    } else if (head == QLatin1String("option") && words.size() >= 3) {
        const QString name = words[1];
        const QString value = words.mid(2).join(QLatin1Char(' '));
        if (name == QLatin1String("dhcp-server-identifier"))
            block.lease.server = serverAddress(value.trimmed());
        else if (name == QLatin1String("domain-name-servers"))
            block.lease.dnsServers = serverList(value);
        else if (name == QLatin1String("netbios-name-servers"))
            block.lease.winsServers = serverList(value);
    }
}

// Splits the body of one block into statements; nested blocks are skipped whole.
std::vector<QString> blockStatements(const QString& body) {
    std::vector<QString> out;
    QString current;
    int depth = 0;
    bool quoted = false;
    for (QChar c : body) {
        if (c == QLatin1Char('"')) quoted = !quoted;
        if (!quoted) {
            if (c == QLatin1Char('{')) {
                ++depth;
                current.clear();
                continue;
            }
            if (c == QLatin1Char('}')) {
                if (depth > 0) --depth;
                current.clear();
                continue;
            }
            if (c == QLatin1Char(';') && depth == 0) {
                out.push_back(current.trimmed());
                current.clear();
                continue;
            }
        }
        if (depth == 0) current += c;
    }
    return out;
}

}  // namespace

QString serverAddress(QString entry) {
    entry = entry.trimmed();
    const int hash = entry.indexOf(QLatin1Char('#'));
    if (hash >= 0) entry.truncate(hash);
    if (entry.startsWith(QLatin1Char('['))) {
        const int close = entry.indexOf(QLatin1Char(']'));
        if (close < 0) return {};
        entry = entry.mid(1, close - 1);
    }
    const int percent = entry.indexOf(QLatin1Char('%'));
    if (percent >= 0) entry.truncate(percent);
    if (entry.count(QLatin1Char(':')) == 1) entry.truncate(entry.indexOf(QLatin1Char(':')));
    return canonicalAddress(entry);
}

QStringList resolvedLinkServers(const QByteArray& text) {
    return serverList(keyValue(text, QStringLiteral("SERVERS")).value_or(QString()));
}

QStringList keyValueServers(const QByteArray& text, const QString& key) {
    return serverList(keyValue(text, key).value_or(QString()));
}

QStringList resolvConfServers(const QByteArray& text) {
    QStringList out;
    for (const QByteArray& raw : lines(text)) {
        const QList<QByteArray> words = raw.simplified().split(' ');
        if (words.size() < 2 || words[0] != "nameserver") continue;
        const QString a = serverAddress(QString::fromLatin1(words[1]));
        // systemd-resolved's stub listens on these; the real servers are elsewhere.
        if (a.isEmpty() || a == QLatin1String("127.0.0.53") || a == QLatin1String("127.0.0.54"))
            continue;
        if (!out.contains(a)) out << a;
    }
    return out;
}

std::optional<DhcpLease> keyValueLease(const QByteArray& text) {
    const QByteArray trimmed = text.trimmed();
    DhcpLease lease;
    if (trimmed.startsWith('{')) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(trimmed, &error);
        if (error.error != QJsonParseError::NoError) return std::nullopt;
        bool any = false;
        searchJson(doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array()), lease, any,
                   0);
        if (!any) return std::nullopt;
        return lease;
    }
    const auto address = keyValue(text, QStringLiteral("ADDRESS"));
    const auto server = keyValue(text, QStringLiteral("SERVER_ADDRESS"));
    if (!address && !server) return std::nullopt;
    lease.address = serverAddress(address.value_or(QString()));
    lease.server = serverAddress(server.value_or(QString()));
    if (lease.address.isEmpty() && lease.server.isEmpty()) return std::nullopt;
    lease.dnsServers = keyValueServers(text, QStringLiteral("DNS"));
    return lease;
}

std::optional<DhcpLease> dhclientLease(const QByteArray& text, const QString& interfaceName,
                                       bool fileNamesInterface, const QDateTime& now) {
    const QString clean = withoutComments(QString::fromUtf8(text));
    std::optional<DhcpLease> result;
    static const QRegularExpression leaseStart(QStringLiteral("(^|[\\s;}])lease\\s*\\{"));
    qsizetype from = 0;
    for (;;) {
        const QRegularExpressionMatch m = leaseStart.match(clean, from);
        if (!m.hasMatch()) break;
        // Find the end of this block, counting nested braces and skipping quoted text.
        qsizetype pos = m.capturedEnd();
        int depth = 1;
        bool quoted = false;
        for (; pos < clean.size() && depth > 0; ++pos) {
            const QChar c = clean[pos];
            if (c == QLatin1Char('"')) quoted = !quoted;
            if (quoted) continue;
            if (c == QLatin1Char('{')) ++depth;
            if (c == QLatin1Char('}')) --depth;
        }
        if (depth > 0) break;  // cut-off block: a client was writing it
        const QString body = clean.mid(m.capturedEnd(), pos - 1 - m.capturedEnd());
        from = pos;

        DhclientBlock block;
        for (const QString& statement : blockStatements(body)) applyStatement(statement, block);
        const bool ours = block.interfaceName.isEmpty() ? fileNamesInterface
                                                        : block.interfaceName == interfaceName;
        if (!ours) continue;
        if (block.expiry) {
            if (!block.expiry->isValid() || *block.expiry <= now) continue;
        }
        result = block.lease;
    }
    return result;
}

std::optional<DhcpLease> dhcpcdLease(const QByteArray& message, const QDateTime& written,
                                     const QDateTime& now) {
    constexpr int optionsStart = 240;
    if (message.size() < optionsStart) return std::nullopt;
    const auto* m = reinterpret_cast<const unsigned char*>(message.constData());
    if (m[236] != 99 || m[237] != 130 || m[238] != 83 || m[239] != 99) return std::nullopt;
    DhcpLease lease;
    lease.address = addressFromBytes(m + 16, 4);
    if (lease.address == QLatin1String("0.0.0.0")) lease.address.clear();
    std::optional<std::uint32_t> leaseTime;
    auto addresses = [](const unsigned char* p, int len) {
        QStringList out;
        for (int i = 0; i + 4 <= len; i += 4) out << addressFromBytes(p + i, 4);
        return out;
    };
    for (qsizetype i = optionsStart; i < message.size();) {
        const unsigned char code = m[i];
        if (code == 0) {
            ++i;
            continue;
        }
        if (code == 255 || i + 1 >= message.size()) break;
        const int len = m[i + 1];
        if (i + 2 + len > message.size()) break;  // truncated option: ignore the rest
        const unsigned char* data = m + i + 2;
        switch (code) {
            case 54:
                if (len >= 4) lease.server = addressFromBytes(data, 4);
                break;
            case 6:
                lease.dnsServers = addresses(data, len);
                break;
            case 44:
                lease.winsServers = addresses(data, len);
                break;
            case 51:
                if (len == 4)
                    leaseTime = (std::uint32_t(data[0]) << 24) | (std::uint32_t(data[1]) << 16) |
                                (std::uint32_t(data[2]) << 8) | std::uint32_t(data[3]);
                break;
            default:
                break;
        }
        i += 2 + len;
    }
    if (leaseTime && *leaseTime != 0xffffffffu && written.isValid() &&
        written.addSecs(*leaseTime) <= now)
        return std::nullopt;
    return lease;
}

bool ifupdownUsesDhcp(const QByteArray& text, const QString& interfaceName) {
    for (const QByteArray& raw : lines(text)) {
        const QList<QByteArray> w = raw.simplified().split(' ');
        if (w.size() >= 4 && w[0] == "iface" && QString::fromUtf8(w[1]) == interfaceName &&
            w[2] == "inet" && w[3] == "dhcp")
            return true;
    }
    return false;
}

QStringList sambaWinsServers(const QByteArray& text) {
    bool global = true;  // parameters before any section belong to [global]
    QStringList out;
    for (const QByteArray& raw : lines(text)) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            global = line.compare(QLatin1String("[global]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!global) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        QString name = line.left(eq).toLower();
        name.remove(QLatin1Char(' '));
        name.remove(QLatin1Char('\t'));
        if (name != QLatin1String("winsserver")) continue;
        out.clear();  // a later setting replaces an earlier one
        for (QString entry : line.mid(eq + 1).split(QRegularExpression(QStringLiteral("[\\s,]+")),
                                                    Qt::SkipEmptyParts)) {
            // "tag:address" entries name a group of servers.
            const int colon = entry.lastIndexOf(QLatin1Char(':'));
            if (colon >= 0) entry = entry.mid(colon + 1);
            if (isIpv4(entry)) out << canonicalAddress(entry);
        }
    }
    return out;
}

std::vector<RouteLine> procNetRoute(const QByteArray& text) {
    std::vector<RouteLine> out;
    const QList<QByteArray> all = lines(text);
    for (qsizetype i = 1; i < all.size(); ++i) {
        const QList<QByteArray> f = all[i].simplified().split(' ');
        if (f.size() < 8) continue;
        bool okDest = false, okGw = false, okFlags = false, okMetric = false, okMask = false;
        const std::uint32_t dest = f[1].toUInt(&okDest, 16);
        const std::uint32_t gw = f[2].toUInt(&okGw, 16);
        const std::uint32_t flags = f[3].toUInt(&okFlags, 16);
        const std::uint32_t metric = f[6].toUInt(&okMetric, 10);
        const std::uint32_t mask = f[7].toUInt(&okMask, 16);
        if (!okDest || !okGw || !okFlags || !okMetric || !okMask) continue;
        // RTF_UP | RTF_GATEWAY, destination 0/0
        if (dest != 0 || mask != 0 || gw == 0 || (flags & 0x3) != 0x3) continue;
        // The kernel prints the address word in host byte order.
        unsigned char bytes[4];
        std::memcpy(bytes, &gw, 4);
        out.push_back({QString::fromUtf8(f[0]), AF_INET, addressFromBytes(bytes, 4), metric});
    }
    return out;
}

std::vector<RouteLine> procNetIpv6Route(const QByteArray& text) {
    std::vector<RouteLine> out;
    for (const QByteArray& raw : lines(text)) {
        const QList<QByteArray> f = raw.simplified().split(' ');
        if (f.size() < 10 || f[0].size() != 32 || f[4].size() != 32) continue;
        bool okLen = false, okFlags = false, okMetric = false;
        const unsigned dstLen = f[1].toUInt(&okLen, 16);
        const std::uint32_t metric = f[5].toUInt(&okMetric, 16);
        const std::uint32_t flags = f[8].toUInt(&okFlags, 16);
        if (!okLen || !okFlags || !okMetric || dstLen != 0 || (flags & 0x3) != 0x3) continue;
        if (f[0] != QByteArray(32, '0') || f[4] == QByteArray(32, '0') || f[9] == "lo") continue;
        const QByteArray hop = QByteArray::fromHex(f[4]);
        if (hop.size() != 16) continue;
        out.push_back(
            {QString::fromUtf8(f[9]), AF_INET6,
             addressFromBytes(reinterpret_cast<const unsigned char*>(hop.constData()), 16),
             metric});
    }
    return out;
}

}  // namespace torvix::live::netfiles
