#include "windows/logic/diagnostic_tool.h"

#include <QFileInfo>

namespace torvix {

const QString diagnosticToolTitle = QStringLiteral("DirectX診断ツール");

const std::vector<DiagnosticTool>& diagnosticTools() {
    static const std::vector<DiagnosticTool> tools = {
        {{"kinfocenter"}, {}},
        {{"gnome-control-center"}, {"info-overview"}},
        {{"hardinfo"}, {}},
        {{"lshw-gtk"}, {}},
        // The OpenGL renderer and driver, kept on screen until a key is pressed.
        {{"x-terminal-emulator", "glxinfo"},
         {"-e", "sh", "-c", "\"$0\" -B; echo; read -r _", "{1}"}},
    };
    return tools;
}

std::optional<DiagnosticCommand> findDiagnosticTool(const CommandLauncher& launcher) {
    for (const DiagnosticTool& tool : diagnosticTools()) {
        QStringList paths;
        for (const QString& program : tool.programs) {
            const QString path = launcher.findProgram(program);
            if (path.isEmpty()) break;
            paths << path;
        }
        if (paths.size() != tool.programs.size()) continue;
        DiagnosticCommand command{paths.front(), {}};
        for (QString argument : tool.arguments) {
            for (int n = 0; n < paths.size(); ++n)
                argument.replace(QStringLiteral("{%1}").arg(n), paths[n]);
            command.arguments << argument;
        }
        return command;
    }
    return std::nullopt;
}

QString diagnosticToolMissingMessage() {
    return QStringLiteral(
        "グラフィックスとシステムの情報を表示するツールが見つかりません。\r\n"
        "「kinfocenter」パッケージ(または「hardinfo」、「mesa-utils」)"
        "をインストールしてください。");
}

QString diagnosticToolFailedMessage(const QString& program, const QString& error) {
    return QStringLiteral("「") + QFileInfo(program).fileName() +
           QStringLiteral("」を起動できませんでした。\r\n") + error;
}

void Command36_Click(CommandLauncher* launcher, UserInterface& ui) {
    const std::optional<DiagnosticCommand> command =
        launcher ? findDiagnosticTool(*launcher) : std::nullopt;
    if (!command) {
        ui.messageBox(diagnosticToolMissingMessage(), diagnosticToolTitle,
                      UserInterface::Buttons::Ok, UserInterface::Icon::Exclamation);
        return;
    }
    const LaunchResult result = launcher->startDetached(command->program, command->arguments);
    if (!result.started)
        ui.messageBox(diagnosticToolFailedMessage(command->program, result.errorText),
                      diagnosticToolTitle, UserInterface::Buttons::Ok,
                      UserInterface::Icon::Critical);
}

}  // namespace torvix
