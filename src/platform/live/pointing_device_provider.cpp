#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <climits>
#include <map>

#include "platform/live/hardware_providers.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/root_files.h"

namespace torvix::live {

namespace {

// Kernel input bitmaps as sysfs and /proc/bus/input/devices print them: hex words of the
// kernel's long, most significant first.
class Bitmap {
  public:
    Bitmap() = default;
    explicit Bitmap(const QString& text) {
        const QStringList parts = text.simplified().split(u' ', Qt::SkipEmptyParts);
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
            bool ok = false;
            const unsigned long long w = it->toULongLong(&ok, 16);
            words_.push_back(ok ? w : 0);
        }
    }
    bool test(int bit) const {
        const std::size_t word = static_cast<std::size_t>(bit) / kWordBits;
        if (word >= words_.size()) return false;
        return (words_[word] >> (bit % kWordBits)) & 1ULL;
    }
    bool empty() const { return words_.empty(); }

  private:
    static constexpr int kWordBits = sizeof(long) * CHAR_BIT;
    std::vector<unsigned long long> words_;
};

struct Kind {
    bool mouse = false, touchpad = false, pointingStick = false, tablet = false,
         touchscreen = false;
    bool known = false;  // some source said what the device is
    bool pointing() const { return mouse || touchpad || pointingStick || tablet; }
    int pointingType() const {  // Win32_PointingDevice.PointingType
        if (touchpad) return 7;
        if (pointingStick) return 5;
        if (mouse) return 3;
        return 1;  // other (pen tablet)
    }
};

// The classification udev's input_id makes, from the capability bitmaps.
Kind classify(const Bitmap& key, const Bitmap& rel, const Bitmap& abs, const Bitmap& prop) {
    enum { REL_X = 0, REL_Y = 1, ABS_X = 0, ABS_Y = 1, ABS_MT_X = 0x35, ABS_MT_Y = 0x36 };
    enum {
        BTN_MOUSE = 0x110,
        BTN_TOOL_PEN = 0x140,
        BTN_TOOL_FINGER = 0x145,
        BTN_TOUCH = 0x14a,
        BTN_STYLUS = 0x14b
    };
    enum { PROP_DIRECT = 1, PROP_POINTING_STICK = 5 };
    Kind k;
    if (key.empty() && rel.empty() && abs.empty()) return k;
    k.known = true;
    const bool mouseButton = key.test(BTN_MOUSE);
    const bool pen = key.test(BTN_TOOL_PEN) || key.test(BTN_STYLUS);
    const bool fingerNoPen = key.test(BTN_TOOL_FINGER) && !key.test(BTN_TOOL_PEN);
    const bool touch = key.test(BTN_TOUCH);
    const bool direct = prop.test(PROP_DIRECT);
    const bool absXY = abs.test(ABS_X) && abs.test(ABS_Y);
    const bool mtXY = abs.test(ABS_MT_X) && abs.test(ABS_MT_Y);
    if (absXY) {
        if (pen)
            k.tablet = true;
        else if (fingerNoPen && !direct)
            k.touchpad = true;
        else if (mouseButton)
            k.mouse = true;  // absolute mice of virtual machines
        else if (touch || direct)
            k.touchscreen = true;
    }
    if (mtXY) {
        if (pen)
            k.tablet = true;
        else if (fingerNoPen && !direct)
            k.touchpad = true;
        else if (touch || direct)
            k.touchscreen = true;
    }
    if (rel.test(REL_X) && rel.test(REL_Y) && mouseButton) k.mouse = true;
    if (prop.test(PROP_POINTING_STICK)) k.pointingStick = true;
    return k;
}

// udev's verdict from its database ("E:ID_INPUT_MOUSE=1" lines); !known when there is none.
Kind udevKind(const QString& root, const QString& entry) {
    Kind k;
    const std::optional<QByteArray> db =
        readRootFile(root, QStringLiteral("/run/udev/data/") + entry, 256 * 1024);
    if (!db) return k;
    bool sawInput = false;
    for (const QByteArray& line : db->split('\n')) {
        if (!line.startsWith("E:ID_INPUT")) continue;
        sawInput = true;
        const bool on = line.endsWith("=1");
        if (line.startsWith("E:ID_INPUT_MOUSE="))
            k.mouse = on;
        else if (line.startsWith("E:ID_INPUT_TOUCHPAD="))
            k.touchpad = on;
        else if (line.startsWith("E:ID_INPUT_POINTINGSTICK="))
            k.pointingStick = on;
        else if (line.startsWith("E:ID_INPUT_TABLET="))
            k.tablet = on;
        else if (line.startsWith("E:ID_INPUT_TOUCHSCREEN="))
            k.touchscreen = on;
    }
    k.known = sawInput;
    return k;
}

struct Device {
    int number = 0;  // N of inputN
    QString name;
    QString deviceId;
    Kind kind;
};

int inputNumber(QStringView entry) {
    bool ok = false;
    const int n = entry.mid(5).toInt(&ok);
    return ok ? n : -1;
}

QString deviceIdFromLink(const QString& root, const QString& entry) {
    const QByteArray path =
        QFile::encodeName(underRoot(root, QStringLiteral("/sys/class/input/") + entry));
    char buf[4096];
    const ssize_t n = ::readlink(path.constData(), buf, sizeof buf - 1);
    if (n > 0) {
        const QString target = QFile::decodeName(QByteArray(buf, n));
        const qsizetype at = target.indexOf(QStringLiteral("devices/"));
        if (at >= 0) return u'/' + target.mid(at);
    }
    return QStringLiteral("/class/input/") + entry;
}

std::vector<Device> fromSysfs(const QString& root) {
    std::vector<Device> devices;
    const QString base = QStringLiteral("/sys/class/input/");
    for (const QString& entry : listRootDir(root, base)) {
        if (!entry.startsWith(u"input") || inputNumber(entry) < 0) continue;
        const QString dir = base + entry + u'/';
        Device d;
        d.number = inputNumber(entry);
        d.name = readRootLine(root, dir + QStringLiteral("name")).value_or(QString());
        d.deviceId = deviceIdFromLink(root, entry);
        d.kind = udevKind(root, QStringLiteral("+input:") + entry);
        if (!d.kind.known) {
            // udev keeps the same properties on the event node (c13:<minor>).
            for (const QString& child : listRootDir(root, base + entry)) {
                if (!child.startsWith(u"event")) continue;
                const std::optional<QString> dev =
                    readRootLine(root, dir + child + QStringLiteral("/dev"));
                if (dev && !dev->isEmpty()) d.kind = udevKind(root, u'c' + *dev);
                if (d.kind.known) break;
            }
        }
        if (!d.kind.known) {
            const auto bitmap = [&](const QString& name) {
                return Bitmap(readRootLine(root, dir + name).value_or(QString()));
            };
            d.kind = classify(bitmap(QStringLiteral("capabilities/key")),
                              bitmap(QStringLiteral("capabilities/rel")),
                              bitmap(QStringLiteral("capabilities/abs")),
                              bitmap(QStringLiteral("properties")));
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

// /proc/bus/input/devices: blocks of "X: ..." lines, one block per device.
std::vector<Device> fromProcDevices(const QString& root) {
    std::vector<Device> devices;
    const std::optional<QByteArray> text =
        readRootFile(root, QStringLiteral("/proc/bus/input/devices"), 1024 * 1024);
    if (!text) return devices;
    static const QRegularExpression mouseHandler(QStringLiteral("(^|\\s)mouse[0-9]+(\\s|$)"));
    const QStringList blocks =
        QString::fromUtf8(*text).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    int fallbackNumber = 1 << 20;
    for (const QString& block : blocks) {
        Device d;
        QString handlers, sysfs;
        QHash<QString, QString> bitmaps;
        for (const QString& raw : block.split(u'\n')) {
            const QString line = raw.trimmed();
            if (line.startsWith(u"N: Name=")) {
                d.name = line.mid(8).trimmed();
                if (d.name.size() >= 2 && d.name.startsWith(u'"') && d.name.endsWith(u'"'))
                    d.name = d.name.mid(1, d.name.size() - 2);
            } else if (line.startsWith(u"H: Handlers=")) {
                handlers = line.mid(12);
            } else if (line.startsWith(u"S: Sysfs=")) {
                sysfs = line.mid(9).trimmed();
            } else if (line.startsWith(u"B: ")) {
                const qsizetype eq = line.indexOf(u'=');
                if (eq > 3) bitmaps.insert(line.mid(3, eq - 3), line.mid(eq + 1));
            }
        }
        if (!mouseHandler.match(handlers).hasMatch()) continue;
        const qsizetype slash = sysfs.lastIndexOf(u'/');
        const QString last = slash >= 0 ? sysfs.mid(slash + 1) : QString();
        d.number = last.startsWith(u"input") && inputNumber(last) >= 0 ? inputNumber(last)
                                                                       : fallbackNumber++;
        d.deviceId = sysfs.isEmpty() ? QStringLiteral("input%1").arg(d.number) : sysfs;
        d.kind = classify(Bitmap(bitmaps.value(QStringLiteral("KEY"))),
                          Bitmap(bitmaps.value(QStringLiteral("REL"))),
                          Bitmap(bitmaps.value(QStringLiteral("ABS"))),
                          Bitmap(bitmaps.value(QStringLiteral("PROP"))));
        if (!d.kind.known) {
            d.kind.known = true;  // the mouse handler is all there is to go by
            d.kind.mouse = true;
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

std::vector<wmi::Instance> readPointingDevices(const QString& root) {
    std::vector<Device> devices = fromSysfs(root);
    if (devices.empty()) devices = fromProcDevices(root);

    // One instance per inputN, in number order; touchscreens are not pointing devices here.
    std::map<int, Device> unique;
    for (Device& d : devices) {
        if (!d.kind.pointing() || d.kind.touchscreen) continue;
        unique.emplace(d.number, std::move(d));
    }
    std::vector<wmi::Instance> out;
    for (auto& [number, d] : unique) {
        const wmi::Value name = d.name.isEmpty() ? wmi::Value() : wmi::Value(d.name);
        QHash<QString, wmi::Value> v;
        v[QStringLiteral("Caption")] = name;
        v[QStringLiteral("Description")] = name;
        v[QStringLiteral("DeviceID")] = wmi::Value(d.deviceId);
        v[QStringLiteral("Name")] = name;
        v[QStringLiteral("PointingType")] = wmi::Value(d.kind.pointingType());
        out.push_back(makeSchemaInstance(QStringLiteral("Win32_PointingDevice"), std::move(v)));
    }
    return out;
}

}  // namespace

QStringList PointingDeviceProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> PointingDeviceProvider::enumerate(
    const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>([root = root_] { return readPointingDevices(root); });
}

}  // namespace torvix::live
