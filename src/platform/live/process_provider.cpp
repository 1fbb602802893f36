#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>

#include "platform/live/network_providers.h"
#include "platform/live/root_files.h"
#include "platform/wmi/schema.h"

namespace torvix::live {
namespace {

const QString kProcessClass = QStringLiteral("Win32_Process");

QString formatManagement(const QDateTime& value, int microseconds) {
    const int offset = value.offsetFromUtc() / 60;
    return value.toString(QStringLiteral("yyyyMMddHHmmss")) + QLatin1Char('.') +
           QStringLiteral("%1").arg(microseconds, 6, 10, QLatin1Char('0')) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1").arg(std::abs(offset), 3, 10, QLatin1Char('0'));
}

// The fields of /proc/PID/stat after the command name, which may hold blanks and parentheses
// of its own: it ends at the last ")".
struct Stat {
    QString comm;
    QList<QByteArray> rest;  // rest[0] is field 3 (state)
    std::optional<qint64> field(int number) const {
        const int i = number - 3;
        if (i < 0 || i >= rest.size()) return std::nullopt;
        bool ok = false;
        const qint64 v = rest[i].toLongLong(&ok);
        return ok ? std::optional<qint64>(v) : std::nullopt;
    }
};

std::optional<Stat> parseStat(const QByteArray& text) {
    const qsizetype open = text.indexOf('(');
    const qsizetype close = text.lastIndexOf(')');
    if (open < 0 || close < open) return std::nullopt;
    Stat s;
    s.comm = QString::fromUtf8(text.mid(open + 1, close - open - 1));
    s.rest = text.mid(close + 1).simplified().split(' ');
    return s;
}

class ProcessScan {
  public:
    explicit ProcessScan(NetworkSources s) : s_(std::move(s)) {}

    std::optional<wmi::Instance> next() {
        if (!pids_) list();
        while (position_ < pids_->size()) {
            if (auto instance = build((*pids_)[position_++])) return instance;
        }
        return std::nullopt;
    }

  private:
    void list() {
        pids_.emplace();
        for (const QString& name : listRootDir(s_.root, QStringLiteral("/proc"))) {
            bool ok = false;
            const qint64 pid = name.toLongLong(&ok);
            if (ok && pid >= 0 && name == QString::number(pid)) pids_->push_back(pid);
        }
        std::sort(pids_->begin(), pids_->end());
    }

    std::optional<qint64> bootTime() {
        if (!bootTimeRead_) {
            bootTimeRead_ = true;
            if (auto stat = readRootFile(s_.root, QStringLiteral("/proc/stat"))) {
                for (const QByteArray& line : stat->split('\n')) {
                    if (!line.startsWith("btime ")) continue;
                    bool ok = false;
                    const qint64 v = line.mid(6).trimmed().toLongLong(&ok);
                    if (ok && v >= 0) bootTime_ = v;
                }
            }
        }
        return bootTime_;
    }

    QString computerName() {
        if (!computerName_) {
            QString host = s_.hostName
                               ? s_.hostName()
                               : readRootLine(s_.root, QStringLiteral("/proc/sys/kernel/hostname"))
                                     .value_or(QString());
            if (host.isEmpty() && underRoot(s_.root, QStringLiteral("/")) == u"/") {
                char buf[256] = {};
                if (::gethostname(buf, sizeof buf - 1) == 0) host = QString::fromUtf8(buf);
            }
            computerName_ = host.section(QLatin1Char('.'), 0, 0).toUpper();
        }
        return *computerName_;
    }

    wmi::Value creationDate(const Stat& stat) {
        const auto start = stat.field(22);
        const auto boot = bootTime();
        if (!start || !boot || *start < 0) return {};
        const long ticks = s_.clockTicksPerSecond;
        const qint64 micros = *start % ticks * 1000000 / ticks;
        const qint64 ms = (*boot + *start / ticks) * 1000 + micros / 1000;
        const QDateTime t = s_.timeZone ? QDateTime::fromMSecsSinceEpoch(ms, *s_.timeZone)
                                        : QDateTime::fromMSecsSinceEpoch(ms);
        return wmi::Value(formatManagement(t, static_cast<int>(micros)));
    }

