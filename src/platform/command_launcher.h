#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace torvix {

// What became of a program the launcher was asked to start.
struct LaunchResult {
    bool started = false;  // the program could be started at all
    int exitCode = 0;      // run(): its exit status (0 when it was only started)
    QString errorText;     // why it could not start, or what it wrote to standard error
    bool succeeded() const { return started && exitCode == 0; }
};

// Every outside program the window starts (the diagnostic tool, the shutdown commands) goes
// through here, so that tests can replace it and assert the command line instead of starting
// real tools.
class CommandLauncher {
  public:
    virtual ~CommandLauncher() = default;
    // The full path of `program` found on PATH, or empty.
    virtual QString findProgram(const QString& program) const = 0;
    // Starts `program` detached and returns at once; started is false when it cannot start.
    virtual LaunchResult startDetached(const QString& program, const QStringList& arguments) = 0;
    // Runs `program` to its end (at most `timeoutMs`), collecting its exit code and standard
    // error; a program still running then counts as failed.
    virtual LaunchResult run(const QString& program, const QStringList& arguments,
                             int timeoutMs) = 0;
};

// The real launcher of this computer (QProcess).
class LiveCommandLauncher : public CommandLauncher {
  public:
    QString findProgram(const QString& program) const override;
    LaunchResult startDetached(const QString& program, const QStringList& arguments) override;
    LaunchResult run(const QString& program, const QStringList& arguments, int timeoutMs) override;
};

std::shared_ptr<CommandLauncher> makeLiveCommandLauncher();

}  // namespace torvix
