#include <pwd.h>
#include <unistd.h>

#include <QHash>
#include <QRegularExpression>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/failure.h"
#include "platform/lazy_library.h"
#include "platform/live/console_user.h"
#include "platform/live/hardware_providers.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/root_files.h"
#include "platform/wmi/error.h"

#ifdef TORVIX_HAVE_SYSTEMD
#include <systemd/sd-login.h>
#endif

namespace torvix::live {

namespace {

using Ini = QHash<QString, QHash<QString, QString>>;  // section → key → value (names lower case)

// smb.conf and sssd.conf: "[section]", "key = value", comments with # or ;. Key names are
// compared the way Samba does: case and inner blanks do not matter.
Ini parseIni(const QByteArray& text) {
    Ini ini;
    QString section;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) continue;
        if (line.startsWith(u'[')) {
            const qsizetype end = line.indexOf(u']');
            section = (end > 0 ? line.mid(1, end - 1) : line.mid(1)).trimmed().toLower();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        QString key = line.left(eq).toLower();
        key.remove(u' ');
        key.remove(u'\t');
        ini[section].insert(key, line.mid(eq + 1).trimmed());
    }
    return ini;
}

}  // namespace

DomainMembership readDomainMembership(const QString& root) {
    DomainMembership m;
    const std::optional<QByteArray> smbText =
        readRootFile(root, QStringLiteral("/etc/samba/smb.conf"), 1024 * 1024);
    const Ini smb = smbText ? parseIni(*smbText) : Ini();
    const QHash<QString, QString> global = smb.value(QStringLiteral("global"));
    const QString workgroup = global.value(QStringLiteral("workgroup")).trimmed();

    // sssd (realmd's usual choice): the first domain of [sssd] that is an AD or IPA join.
    const std::optional<QByteArray> sssdText =
        readRootFile(root, QStringLiteral("/etc/sssd/sssd.conf"), 1024 * 1024);
    if (sssdText) {
        const Ini sssd = parseIni(*sssdText);
        const QStringList domains = sssd.value(QStringLiteral("sssd"))
                                        .value(QStringLiteral("domains"))
                                        .split(u',', Qt::SkipEmptyParts);
        for (const QString& raw : domains) {
            const QString name = raw.trimmed();
            const QHash<QString, QString> section =
                sssd.value(QStringLiteral("domain/") + name.toLower());
            const QString provider =
                section.value(QStringLiteral("id_provider")).trimmed().toLower();
            QString dns = section.value(QStringLiteral("ad_domain")).trimmed();
            if (dns.isEmpty() && provider == u"ipa")
                dns = section.value(QStringLiteral("ipa_domain")).trimmed();
            if (dns.isEmpty() && (provider == u"ad" || provider == u"ipa")) dns = name;
            if (dns.isEmpty()) continue;
            m.dnsDomain = dns.toLower();
            break;
        }
    } else if (rootPathExists(root, QStringLiteral("/etc/sssd/sssd.conf"))) {
        // Only root may read sssd.conf; a running sssd with a Kerberos realm leaves its KDC
        // list readable for everyone.
        for (const QString& entry : listRootDir(root, QStringLiteral("/var/lib/sss/pubconf"))) {
            if (entry.startsWith(u"kdcinfo.") && entry.size() > 8) {
                m.dnsDomain = entry.mid(8).toLower();
                break;
            }
        }
    }
    // winbind: "security = ads" with the realm.
    if (m.dnsDomain.isEmpty() &&
        global.value(QStringLiteral("security")).trimmed().compare(u"ads", Qt::CaseInsensitive) ==
            0) {
        m.dnsDomain = global.value(QStringLiteral("realm")).trimmed().toLower();
    }

    if (!m.dnsDomain.isEmpty()) {
        const bool ads = global.value(QStringLiteral("security"))
                             .trimmed()
                             .compare(u"ads", Qt::CaseInsensitive) == 0;
        m.netbiosDomain = (ads && !workgroup.isEmpty()) ? workgroup.toUpper()
                                                        : m.dnsDomain.section(u'.', 0, 0).toUpper();
        m.workgroup.clear();
    } else {
        m.workgroup = workgroup.isEmpty() ? QStringLiteral("WORKGROUP") : workgroup;
    }
    return m;
}

namespace {

bool isLocalAccount(const QString& root, const QString& user) {
    const std::optional<QByteArray> passwd = readRootFile(root, QStringLiteral("/etc/passwd"));
    if (!passwd) return true;  // cannot tell: treat it as this computer's
    const QByteArray prefix = user.toUtf8() + ':';
    for (const QByteArray& line : passwd->split('\n')) {
        if (line.startsWith(prefix)) return true;
    }
    return false;
}

}  // namespace

QString windowsUserName(const QString& root, const QString& user, const DomainMembership& domain) {
    if (user.contains(u'\\')) return user;  // winbind already writes DOMAIN\user
    const qsizetype at = user.indexOf(u'@');
    if (at > 0) {
        // sssd's fully qualified "user@realm".
        const QString realm = user.mid(at + 1).toLower();
        const QString netbios = (realm == domain.dnsDomain && !domain.netbiosDomain.isEmpty())
                                    ? domain.netbiosDomain
                                    : realm.section(u'.', 0, 0).toUpper();
        return netbios + u'\\' + user.left(at);
    }
    if (!domain.dnsDomain.isEmpty() && !isLocalAccount(root, user))
        return domain.netbiosDomain + u'\\' + user;
    return computerName(root) + u'\\' + user;
}

