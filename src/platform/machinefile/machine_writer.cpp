#include "platform/machinefile/machine_writer.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

namespace torvix::machinefile {

namespace {

QByteArray hex4(char16_t unit) {
    return QByteArray("\\u") + QByteArray::number(unit, 16).rightJustified(4, '0');
}

QByteArray dateTimeText(const QDateTime& t) {
    return jsonString(t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
}

class Writer {
  public:
    QByteArray out;

    void indent(int depth) { out.append(depth * 2, ' '); }

    // {"a": 1, ...} on one line: small records (screen, disk).
    void flatObject(const std::vector<std::pair<const char*, QByteArray>>& members) {
        out += '{';
        for (std::size_t k = 0; k < members.size(); ++k) {
            if (k) out += ", ";
            out += '"';
            out += members[k].first;
            out += "\": ";
            out += members[k].second;
        }
        out += '}';
    }

    void value(const wmi::Value& v) {
        using K = wmi::Value::Kind;
        switch (v.kind()) {
            case K::Null:
                out += "null";
                return;
            case K::Boolean:
                out += v.toBool() ? "true" : "false";
                return;
            case K::Integer:
                out += QByteArray::number(static_cast<qlonglong>(v.toInteger()));
                return;
            case K::Double: {
                const double d = v.toDouble();
                // JSON has no infinities; null is the nearest thing a reader can take.
                if (!std::isfinite(d)) {
                    out += "null";
                    return;
                }
                QByteArray text =
                    QString::number(d, 'g', QLocale::FloatingPointShortest).toLatin1();
                // "2" would be read back as an integer.
                if (!text.contains('.') && !text.contains('e')) text += ".0";
                out += text;
                return;
            }
            case K::Text:
                out += jsonString(v.toText());
                return;
            case K::Array: {
                out += '[';
                const std::vector<wmi::Value>& items = v.toArray();
                for (std::size_t k = 0; k < items.size(); ++k) {
                    if (k) out += ", ";
                    value(items[k]);
                }
                out += ']';
                return;
            }
            case K::Object:
                out += "{\"object\": ";
                instance(*v.toObject());
                out += '}';
                return;
        }
    }

    void instance(const wmi::Instance& instance) {
        out += '{';
        const std::vector<wmi::Property>& properties = instance.properties();
        for (std::size_t k = 0; k < properties.size(); ++k) {
            if (k) out += ", ";
            out += jsonString(properties[k].name);
            out += ": ";
            value(properties[k].value);
        }
        out += '}';
    }
};

}  // namespace

QByteArray jsonString(const QString& text) {
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        switch (c) {
            case u'"':
                out += "\\\"";
                continue;
            case u'\\':
                out += "\\\\";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7F) {
            out += hex4(c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out += QStringView(text).mid(i, 2).toUtf8();
            ++i;
        } else if (QChar::isSurrogate(c)) {
            // A lone surrogate stands for a byte that was not UTF-8 (textFromBytes); escaped, it
            // comes back as the same text instead of a replacement character.
            out += hex4(c);
        } else {
            out += QStringView(text).mid(i, 1).toUtf8();
        }
    }
    out += '"';
    return out;
}

QByteArray machineFileText(const MachineDescription& m) {
    Writer w;
    QByteArray& out = w.out;
    out += "{\n  \"torvix-machine\": 1,\n";
    out += "  \"clock\": {\"now\": " +
           jsonString(m.now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))) +
           ", \"tickCount\": " + QByteArray::number(static_cast<qlonglong>(m.tickCountMs)) + "},\n";
    if (!m.locale.isEmpty()) out += "  \"locale\": " + jsonString(m.locale) + ",\n";

    const MachineDescription::System& s = m.system;
    std::vector<QByteArray> system;
    if (s.processors) system.push_back("\"processors\": " + QByteArray::number(*s.processors));
    if (s.screen) {
        Writer screen;
        screen.flatObject({{"width", QByteArray::number(s.screen->width)},
                           {"height", QByteArray::number(s.screen->height)}});
        system.push_back("\"screen\": " + screen.out);
    }
    if (s.isUserAnAdmin)
        system.push_back(QByteArray("\"isUserAnAdmin\": ") + (*s.isUserAnAdmin ? "true" : "false"));
    if (s.disk) {
        // The file keeps these within the signed 64-bit range.
        auto n = [](std::uint64_t v) {
            return QByteArray::number(static_cast<qulonglong>(
                std::min<std::uint64_t>(v, std::numeric_limits<std::int64_t>::max())));
        };
        Writer disk;
        disk.flatObject({{"sectorsPerCluster", n(s.disk->sectorsPerCluster)},
                         {"bytesPerSector", n(s.disk->bytesPerSector)},
                         {"freeClusters", n(s.disk->freeClusters)},
                         {"totalClusters", n(s.disk->totalClusters)}});
        system.push_back("\"disk\": " + disk.out);
    }
    if (s.networkUserName)
        system.push_back("\"networkUserName\": " + jsonString(*s.networkUserName));
    if (s.specialFolders) {
        QByteArray folders = "\"specialFolders\": {";
        for (std::size_t k = 0; k < s.specialFolders->size(); ++k) {
            folders += k ? ",\n      " : "\n      ";
            folders += jsonString((*s.specialFolders)[k].first) + ": " +
                       jsonString((*s.specialFolders)[k].second);
        }
        folders += s.specialFolders->empty() ? "}" : "\n    }";
        system.push_back(folders);
    }
    out += "  \"system\": {";
    for (std::size_t k = 0; k < system.size(); ++k) {
        out += k ? ",\n    " : "\n    ";
        out += system[k];
    }
    out += system.empty() ? "},\n" : "\n  },\n";

    if (m.wmiError) out += "  \"wmiError\": " + jsonString(*m.wmiError) + ",\n";
    out += "  \"wmi\": {";
    for (std::size_t c = 0; c < m.classes.size(); ++c) {
        const MachineDescription::Class& cls = m.classes[c];
        out += c ? ",\n    " : "\n    ";
        out += jsonString(cls.name) + ": ";
        if (cls.error) {
            out += "{\"error\": " + jsonString(*cls.error) + "}";
            continue;
        }
        out += '[';
        for (std::size_t k = 0; k < cls.instances.size(); ++k) {
            out += k ? ",\n      " : "\n      ";
            w.instance(cls.instances[k]);
        }
        out += cls.instances.empty() ? "]" : "\n    ]";
    }
    out += m.classes.empty() ? "}" : "\n  }";

    if (m.directory) {
        out += ",\n  \"directory\": ";
        if (m.directory->error) {
            out += "{\"error\": " + jsonString(*m.directory->error) + "}";
        } else {
            out += "{\"objects\": [";
            const auto& objects = m.directory->objects;
            for (std::size_t k = 0; k < objects.size(); ++k) {
                const MachineDescription::DirectoryObject& o = objects[k];
                out += k ? ",\n    " : "\n    ";
                out += "{\"adsPath\": " + jsonString(o.adsPath) +
                       ", \"objectCategory\": " + jsonString(o.objectCategory);
                if (!o.name.isEmpty()) out += ", \"name\": " + jsonString(o.name);
                out += ", \"pwdLastSet\": ";
                out += o.pwdLastSet ? dateTimeText(*o.pwdLastSet) : QByteArray("null");
                out += '}';
            }
            out += objects.empty() ? "]}" : "\n  ]}";
        }
    }
    out += "\n}\n";
    return out;
}

}  // namespace torvix::machinefile
