#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "items/user_interface.h"
#include "platform/command_launcher.h"

namespace torvix {

// A graphics and system information tool the diagnostic button can start: the programs that
// must all be on PATH (the first is started) and the arguments; "{n}" in an argument stands for
// the full path of the n-th program.
struct DiagnosticTool {
    QStringList programs;
    QStringList arguments;
};

// The tools in the order they are tried: the desktops' own information centres first, then a
// system profiler, then the OpenGL summary in a terminal.
const std::vector<DiagnosticTool>& diagnosticTools();

// The first tool whose programs are all found, as the program's full path and its arguments.
struct DiagnosticCommand {
    QString program;
    QStringList arguments;
};
std::optional<DiagnosticCommand> findDiagnosticTool(const CommandLauncher& launcher);

// Command36 "DirectX診断ツール": starts the first tool found, detached and without waiting
// (each click starts another copy). None found: a message naming the packages to install; a
// tool that cannot start: a message with its error.
void Command36_Click(CommandLauncher* launcher, UserInterface& ui);

// The texts of those messages.
QString diagnosticToolMissingMessage();
QString diagnosticToolFailedMessage(const QString& program, const QString& error);
extern const QString diagnosticToolTitle;  // "DirectX診断ツール"

}  // namespace torvix
