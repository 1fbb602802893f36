#include "platform/command_launcher.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

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
    const bool limited = timeoutMs != noTimeLimit;
    if (!process.waitForStarted(limited ? timeoutMs : -1)) {
        result.errorText = process.errorString();
        return result;
    }
    result.started = true;
    if (!process.waitForFinished(limited ? timeoutMs : -1)) {
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

LaunchResult CommandLauncher::startDetachedWithInput(const QString& program, const QStringList&,
                                                     const QByteArray&) {
    LaunchResult result;
    result.errorText = QStringLiteral("%1: this launcher cannot give a program input").arg(program);
    return result;
}

LaunchResult LiveCommandLauncher::startDetachedWithInput(const QString& program,
                                                         const QStringList& arguments,
                                                         const QByteArray& input) {
    LaunchResult result;
    // The input lives in memory, not in a file someone would have to remove: the program reads
    // it through a descriptor of its own, which keeps it until the program closes it.
    const int fd = ::memfd_create("torvix-input", MFD_CLOEXEC);
    if (fd < 0) {
        result.errorText = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    qsizetype written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(fd, input.constData() + written, input.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result.errorText = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return result;
        }
        written += n;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // Opening the descriptor's /proc name gives a description of its own, read from the start.
    process.setStandardInputFile(QStringLiteral("/proc/self/fd/%1").arg(fd));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    result.started = process.startDetached();
    if (!result.started) result.errorText = process.errorString();
    ::close(fd);
    return result;
}

std::shared_ptr<CommandLauncher> makeLiveCommandLauncher() {
    return std::make_shared<LiveCommandLauncher>();
}

}  // namespace torvix
