#include <sys/utsname.h>

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <map>

#include "platform/live/hardware_providers.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/root_files.h"
#include "platform/wmi/error.h"

namespace torvix::live {

QString machineType(const std::optional<QString>& override) {
    if (override) return *override;
    utsname u{};
    if (::uname(&u) != 0) return QString();
    return QString::fromLatin1(u.machine);
}

int addressWidthOf(const QString& machine) {
    // x86_64, aarch64(_be), ppc64(le), riscv64, mips64, sparc64, loongarch64, s390x, alpha; the
    // rest (i686, armv7l, armv8l: a 32-bit system on a 64-bit processor) is 32-bit.
    if (machine.contains(u"64") || machine == u"s390x" || machine == u"alpha") return 64;
    return 32;
}

namespace {

using Block = QHash<QString, QString>;

std::vector<Block> parseCpuinfo(const QByteArray& text) {
    std::vector<Block> blocks;
    Block current;
    Block all;
    const auto flush = [&] {
        if (current.contains(QStringLiteral("processor"))) blocks.push_back(current);
        current.clear();
    };
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.trimmed().isEmpty()) {
            flush();
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0) continue;
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        current.insert(key, value);
        if (!all.contains(key)) all.insert(key, value);
    }
    flush();
    // Formats without per-processor blocks (s390x and older ARM kernels): one processor made of
    // what the file says.
    if (blocks.empty() && !all.isEmpty()) blocks.push_back(all);
    return blocks;
}

std::optional<qint64> positiveNumber(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    bool ok = false;
    const qint64 v = text->trimmed().toLongLong(&ok);
    if (!ok || v <= 0) return std::nullopt;
    return v;
}

std::optional<qint64> readCpufreq(const QString& root, const QString& cpu, const QString& name) {
    if (auto v = positiveNumber(readRootLine(
            root, QStringLiteral("/sys/devices/system/cpu/cpu%1/cpufreq/%2").arg(cpu, name))))
        return v;
    return positiveNumber(readRootLine(
        root, QStringLiteral("/sys/devices/system/cpu/cpufreq/policy%1/%2").arg(cpu, name)));
}

// No processor runs at a million GHz: a larger figure (a garbled brand string, a kernel's
// nonsense) names no clock, and rounding it would overflow into a negative number.
constexpr double maxPlausibleMhz = 1e9;

std::optional<qint64> roundedMhz(double mhz) {
    if (!(mhz > 0) || mhz > maxPlausibleMhz) return std::nullopt;
    return static_cast<qint64>(std::llround(mhz));
}