namespace {

// glibc's struct utmp on 64-bit and 32-bit x86 alike (384 bytes).
constexpr int kUtmpSize = 384;
constexpr int kUserProcess = 7;

QString fixedText(const char* p, int size) {
    return QString::fromUtf8(p, static_cast<qsizetype>(strnlen(p, size)));
}

bool isLocalLine(const QString& line, const QString& host) {
    static const QRegularExpression tty(
        QStringLiteral("^(tty[0-9]+|:[0-9]+(\\.[0-9]+)?|seat[0-9]+|console)$"));
    if (tty.match(line).hasMatch()) return host.isEmpty() || host.startsWith(u':');
    // A terminal inside the local display.
    return line.startsWith(u"pts/") && host.startsWith(u':');
}

}  // namespace

std::optional<QString> consoleUserFromUtmp(const QString& root) {
    const std::optional<QByteArray> data = readRootFile(root, QStringLiteral("/run/utmp"));
    if (!data) return std::nullopt;
    const QString activeVt =
        readRootLine(root, QStringLiteral("/sys/class/tty/tty0/active")).value_or(QString());
    std::optional<QString> best;
    qint64 bestTime = -1;
    for (qsizetype off = 0; off + kUtmpSize <= data->size(); off += kUtmpSize) {
        const char* r = data->constData() + off;
        std::int16_t type = 0;
        std::memcpy(&type, r, sizeof type);
        if (type != kUserProcess) continue;
        const QString line = fixedText(r + 8, 32);
        const QString user = fixedText(r + 44, 32);
        const QString host = fixedText(r + 76, 256);
        std::int32_t seconds = 0;
        std::memcpy(&seconds, r + 340, sizeof seconds);
        if (user.isEmpty() || !isLocalLine(line, host)) continue;
        if (!activeVt.isEmpty() && line == activeVt) return user;  // the VT on screen wins
        if (seconds >= bestTime) {
            bestTime = seconds;
            best = user;
        }
    }
    return best;
}

namespace {

#ifdef TORVIX_HAVE_SYSTEMD
// The user of seat0's active session, from logind. nullopt: logind cannot tell (not running,
// no seat); an empty text: the seat is shown but nobody is logged on (login screen).
std::optional<QString> consoleUserFromLogindNow() {
    char* session = nullptr;
    uid_t uid = 0;
    const int r = TORVIX_LAZY(Systemd, sd_seat_get_active)("seat0", &session, &uid);
    if (r == -ENODATA) return QString();  // the seat is there, nobody is on it
    if (r < 0) return std::nullopt;
    char* klass = nullptr;
    const bool userSession = TORVIX_LAZY(Systemd, sd_session_get_class)(session, &klass) >= 0 &&
                             klass && std::strcmp(klass, "user") == 0;
    std::free(klass);
    std::free(session);
    if (!userSession) return QString();
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(uid, &pw, buf, sizeof buf, &found) != 0 || !found) return QString();
    return QString::fromUtf8(found->pw_name);
}

std::optional<QString> consoleUserFromLogind() {
    if (::access("/run/systemd/seats/", F_OK) != 0) return std::nullopt;
    try {
        return consoleUserFromLogindNow();
    } catch (const Failure&) {  // libsystemd cannot be loaded: utmp answers instead
        return std::nullopt;
    }
}
#endif

}  // namespace

std::optional<QString> consoleUser(const QString& root) {
#ifdef TORVIX_HAVE_SYSTEMD
    if (underRoot(root, QStringLiteral("/")) == u"/") {
        if (std::optional<QString> user = consoleUserFromLogind()) {
            if (user->isEmpty()) return std::nullopt;
            return user;
        }
    }
#endif
    return consoleUserFromUtmp(root);
}

QStringList ComputerSystemProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> ComputerSystemProvider::enumerate(
    const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>([root = root_] {
        const QHash<QString, qint64> mem = readMeminfo(root);
        const auto total = mem.constFind(QStringLiteral("MemTotal"));

        const DomainMembership domain = readDomainMembership(root);
        const std::optional<QString> user = consoleUser(root);
        const ProductIdentity product = readProductIdentity(root);
        const QString name = computerName(root);
        const auto text = [](const std::optional<QString>& v) {
            return v ? wmi::Value(*v) : wmi::Value();
        };
        const bool joined = !domain.dnsDomain.isEmpty();

        QHash<QString, wmi::Value> v;
        v[QStringLiteral("Caption")] = wmi::Value(name);
        v[QStringLiteral("DNSHostName")] = wmi::Value(name.toLower());
        v[QStringLiteral("Domain")] = wmi::Value(joined ? domain.dnsDomain : domain.workgroup);
        v[QStringLiteral("Manufacturer")] = text(product.vendor);
        v[QStringLiteral("Model")] = text(product.name);
        v[QStringLiteral("Name")] = wmi::Value(name);
        v[QStringLiteral("PartOfDomain")] = wmi::Value(joined);
        v[QStringLiteral("TotalPhysicalMemory")] =
            total == mem.constEnd() ? wmi::Value()
                                    : wmi::Value(static_cast<std::int64_t>(*total) * 1024);
        v[QStringLiteral("UserName")] =
            user ? wmi::Value(windowsUserName(root, *user, domain)) : wmi::Value();
        v[QStringLiteral("Workgroup")] = joined ? wmi::Value() : wmi::Value(domain.workgroup);
        std::vector<wmi::Instance> out;
        out.push_back(makeSchemaInstance(QStringLiteral("Win32_ComputerSystem"), std::move(v)));
        return out;
    });
}

}  // namespace torvix::live
