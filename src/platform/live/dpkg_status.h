#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringView>
#include <optional>

namespace torvix::live {

// One stanza of dpkg's status database, with the fields the software list reads. A field the
// stanza does not carry (or carries empty) is nullopt.
struct DpkgPackage {
    QString package;
    std::optional<QString> status;        // "install ok installed"
    std::optional<QString> architecture;  // "amd64", "all"
    std::optional<QString> version;       // as written, epoch included ("1:2.36-9")
    std::optional<QString> maintainer;
    std::optional<QString> synopsis;  // the first line of Description
};

// Whether a Status field says the package is installed: its third word is "installed", whatever
// the wanted state ("install", "hold", "deinstall" and "purge" alike). "half-installed",
// "config-files", "unpacked", "triggers-pending" and the rest are not.
bool isInstalledStatus(QStringView status);

// dpkg's own architecture name for the architecture this program was built for ("amd64",
// "arm64", "i386", ...): the native architecture of the dpkg on the same system.
QString nativeDpkgArchitecture();

// Reads a status file stanza by stanza, so a walk holds one stanza at a time and a walk that stops
// early reads no further. Copes with CR LF line ends, continuation lines, blank-only separator
// lines, lines without a field name (skipped), overlong lines (cut) and a file cut short (its last
// stanza still counts when it names its package).
class DpkgStatusReader {
  public:
    // A file that does not exist reads as empty (a system without dpkg); one that exists but
    // cannot be opened throws wmi::Error(ProviderFailure).
    explicit DpkgStatusReader(const QString& path);

    // The next stanza with a Package field, nullopt at the end. Throws wmi::Error
    // (ProviderFailure) when reading fails part-way.
    std::optional<DpkgPackage> next();

  private:
    // One line without its line end; false at the end of the file.
    bool readLine(QByteArray& line);

    QString path_;
    QFile file_;
    bool open_ = false;
    bool atEnd_ = false;
    QByteArray buffer_;
};

}  // namespace torvix::live
