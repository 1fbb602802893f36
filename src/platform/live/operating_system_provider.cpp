#include <unistd.h>

#include <QDateTime>
#include <QTimeZone>

#include "platform/live/hardware_providers.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/root_files.h"
#include "platform/wmi/error.h"

namespace torvix::live {

QString computerName(const QString& root) {
    QString host =
        readRootLine(root, QStringLiteral("/proc/sys/kernel/hostname")).value_or(QString());
    if (host.isEmpty() && underRoot(root, QStringLiteral("/")) == u"/") {
        char buf[256] = {};
        if (::gethostname(buf, sizeof buf - 1) == 0) host = QString::fromUtf8(buf);
    }
    const qsizetype dot = host.indexOf(u'.');
    if (dot >= 0) host.truncate(dot);
    return host.toUpper();
}

namespace {

// "yyyyMMddHHmmss.ffffff+UUU": local time with the offset from UTC in minutes.
QString managementDateTime(const QDateTime& local) {
    const int offsetMinutes = local.offsetFromUtc() / 60;
    return local.toString(QStringLiteral("yyyyMMddHHmmss")) +
           QStringLiteral(".%1").arg(local.time().msec() * 1000, 6, 10, QLatin1Char('0')) +
           (offsetMinutes < 0 ? u'-' : u'+') +
           QStringLiteral("%1").arg(std::abs(offsetMinutes), 3, 10, QLatin1Char('0'));
}

// PRETTY_NAME of os-release, which the system keeps in /etc or, failing that, in /usr/lib.
QString osCaption(const QString& root) {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        const std::optional<QByteArray> text =
            readRootFile(root, QString::fromLatin1(path), 64 * 1024);
        if (!text) continue;
        const QHash<QString, QString> values = parseShellAssignments(*text);
        const QString pretty = values.value(QStringLiteral("PRETTY_NAME")).trimmed();
        if (!pretty.isEmpty()) return pretty;
        const QString name = values.value(QStringLiteral("NAME")).trimmed();
        const QString version = values.value(QStringLiteral("VERSION")).trimmed();
        if (!name.isEmpty()) return version.isEmpty() ? name : name + u' ' + version;
        return QStringLiteral("Linux");
    }
    return QStringLiteral("Linux");  // the default os-release itself names
}

std::optional<QDateTime> bootTime(const QString& root) {
    const std::optional<QByteArray> stat = readRootFile(root, QStringLiteral("/proc/stat"));
    if (!stat) return std::nullopt;
    for (const QByteArray& line : stat->split('\n')) {
        if (!line.startsWith("btime ")) continue;
        bool ok = false;
        const qint64 secs = line.mid(6).trimmed().toLongLong(&ok);
        if (ok && secs > 0) return QDateTime::fromSecsSinceEpoch(secs);
    }
    return std::nullopt;
}

}  // namespace

QStringList OperatingSystemProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> OperatingSystemProvider::enumerate(
    const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>([root = root_] {
        const QHash<QString, qint64> mem = readMeminfo(root);
        const auto kb = [&](const char* key) -> wmi::Value {
            const auto it = mem.constFind(QString::fromLatin1(key));
            if (it == mem.constEnd()) return wmi::Value();
            return wmi::Value(static_cast<std::int64_t>(*it));
        };
        // Available memory (free + reclaimable cache). Kernels before 3.14 lack MemAvailable;
        // there free + buffers + cache is the figure tools used.
        wmi::Value available = kb("MemAvailable");
        if (available.isNull() && mem.contains(QStringLiteral("MemFree"))) {
            available = wmi::Value(static_cast<std::int64_t>(mem.value(QStringLiteral("MemFree")) +
                                                             mem.value(QStringLiteral("Buffers")) +
                                                             mem.value(QStringLiteral("Cached"))));
        }
        const std::optional<QDateTime> boot = bootTime(root);
        const std::optional<QString> release =
            readRootLine(root, QStringLiteral("/proc/sys/kernel/osrelease"));

        QHash<QString, wmi::Value> v;
        v[QStringLiteral("Caption")] = wmi::Value(osCaption(root));
        v[QStringLiteral("CSName")] = wmi::Value(computerName(root));
        v[QStringLiteral("FreePhysicalMemory")] = available;
        v[QStringLiteral("LastBootUpTime")] =
            boot ? wmi::Value(managementDateTime(*boot)) : wmi::Value();
        v[QStringLiteral("ServicePackMajorVersion")] = wmi::Value(0);
        v[QStringLiteral("ServicePackMinorVersion")] = wmi::Value(0);
        v[QStringLiteral("TotalVisibleMemorySize")] = kb("MemTotal");
        v[QStringLiteral("Version")] =
            release && !release->isEmpty() ? wmi::Value(*release) : wmi::Value();
        std::vector<wmi::Instance> out;
        out.push_back(makeSchemaInstance(QStringLiteral("Win32_OperatingSystem"), std::move(v)));
        return out;
    });
}

}  // namespace torvix::live
