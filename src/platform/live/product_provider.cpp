#include "platform/live/hardware_providers.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/root_files.h"

namespace torvix::live {

namespace {

// A firmware text with trailing newline and blanks removed; placeholders stay as they are.
std::optional<QString> dmiText(const QString& root, const QString& name) {
    std::optional<QByteArray> raw =
        readRootFile(root, QStringLiteral("/sys/class/dmi/id/") + name, 4096);
    if (!raw) return std::nullopt;
    QString text = QString::fromUtf8(*raw);
    while (!text.isEmpty() && (text.back().isSpace() || text.back() == QChar(0))) text.chop(1);
    return text;
}

// Device-tree properties are NUL-terminated (and NUL-separated for lists).
QStringList deviceTreeStrings(const QString& root, const QString& name) {
    std::optional<QByteArray> raw =
        readRootFile(root, QStringLiteral("/sys/firmware/devicetree/base/") + name, 64 * 1024);
    if (!raw) raw = readRootFile(root, QStringLiteral("/proc/device-tree/") + name, 64 * 1024);
    QStringList out;
    if (!raw) return out;
    for (const QByteArray& part : raw->split('\0')) {
        const QString s = QString::fromUtf8(part).trimmed();
        if (!s.isEmpty()) out << s;
    }
    return out;
}

}  // namespace

ProductIdentity readProductIdentity(const QString& root) {
    ProductIdentity id;
    id.name = dmiText(root, QStringLiteral("product_name"));
    id.vendor = dmiText(root, QStringLiteral("sys_vendor"));
    if (!id.name || id.name->isEmpty()) {
        const QStringList model = deviceTreeStrings(root, QStringLiteral("model"));
        if (!model.isEmpty()) id.name = model.front();
    }
    if (!id.vendor || id.vendor->isEmpty()) {
        // "raspberrypi,4-model-b": the maker is the part before the comma.
        const QStringList compatible = deviceTreeStrings(root, QStringLiteral("compatible"));
        if (!compatible.isEmpty()) {
            const QString first = compatible.front();
            const qsizetype comma = first.indexOf(u',');
            const QString vendor = comma > 0 ? first.left(comma) : first;
            if (!vendor.isEmpty()) id.vendor = vendor;
        }
    }
    return id;
}

QStringList ProductProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> ProductProvider::enumerate(const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>([root = root_] {
        const ProductIdentity id = readProductIdentity(root);
        const auto value = [](const std::optional<QString>& v) {
            return v ? wmi::Value(*v) : wmi::Value();
        };
        // Serial number and UUID are readable by the administrator only; null otherwise.
        QHash<QString, wmi::Value> v;
        v[QStringLiteral("Caption")] = wmi::Value("Computer System Product");
        v[QStringLiteral("Description")] = wmi::Value("Computer System Product");
        v[QStringLiteral("IdentifyingNumber")] =
            value(dmiText(root, QStringLiteral("product_serial")));
        v[QStringLiteral("Name")] = value(id.name);
        v[QStringLiteral("UUID")] = value(dmiText(root, QStringLiteral("product_uuid")));
        v[QStringLiteral("Vendor")] = value(id.vendor);
        v[QStringLiteral("Version")] = value(dmiText(root, QStringLiteral("product_version")));
        std::vector<wmi::Instance> out;
        out.push_back(
            makeSchemaInstance(QStringLiteral("Win32_ComputerSystemProduct"), std::move(v)));
        return out;
    });
}

}  // namespace torvix::live
