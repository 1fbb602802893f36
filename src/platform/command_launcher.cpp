#include "platform/command_launcher.h"

#include <QProcess>
#include <QStandardPaths>

namespace torvix {

QString LiveCommandLauncher::findProgram(const QString& program) const {
    return QStandardPaths::findExecutable(program);
}

LaunchResult LiveCommandLauncher::startDetached(const QString& program,
                                                const QStringList& arguments) {
    LaunchResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    result.started = process.startDetached();
    if (!result.started) result.errorText = process.errorString();
    return result;
}

LaunchResult LiveCommandLauncher::run(const QString& program, const QStringList& arguments,
                                      int timeoutMs) {
    LaunchResult result;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        result.errorText = process.errorString();
        return result;
    }
    result.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.exitCode = -1;
        result.errorText = QStringLiteral("%1: no answer within %2 ms").arg(program).arg(timeoutMs);
        return result;
    }
    result.errorText = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.exitCode = -1;
        if (result.errorText.isEmpty()) result.errorText = process.errorString();
    } else {
        result.exitCode = process.exitCode();
    }
    return result;
}

std::shared_ptr<CommandLauncher> makeLiveCommandLauncher() {
    return std::make_shared<LiveCommandLauncher>();
}

}  // namespace torvix
