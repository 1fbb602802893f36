#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "platform/wmi/provider.h"

namespace torvix::live {

// Win32_Product: the installed software. First every package dpkg's status database holds as
// installed, in the file's order:
//   Caption = Name = IdentifyingNumber = the package name, with ":arch" added for a package of a
//   foreign architecture (what tells "libc6:i386" from the native "libc6"; dpkg names them so),
//   Version = Version as written (epoch kept), Vendor = Maintainer, Description = the first line
//   of Description.
// Then the Flatpak applications, system-wide (/var/lib/flatpak/app) then the user's
// ($XDG_DATA_HOME/flatpak/app, by default ~/.local/share/flatpak/app), each sorted by id:
//   Caption = the application's name from its AppStream file, else its id; Name =
//   IdentifyingNumber = the id; Version = the newest release of its AppStream file, else null;
//   Vendor = the developer's name; Description = the summary; InstallLocation = its deployment.
// Everything is read as the walk goes.
class SoftwareProvider : public wmi::ClassProvider {
  public:
    struct Options {
        QString root = QStringLiteral("/");
        // dpkg's native architecture; empty: the one this program was built for.
        QString nativeArchitecture;
        // The user's home folder as on the system (read under the root); unset: $HOME, and
        // $XDG_DATA_HOME is honoured.
        std::optional<QString> home;
    };
    explicit SoftwareProvider(Options options) : options_(std::move(options)) {}
    explicit SoftwareProvider(const QString& root) { options_.root = root; }

    QString className() const override { return QStringLiteral("Win32_Product"); }
    QStringList propertyNames() const override;
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override;

  private:
    Options options_;
};

}  // namespace torvix::live
