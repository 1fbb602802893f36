#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace torvix::live {

// Files of the live providers are read under a root folder ("/" normally, a synthetic tree in
// tests). Paths are absolute as on the real system ("/proc/cpuinfo").
QString underRoot(const QString& root, const QString& path);

// The whole file, or nullopt when it cannot be read. An absolute symbolic link is followed
// inside the root, so a synthetic tree never leaks into the real system. At most `limit` bytes.
std::optional<QByteArray> readRootFile(const QString& root, const QString& path,
                                       qsizetype limit = 4 * 1024 * 1024);

// The first line of a small sysfs or procfs file with trailing blanks and newlines removed.
std::optional<QString> readRootLine(const QString& root, const QString& path);

// Names in a folder under the root, sorted; empty when the folder cannot be read.
QStringList listRootDir(const QString& root, const QString& path);

bool rootPathExists(const QString& root, const QString& path);

// "KEY=value" lines as os-release, user-dirs.dirs and the udev database write them; values are
// unquoted the way the shell would ('..', "..", backslash escapes). Later keys win.
QHash<QString, QString> parseShellAssignments(const QByteArray& text);

// "MemTotal:  16318480 kB" → MemTotal = 16318480 (kB figures stay kB).
QHash<QString, qint64> parseMeminfo(const QByteArray& text);

// root/proc/meminfo parsed; throws wmi::Error(ProviderFailure) when it cannot be read.
QHash<QString, qint64> readMeminfo(const QString& root);

}  // namespace torvix::live
