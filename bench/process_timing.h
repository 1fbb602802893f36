#pragma once

// Starting the real program for the benchmarks without Qt's process machinery in the way: a
// spawn, a wait, and the time between in ms.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QStringList>
#include <vector>

extern char** environ;

namespace torvix::bench {

// Runs `program args`, output to /dev/null; the wall time in ms, or -1 when it did not exit with
// a status from 0 to `highestGoodExit`.
inline double processMs(const QString& program, const QStringList& args, int highestGoodExit = 0) {
    std::vector<QByteArray> bytes{program.toLocal8Bit()};
    for (const QString& a : args) bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer t;
    t.start();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) <= highestGoodExit ? ms : -1;
}

}  // namespace torvix::bench
