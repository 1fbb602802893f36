#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/clock.h"
#include "platform/command_launcher.h"
#include "platform/directory/directory.h"
#include "platform/system_functions.h"
#include "platform/wmi/service.h"

namespace torvix {

// Everything the gathering routines read about one computer: the live one, or one described by
// a machine file.
struct Machine {
    std::shared_ptr<wmi::QueryService> wmi;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<SystemFunctions> system;
    // Locale whose date and time forms the window uses ("ja_JP"); empty: the system's.
    QString locale;
    // Where the live providers read (/ normally); empty for a machine file.
    QString root;
    // The directory (domain password change date): libldap for the live machine, the "directory"
    // member of a machine file. Never null once made; a null one counts as unreachable.
    std::shared_ptr<directory::Directory> directory;
    // Starts outside programs (diagnostic tool, shutdown); the tests put a recorder here.
    std::shared_ptr<CommandLauncher> launcher;
};

// Options for the live machine.
struct LiveMachineOptions {
    QString root = QStringLiteral("/");
    // The primary screen in physical pixels, supplied by the window layer (platform/ has no GUI).
    // Unset or returning nullopt: the function falls back to the kernel's display modes, else
    // fails.
    std::function<std::optional<ScreenSize>()> screenSize;
};

Machine makeLiveMachine(const LiveMachineOptions& options);

// Reads a machine file. `clockAdvances` is true for the window (time moves on from clock.now)
// and false for the report. Throws MachineFileError naming the file and what is wrong.
class MachineFileError : public Failure {
  public:
    using Failure::Failure;
};
Machine loadMachineFile(const QString& path, bool clockAdvances);
Machine parseMachineFile(const QByteArray& json, const QString& nameForMessages,
                         bool clockAdvances);

}  // namespace torvix