    std::optional<wmi::Instance> build(qint64 pid) {
        const QString dir = QStringLiteral("/proc/%1/").arg(pid);
        const auto statText = readRootFile(s_.root, dir + QStringLiteral("stat"), 64 * 1024);
        if (!statText) return std::nullopt;  // the process has ended since the listing
        const std::optional<Stat> stat = parseStat(*statText);
        std::map<QString, wmi::Value> v;

        const QByteArray cmdline =
            readRootFile(s_.root, dir + QStringLiteral("cmdline"), 1024 * 1024)
                .value_or(QByteArray());
        QString name = stat ? stat->comm : QString();
        // The kernel cuts the name at 15 bytes; the program's own name is longer then.
        if (name.toUtf8().size() == 15 && !cmdline.isEmpty()) {
            const QString argv0 =
                QFileInfo(QString::fromUtf8(cmdline.left(cmdline.indexOf('\0')))).fileName();
            if (argv0.startsWith(name)) name = argv0;
        }
        QByteArray command = cmdline;
        while (command.endsWith('\0')) command.chop(1);
        command.replace('\0', ' ');

        const QByteArray exeName =
            QFile::encodeName(underRoot(s_.root, dir + QStringLiteral("exe")));
        char target[4096];
        const ssize_t n = ::readlink(exeName.constData(), target, sizeof target - 1);

        v[QStringLiteral("Caption")] = name.isEmpty() ? wmi::Value() : wmi::Value(name);
        v[QStringLiteral("Name")] = v[QStringLiteral("Caption")];
        v[QStringLiteral("Description")] = v[QStringLiteral("Caption")];
        v[QStringLiteral("CommandLine")] =
            command.isEmpty() ? wmi::Value() : wmi::Value(QString::fromUtf8(command));
        v[QStringLiteral("ExecutablePath")] =
            n > 0 ? wmi::Value(QFile::decodeName(QByteArray(target, n))) : wmi::Value();
        v[QStringLiteral("ProcessId")] = wmi::Value(static_cast<std::int64_t>(pid));
        v[QStringLiteral("Handle")] = QString::number(pid);
        v[QStringLiteral("CreationClassName")] = kProcessClass;
        v[QStringLiteral("CSCreationClassName")] = QStringLiteral("Win32_ComputerSystem");
        v[QStringLiteral("OSCreationClassName")] = QStringLiteral("Win32_OperatingSystem");
        v[QStringLiteral("CSName")] = computerName();
        if (stat) {
            const long ticks = s_.clockTicksPerSecond;
            auto put = [&](const char* prop, std::optional<qint64> value) {
                if (value)
                    v[QString::fromLatin1(prop)] = wmi::Value(static_cast<std::int64_t>(*value));
            };
            put("ParentProcessId", stat->field(4));
            put("ThreadCount", stat->field(20));
            // Processor times in 100 ns units, as Windows counts them.
            auto hundredNs = [&](std::optional<qint64> t) -> std::optional<qint64> {
                if (!t || *t < 0) return std::nullopt;
                return *t / ticks * 10000000 + *t % ticks * 10000000 / ticks;
            };
            put("UserModeTime", hundredNs(stat->field(14)));
            put("KernelModeTime", hundredNs(stat->field(15)));
            put("VirtualSize", stat->field(23));
            if (const auto rss = stat->field(24); rss && *rss >= 0)
                put("WorkingSetSize", *rss * ::sysconf(_SC_PAGESIZE));
            v[QStringLiteral("CreationDate")] = creationDate(*stat);
        }
        std::vector<wmi::Property> props;
        for (const QString& prop : wmi::schemaProperties(kProcessClass)) {
            auto it = v.find(prop);
            props.push_back({prop, it == v.end() ? wmi::Value() : it->second});
        }
        return wmi::Instance(kProcessClass, std::move(props));
    }

    NetworkSources s_;
    std::optional<std::vector<qint64>> pids_;
    std::size_t position_ = 0;
    bool bootTimeRead_ = false;
    std::optional<qint64> bootTime_;
    std::optional<QString> computerName_;
};

class ProcessProvider : public wmi::ClassProvider {
  public:
    explicit ProcessProvider(NetworkSources s) : s_(std::move(s)) {}
    QString className() const override { return kProcessClass; }
    QStringList propertyNames() const override { return wmi::schemaProperties(kProcessClass); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query&) const override {
        auto scan = std::make_shared<ProcessScan>(s_);
        return std::make_unique<wmi::FunctionCursor>([scan] { return scan->next(); });
    }

  private:
    NetworkSources s_;
};

}  // namespace

QString toManagementDateTime(const QDateTime& value) {
    return formatManagement(value, value.time().msec() * 1000);
}

QString toManagementDateTime(const QDateTime& value, int microseconds) {
    return formatManagement(value, microseconds);
}

wmi::ProviderPtr makeProcessProvider(const NetworkSources& sources) {
    NetworkSources s = sources;
    if (s.clockTicksPerSecond <= 0) s.clockTicksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (s.clockTicksPerSecond <= 0) s.clockTicksPerSecond = 100;
    return std::make_shared<ProcessProvider>(std::move(s));
}

}  // namespace torvix::live
