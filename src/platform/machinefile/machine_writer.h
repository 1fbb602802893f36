#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/system_functions.h"
#include "platform/wmi/instance.h"

namespace torvix::machinefile {

// Everything a machine file says about one computer, in the order the file lists it. A member
// left unset is left out of the file, which is how the file says that the source failed.
struct MachineDescription {
    QDateTime now;  // local date and time, written without an offset
    std::int64_t tickCountMs = 0;
    QString locale;  // empty: left out

    struct System {
        std::optional<std::uint32_t> processors;
        std::optional<ScreenSize> screen;
        std::optional<bool> isUserAnAdmin;
        std::optional<DiskFreeSpace> disk;
        std::optional<QString> networkUserName;
        std::optional<std::vector<std::pair<QString, QString>>> specialFolders;
    } system;

    // One management class: its instances, or the failure its queries meet.
    struct Class {
        QString name;
        std::vector<wmi::Instance> instances;
        std::optional<QString> error;
    };
    std::optional<QString> wmiError;  // every connection fails
    std::vector<Class> classes;

    struct DirectoryObject {
        QString adsPath;
        QString objectCategory;
        QString name;  // empty: left out
        std::optional<QDateTime> pwdLastSet;
    };
    // Unset: the file names no directory (it cannot be reached).
    struct Directory {
        std::optional<QString> error;
        std::vector<DirectoryObject> objects;
    };
    std::optional<Directory> directory;
};

// The description as a version 1 machine file (UTF-8 JSON, members in the order above,
// properties in instance order). Written by hand: QJsonObject would sort the members, and the
// order of an instance's properties is part of what it says.
QByteArray machineFileText(const MachineDescription& machine);

// The largest machine file the program reads: larger than any description of a computer, it
// stops a mistaken device file from being read forever. A snapshot stays within it.
constexpr qint64 maxMachineFileSize = 64 * 1024 * 1024;

// A text as a JSON string, quotes included.
QByteArray jsonString(const QString& text);

}  // namespace torvix::machinefile