// The rated clock in MHz: base frequency, then the firmware's nominal one, then the figure in
// the brand string; the maximum (turbo) and the current clock only when nothing better exists.
std::optional<qint64> maxClockSpeed(const QString& root, const Block& cpu) {
    const QString n = cpu.value(QStringLiteral("processor"));
    if (auto khz = readCpufreq(root, n, QStringLiteral("base_frequency")))
        if (auto mhz = roundedMhz(*khz / 1000.0)) return mhz;
    if (auto mhz = positiveNumber(readRootLine(
            root, QStringLiteral("/sys/devices/system/cpu/cpu%1/acpi_cppc/nominal_freq").arg(n))))
        return *mhz;
    static const QRegularExpression brand(QStringLiteral("@\\s*([0-9]+(?:\\.[0-9]+)?)\\s*([GM])Hz"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = brand.match(cpu.value(QStringLiteral("model name")));
    if (m.hasMatch()) {
        const double figure = m.captured(1).toDouble();
        const double mhz =
            m.captured(2).compare(u"G", Qt::CaseInsensitive) == 0 ? figure * 1000 : figure;
        if (auto rounded = roundedMhz(mhz)) return rounded;
    }
    if (auto khz = readCpufreq(root, n, QStringLiteral("cpuinfo_max_freq")))
        if (auto mhz = roundedMhz(*khz / 1000.0)) return mhz;
    bool ok = false;
    const double mhz = cpu.value(QStringLiteral("cpu MHz")).toDouble(&ok);
    if (ok) return roundedMhz(mhz);
    return std::nullopt;
}

std::optional<int> hexOrDecimal(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 0);  // "0x41" and "3" alike
    if (!ok) return std::nullopt;
    return v;
}

QString armImplementerName(int id) {
    switch (id) {
        case 0x41:
            return QStringLiteral("ARM");
        case 0x42:
            return QStringLiteral("Broadcom");
        case 0x43:
            return QStringLiteral("Cavium");
        case 0x46:
            return QStringLiteral("Fujitsu");
        case 0x48:
            return QStringLiteral("HiSilicon");
        case 0x4e:
            return QStringLiteral("NVIDIA");
        case 0x50:
            return QStringLiteral("Applied Micro");
        case 0x51:
            return QStringLiteral("Qualcomm");
        case 0x53:
            return QStringLiteral("Samsung");
        case 0x56:
            return QStringLiteral("Marvell");
        case 0x61:
            return QStringLiteral("Apple");
        case 0x69:
            return QStringLiteral("Intel");
        case 0xc0:
            return QStringLiteral("Ampere");
        default:
            return QString();
    }
}

QString armCoreName(int implementer, int part) {
    if (implementer != 0x41) return QString();
    static const std::map<int, const char*> parts = {
        {0xb76, "ARM1176"},     {0xc07, "Cortex-A7"},   {0xc08, "Cortex-A8"},
        {0xc09, "Cortex-A9"},   {0xc0f, "Cortex-A15"},  {0xd03, "Cortex-A53"},
        {0xd04, "Cortex-A35"},  {0xd05, "Cortex-A55"},  {0xd07, "Cortex-A57"},
        {0xd08, "Cortex-A72"},  {0xd09, "Cortex-A73"},  {0xd0a, "Cortex-A75"},
        {0xd0b, "Cortex-A76"},  {0xd0c, "Neoverse-N1"}, {0xd0d, "Cortex-A77"},
        {0xd40, "Neoverse-V1"}, {0xd41, "Cortex-A78"},  {0xd44, "Cortex-X1"},
        {0xd46, "Cortex-A510"}, {0xd47, "Cortex-A710"}, {0xd48, "Cortex-X2"},
        {0xd49, "Neoverse-N2"}, {0xd4b, "Cortex-A78C"}, {0xd4f, "Neoverse-V2"},
        {0xd80, "Cortex-A520"}, {0xd81, "Cortex-A720"}, {0xd82, "Cortex-X4"},
    };
    const auto it = parts.find(part);
    return it == parts.end() ? QString() : QString::fromLatin1(it->second);
}

struct Identity {
    QString description;
    QString name;
    std::optional<QString> manufacturer;
};

Identity identify(const Block& cpu, int addressWidth, const QString& machine) {
    Identity id;
    const QString vendor = cpu.value(QStringLiteral("vendor_id"));
    const QString brand = cpu.value(QStringLiteral("model name")).simplified();
    if (!vendor.isEmpty() && cpu.contains(QStringLiteral("cpu family"))) {
        const bool amd = vendor == u"AuthenticAMD" || vendor == u"HygonGenuine";
        const QString arch = addressWidth == 32 ? QStringLiteral("x86")
                             : amd              ? QStringLiteral("AMD64")
                                                : QStringLiteral("Intel64");
        id.description =
            QStringLiteral("%1 Family %2 Model %3 Stepping %4")
                .arg(arch, cpu.value(QStringLiteral("cpu family")),
                     cpu.value(QStringLiteral("model")), cpu.value(QStringLiteral("stepping")));
        id.name = brand.isEmpty() ? id.description : brand;
        id.manufacturer = vendor;
        return id;
    }
    const std::optional<int> implementer =
        hexOrDecimal(cpu.value(QStringLiteral("CPU implementer")));
    if (implementer) {
        // The form Windows on ARM uses: "ARMv8 (64-bit) Family 8 Model D08 Revision 3", with
        // the maker after a comma.
        const QString archText = cpu.value(QStringLiteral("CPU architecture"));
        bool numeric = false;
        int arch = archText.toInt(&numeric);
        if (!numeric) arch = addressWidth == 64 ? 8 : 7;  // old kernels wrote "AArch64"
        const int part = hexOrDecimal(cpu.value(QStringLiteral("CPU part"))).value_or(0);
        const int revision = hexOrDecimal(cpu.value(QStringLiteral("CPU revision"))).value_or(0);
        const QString maker = armImplementerName(*implementer);
        id.description = QStringLiteral("ARMv%1 (%2-bit) Family %1 Model %3 Revision %4, %5")
                             .arg(arch)
                             .arg(addressWidth)
                             .arg(QString::number(part, 16).toUpper())
                             .arg(revision)
                             .arg(maker.isEmpty() ? QStringLiteral("implementer 0x%1")
                                                        .arg(*implementer, 2, 16, QLatin1Char('0'))
                                                  : maker);
        const QString core = armCoreName(*implementer, part);
        if (!brand.isEmpty())
            id.name = brand;
        else if (!core.isEmpty())
            id.name = maker + u' ' + core;
        else
            id.name = id.description;
        if (!maker.isEmpty()) id.manufacturer = maker;
        return id;
    }
    // Other architectures: what the kernel calls the processor.
    for (const char* key : {"model name", "cpu", "uarch", "cpu model", "Processor"}) {
        const QString v = cpu.value(QString::fromLatin1(key)).simplified();
        if (!v.isEmpty()) {
            id.description = v;
            break;
        }
    }
    if (id.description.isEmpty()) id.description = machine;
    id.name = id.description;
    if (!vendor.isEmpty()) id.manufacturer = vendor;
    return id;
}

struct Package {
    std::vector<const Block*> cpus;
};

std::vector<wmi::Instance> readProcessors(const QString& root, const QString& machine) {
    const std::optional<QByteArray> text = readRootFile(root, QStringLiteral("/proc/cpuinfo"));
    if (!text)
        throw wmi::Error(wmi::Error::Code::ProviderFailure,
                         QStringLiteral("cannot read /proc/cpuinfo"));
    const std::vector<Block> blocks = parseCpuinfo(*text);
    if (blocks.empty())
        throw wmi::Error(wmi::Error::Code::ProviderFailure,
                         QStringLiteral("/proc/cpuinfo names no processor"));

    // Packages in the order of their physical id (one package where the kernel names none).
    std::map<qint64, Package> packages;
    for (const Block& b : blocks) {
        bool ok = false;
        qint64 physical = b.value(QStringLiteral("physical id")).toLongLong(&ok);
        if (!ok) physical = 0;
        packages[physical].cpus.push_back(&b);
    }

    const int width = addressWidthOf(machine);
    std::vector<wmi::Instance> instances;
    int index = 0;
    for (const auto& [physical, package] : packages) {
        const Block& first = *package.cpus.front();
        const Identity id = identify(first, width, machine);
        const std::optional<qint64> clock = maxClockSpeed(root, first);

        QSet<QString> coreIds;
        for (const Block* b : package.cpus) {
            if (b->contains(QStringLiteral("core id")))
                coreIds.insert(b->value(QStringLiteral("core id")));
        }
        const qint64 logical = static_cast<qint64>(package.cpus.size());
        qint64 cores = coreIds.isEmpty() ? logical : coreIds.size();
        if (auto declared = positiveNumber(first.value(QStringLiteral("cpu cores"))))
            cores = *declared;

        QHash<QString, wmi::Value> v;
        v[QStringLiteral("AddressWidth")] = wmi::Value(width);
        v[QStringLiteral("Caption")] = wmi::Value(id.description);
        v[QStringLiteral("Description")] = wmi::Value(id.description);
        v[QStringLiteral("DeviceID")] = wmi::Value(QStringLiteral("CPU%1").arg(index));
        v[QStringLiteral("Manufacturer")] =
            id.manufacturer ? wmi::Value(*id.manufacturer) : wmi::Value();
        v[QStringLiteral("MaxClockSpeed")] =
            clock ? wmi::Value(static_cast<std::int64_t>(*clock)) : wmi::Value();
        v[QStringLiteral("Name")] = wmi::Value(id.name);
        v[QStringLiteral("NumberOfCores")] = wmi::Value(static_cast<std::int64_t>(cores));
        bool mhzOk = false;
        const double currentMhz = first.value(QStringLiteral("cpu MHz")).toDouble(&mhzOk);
        if (const std::optional<qint64> current = mhzOk ? roundedMhz(currentMhz) : std::nullopt)
            v[QStringLiteral("CurrentClockSpeed")] =
                wmi::Value(static_cast<std::int64_t>(*current));
        v[QStringLiteral("SystemName")] = wmi::Value(computerName(root));
        v[QStringLiteral("NumberOfLogicalProcessors")] =
            wmi::Value(static_cast<std::int64_t>(logical));
        instances.push_back(makeSchemaInstance(QStringLiteral("Win32_Processor"), std::move(v)));
        ++index;
    }
    return instances;
}

}  // namespace

QStringList ProcessorProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> ProcessorProvider::enumerate(const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>(
        [root = root_, machine = machine_] { return readProcessors(root, machineType(machine)); });
}

}  // namespace torvix::live
