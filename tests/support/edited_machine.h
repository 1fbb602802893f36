#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace torvix::test {

// A member or array element by "a/b/0/c" set to a value; an undefined value removes it, an
// index one past the end appends.
using MachineEdits = std::vector<std::pair<QString, QJsonValue>>;

inline QJsonValue editedValue(const QJsonValue& node, QStringList path, const QJsonValue& v) {
    if (path.isEmpty()) return v;
    const QString head = path.takeFirst();
    if (node.isArray()) {
        QJsonArray a = node.toArray();
        const qsizetype i = head.toInt();
        if (path.isEmpty() && v.isUndefined())
            a.removeAt(i);
        else if (i == a.size())
            a.append(editedValue(QJsonValue(), path, v));
        else
            a[i] = editedValue(a[i], path, v);
        return a;
    }
    QJsonObject o = node.toObject();
    o[head] = editedValue(o[head], path, v);
    return o;
}

// A machine file of tests/data/machines with `edits` made to it.
inline QByteArray editedMachine(const QString& name, const MachineEdits& edits) {
    QFile f(dataPath(QStringLiteral("machines/") + name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QJsonValue root = QJsonDocument::fromJson(f.readAll()).object();
    for (const auto& [path, value] : edits) root = editedValue(root, path.split(u'/'), value);
    return QJsonDocument(root.toObject()).toJson();
}

// office_pc.json a week later: bash upgraded, curl installed, the PDF printer gone, the second
// DNS server changed, a shutdown and a start since, less free memory.
inline MachineEdits officePcWeekLater() {
    const auto event = [](int code, const char* time) {
        return QJsonObject{{"Logfile", "System"}, {"EventCode", code}, {"TimeWritten", time}};
    };
    return {
        {"clock/now", "2024-04-08T09:00:00"},
        {"wmi/Win32_Product/0/Version", "5.2.15-2+b7"},
        {"wmi/Win32_Product/2", QJsonObject{{"Caption", "curl"}, {"Version", "7.88.1-10"}}},
        {"wmi/Win32_Printer/1", QJsonValue(QJsonValue::Undefined)},
        {"wmi/Win32_NetworkAdapterConfiguration/0/DNSServerSearchOrder",
         QJsonArray{"192.168.0.2", "192.168.0.4"}},
        {"wmi/Win32_NTLogEvent/3", event(6006, "20240405180000.000000+540")},
        {"wmi/Win32_NTLogEvent/4", event(6005, "20240408083000.000000+540")},
        {"wmi/Win32_OperatingSystem/0/FreePhysicalMemory", 5000000},
    };
}

}  // namespace torvix::test
