// Times the start-up sequence (live computer and machine file) and a whole `torvix --report`
// process, and a snapshot of this computer, printing the median of N runs of each in milliseconds.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/logic/form1_logic.h"
#include "app/logic/snapshot.h"
#include "bench_support.h"
#include "items/catalog.h"
#include "items/user_interface.h"
#include "process_timing.h"

namespace {

using torvix::bench::medianMs;
using torvix::bench::NoProgram;
using torvix::bench::QuietUi;

bool startupOn(torvix::Machine machine) {
    QuietUi ui;
    NoProgram program;
    torvix::Form1Logic logic(machine, ui, program);
    logic.runStartupSequence();
    return true;
}

void print(const char* what, double ms) {
    if (ms < 0)
        std::printf("%-48s failed\n", what);
    else
        std::printf("%-48s %10.2f ms\n", what, ms);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: torvix_bench TORVIX_BINARY MACHINE_FILE [RUNS]\n");
        return 2;
    }
    const QString binary = args[1], machineFile = args[2];
    const int runs = args.size() > 3 ? std::max(1, args[3].toInt()) : 11;
    std::freopen("/dev/null", "w", stderr);  // unguarded failures of a bare computer

    std::printf("median of %d runs\n", runs);
    print("start-up sequence, this computer", medianMs(runs, [] {
              torvix::LiveMachineOptions options;
              return startupOn(torvix::makeLiveMachine(options));
          }));
    {
        // The network items of the sequence on this computer, the ping (Command9) apart: its
        // round trip to the computer's own address is the kernel's, not ours.
        QuietUi ui;
        NoProgram program;
        torvix::Machine machine = torvix::makeLiveMachine({});
        torvix::Form1Logic logic(machine, ui, program);
        const QStringList network = {"Command10", "Command11", "Command28", "Command12",
                                     "Command13", "Command23", "Command24", "Command26",
                                     "Command27", "Command4",  "Command6"};
        print("network items without the ping, this computer", medianMs(runs, [&] {
                  for (const QString& button : network) torvix::runItem(logic.context(), button);
                  return true;
              }));
        print("connection item (ping of own address)",
              medianMs(runs, [&] { return torvix::runItem(logic.context(), "Command9"); }));
    }
    print("start-up sequence, machine file", medianMs(runs, [&] {
              try {
                  return startupOn(torvix::loadMachineFile(machineFile, false));
              } catch (const torvix::Failure&) {
                  return false;
              }
          }));
    // Whole processes, spawned directly. No comparable terminal tool is installed here to time
    // beside them: the goals stand in for it (a peer takes 2 ms).
    auto process = [&](const char* what, const QStringList& args, const char* goal) {
        const double ms =
            medianMs(runs, [&] { return torvix::bench::processMs(binary, args) >= 0; });
        if (ms < 0)
            std::printf("%-48s failed\n", what);
        else
            std::printf("%-48s %10.2f ms   goal %s\n", what, ms, goal);
        std::fflush(stdout);
    };
    process("torvix --version process", {"--version"}, "< 2 ms");
    process("torvix --help process", {"--help"}, "< 2 ms");
    process("torvix --report process (machine file)", {"--report", "--machine", machineFile},
            "<= 4 ms (2x the peer's 2 ms)");
    process("torvix --report process (this computer)", {"--report"},
            "<= 4 ms (2x the peer's 2 ms)");
    {
        // A snapshot reads every source once: the gathering, then the writing of the file.
        QByteArray text;
        print("snapshot of this computer (gathering)", medianMs(runs, [&] {
                  torvix::Machine machine = torvix::makeLiveMachine({});
                  text = torvix::machinefile::machineFileText(torvix::takeSnapshot(machine));
                  return !text.isEmpty();
              }));
        std::printf("%-48s %10.1f KiB\n", "snapshot size", text.size() / 1024.0);
        const QString file = QDir::temp().filePath("torvix-bench-snapshot.json");
        process("torvix --snapshot process (this computer)", {"--snapshot", file},
                "well under 1 s");
        process("torvix --report process (its snapshot)", {"--report", "--machine", file},
                "<= 4 ms (2x the peer's 2 ms)");
        QFile::remove(file);
    }
    return 0;
}
