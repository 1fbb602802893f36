#include "platform/live/history_providers.h"

#include <QDateTime>
#include <QRegularExpression>
#include <memory>
#include <set>

#include "platform/live/console_user.h"
#include "platform/live/hardware_providers.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/login_history.h"
#include "platform/live/network_providers.h"
#include "platform/live/root_files.h"
#include "platform/wmi/schema.h"

namespace torvix::live {
namespace {

const QString kProfileClass = QStringLiteral("Win32_NetworkLoginProfile");
const QString kEventClass = QStringLiteral("Win32_NTLogEvent");

// The system's zone, resolved once: converting through the C library's local time looks at
// /etc/localtime again for every value.
std::optional<QTimeZone> resolvedZone(const std::optional<QTimeZone>& zone) {
    if (zone) return zone;
    QTimeZone system = QTimeZone::systemTimeZone();
    return system.isValid() ? std::optional<QTimeZone>(system) : std::nullopt;
}

QString managementTime(qint64 microseconds, const std::optional<QTimeZone>& zone) {
    const qint64 ms = microseconds / 1000;
    const QDateTime t =
        zone ? QDateTime::fromMSecsSinceEpoch(ms, *zone) : QDateTime::fromMSecsSinceEpoch(ms);
    return toManagementDateTime(t, static_cast<int>(microseconds % 1000000));
}

struct Account {
    QString name;
    qint64 uid = -1;
    QString fullName;
    QString home;
};

std::vector<Account> readAccounts(const QString& root) {
    std::vector<Account> out;
    const std::optional<QByteArray> text = readRootFile(root, QStringLiteral("/etc/passwd"));
    if (!text) return out;
    for (const QByteArray& raw : text->split('\n')) {
        const QList<QByteArray> f = raw.split(':');
        if (f.size() < 7 || f[0].isEmpty()) continue;
        bool ok = false;
        Account a;
        a.name = QString::fromUtf8(f[0]);
        a.uid = f[2].toLongLong(&ok);
        if (!ok) a.uid = -1;
        a.fullName = QString::fromUtf8(f[4]).section(u',', 0, 0);
        a.home = QString::fromUtf8(f[5]);
        out.push_back(std::move(a));
    }
    return out;
}

// The uids of people's accounts (login.defs UID_MIN..UID_MAX, 1000..60000 by default).
std::pair<qint64, qint64> personUidRange(const QString& root) {
    qint64 low = 1000;
    qint64 high = 60000;
    const std::optional<QByteArray> text =
        readRootFile(root, QStringLiteral("/etc/login.defs"), 1024 * 1024);
    if (!text) return {low, high};
    static const QRegularExpression entry(
        QStringLiteral("^\\s*(UID_MIN|UID_MAX)\\s+([0-9]+)\\s*$"));
    for (const QByteArray& line : text->split('\n')) {
        const QRegularExpressionMatch m = entry.match(QString::fromUtf8(line));
        if (!m.hasMatch()) continue;
        bool ok = false;
        const qint64 v = m.captured(2).toLongLong(&ok);
        if (!ok) continue;
        (m.captured(1) == u"UID_MIN" ? low : high) = v;
    }
    return {low, high};
}

std::vector<wmi::Instance> loginProfiles(HistorySources s) {
    s.timeZone = resolvedZone(s.timeZone);
    const std::vector<LoginTally> tallies = tallyLogins(s.root);
    const std::vector<Account> accounts = readAccounts(s.root);
    const auto [uidLow, uidHigh] = personUidRange(s.root);
    const DomainMembership domain = readDomainMembership(s.root);

    auto make = [&](const QString& user, const Account* account, const LoginTally* tally) {
        QHash<QString, wmi::Value> v;
        v.insert(QStringLiteral("Name"), windowsUserName(s.root, user, domain));
        v.insert(QStringLiteral("Caption"), user);
        v.insert(QStringLiteral("UserType"), QStringLiteral("Normal Account"));
        if (account && !account->fullName.isEmpty())
            v.insert(QStringLiteral("FullName"), account->fullName);
        if (account && !account->home.isEmpty())
            v.insert(QStringLiteral("HomeDirectory"), account->home);
        if (tally) {
            v.insert(QStringLiteral("NumberOfLogons"), tally->count);
            if (tally->lastMicroseconds > 0)  // a row without its time tells no date
                v.insert(QStringLiteral("LastLogon"),
                         managementTime(tally->lastMicroseconds, s.timeZone));
        }
        return makeSchemaInstance(kProfileClass, std::move(v));
    };

    std::vector<wmi::Instance> out;
    std::set<QString> listed;
    for (const Account& a : accounts) {
        const auto t = std::find_if(tallies.begin(), tallies.end(),
                                    [&](const LoginTally& x) { return x.user == a.name; });
        const bool person = a.uid >= uidLow && a.uid <= uidHigh;
        if ((t == tallies.end() && !person) || !listed.insert(a.name).second) continue;
        out.push_back(make(a.name, &a, t == tallies.end() ? nullptr : &*t));
    }
    // Directory accounts and removed ones, in the order of their first login.
    for (const LoginTally& t : tallies) {
        if (listed.insert(t.user).second) out.push_back(make(t.user, nullptr, &t));
    }
    return out;
}

class LoginProfileProvider : public wmi::ClassProvider {
  public:
    explicit LoginProfileProvider(HistorySources s) : s_(std::move(s)) {}
    QString className() const override { return kProfileClass; }
    QStringList propertyNames() const override { return wmi::schemaProperties(kProfileClass); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query&) const override {
        return std::make_unique<LazyListCursor>([s = s_] { return loginProfiles(s); });
    }

  private:
    HistorySources s_;
};

// The properties every start or every shutdown shares; each event adds its times and number.
wmi::Instance eventPrototype(int code, const QString& computer) {
    QHash<QString, wmi::Value> v;
    v.insert(QStringLiteral("Category"), 0);
    v.insert(QStringLiteral("ComputerName"), computer);
    v.insert(QStringLiteral("EventCode"), code);
    // The event's full identifier as the event log keeps it (severity bits over the code).
    v.insert(QStringLiteral("EventIdentifier"), qint64(0x80000000LL | code));
    v.insert(QStringLiteral("EventType"), 3);
    v.insert(QStringLiteral("Logfile"), QStringLiteral("System"));
    v.insert(QStringLiteral("Message"),
             code == 6005 ? QStringLiteral("イベント ログ サービスが開始されました。")
                          : QStringLiteral("イベント ログ サービスは停止されました。"));
    v.insert(QStringLiteral("SourceName"), QStringLiteral("EventLog"));
    v.insert(QStringLiteral("Type"), QStringLiteral("Information"));
    return makeSchemaInstance(kEventClass, std::move(v));
}

// Builds the walk's instances from two prototypes, so that an event costs one copy.
class EventBuilder {
  public:
    explicit EventBuilder(HistorySources s) : s_(std::move(s)) {
        s_.timeZone = resolvedZone(s_.timeZone);
    }
    wmi::Instance make(const SystemEvent& e) {
        if (!start_) {
            const QString computer = computerName(s_.root);
            start_ = eventPrototype(6005, computer);
            stop_ = eventPrototype(6006, computer);
        }
        wmi::Instance out = e.code == 6005 ? *start_ : *stop_;
        const QString time = managementTime(e.microseconds, s_.timeZone);
        out.set(QStringLiteral("RecordNumber"), e.recordNumber);
        out.set(QStringLiteral("TimeGenerated"), time);
        out.set(QStringLiteral("TimeWritten"), time);
        return out;
    }

  private:
    HistorySources s_;
    std::optional<wmi::Instance> start_;
    std::optional<wmi::Instance> stop_;
};

// Only the System log is kept here: a query that names another one has nothing to walk.
bool asksForOtherLog(const wmi::wql::Query& query) {
    const std::optional<wmi::Value> log = wmi::wql::requiredValue(query, u"Logfile");
    if (!log || log->kind() != wmi::Value::Kind::Text) return false;
    return log->toText().compare(u"System", Qt::CaseInsensitive) != 0;
}

class SystemEventProvider : public wmi::ClassProvider {
  public:
    explicit SystemEventProvider(HistorySources s) : s_(std::move(s)) {}
    QString className() const override { return kEventClass; }
    QStringList propertyNames() const override { return wmi::schemaProperties(kEventClass); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override {
        if (asksForOtherLog(query))
            return std::make_unique<wmi::FunctionCursor>([] { return std::nullopt; });
        auto walk = std::make_shared<SystemEventWalk>(s_.root);
        auto builder = std::make_shared<EventBuilder>(s_);
        return std::make_unique<wmi::FunctionCursor>(
            [walk, builder]() -> std::optional<wmi::Instance> {
                const std::optional<SystemEvent> e = walk->next();
                if (!e) return std::nullopt;
                return builder->make(*e);
            });
    }

  private:
    HistorySources s_;
};

}  // namespace

wmi::ProviderPtr makeLoginProfileProvider(const HistorySources& sources) {
    return std::make_shared<LoginProfileProvider>(sources);
}

wmi::ProviderPtr makeSystemEventProvider(const HistorySources& sources) {
    return std::make_shared<SystemEventProvider>(sources);
}

void registerHistoryProviders(wmi::Registry& registry, const HistorySources& sources) {
    registry.add(makeLoginProfileProvider(sources));
    registry.add(makeSystemEventProvider(sources));
}

}  // namespace torvix::live
