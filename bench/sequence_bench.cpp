// Times the whole start-up sequence of this computer (the directory, the printers and the logon
// count included) as the window runs it on each activation: the first one and a return from a
// list window. Then with a directory server that accepts and never answers, a print server that
// does the same, both, and a DNS server that never answers (in network and mount namespaces of
// its own, needs root). A 100 ms timer counts how often the waiting thread served its events.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/logic/form1_logic.h"
#include "bench_support.h"
#include "items/catalog.h"
#include "platform/directory/directory.h"

namespace {

using torvix::bench::NoProgram;
using torvix::bench::QuietUi;

// A socket on 127.0.0.1 of `type` that never answers; its port, or 0.
int silentSocket(int type, int port, int& fd) {
    fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 16) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

struct Activation {
    double ms = 0;
    int ticks = 0;  // 100 ms timer ticks served during it
};

// One activation of the window's logic: the sequence with a ticking timer beside it.
Activation activate(torvix::Form1Logic& logic) {
    Activation a;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&a] { ++a.ticks; });
    tick.start(100);
    QElapsedTimer t;
    t.start();
    logic.runStartupSequence();
    a.ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    return a;
}

// The median first activation and the median return, over `runs` windows.
void measure(const char* what, int runs, const std::function<void(torvix::Machine&)>& adjust) {
    std::vector<Activation> first, again;
    for (int i = 0; i < runs; ++i) {
        QuietUi ui;
        NoProgram program;
        torvix::Machine machine = torvix::makeLiveMachine({});
        if (adjust) adjust(machine);
        torvix::Form1Logic logic(machine, ui, program);
        first.push_back(activate(logic));
        again.push_back(activate(logic));
    }
    auto med = [](std::vector<Activation> v) {
        std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.ms < b.ms; });
        return v[v.size() / 2];
    };
    const Activation f = med(first), a = med(again);
    std::printf("%-44s first %8.1f ms (%2d ticks)   return %8.1f ms (%2d ticks)\n", what, f.ms,
                f.ticks, a.ms, a.ticks);
    std::fflush(stdout);
}

// In a child with network and mount namespaces of its own: a loopback DNS server that never
// answers, named by a resolv.conf mounted over the system's for this child only.
void measureSilentDns(int runs) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) return;
    if (pid > 0) {
        waitpid(pid, nullptr, 0);
        return;
    }
    auto skip = [](const char* why) {
        std::printf("%-44s skipped (%s)\n", "silent DNS server", why);
        std::fflush(stdout);
        _exit(0);
    };
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) skip("no namespaces: needs root");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) skip("mount");
    if (std::system("ip link set lo up") != 0) skip("ip link");
    QTemporaryDir dir;
    QFile conf(dir.filePath("resolv.conf"));
    if (!conf.open(QIODevice::WriteOnly)) skip("resolv.conf");
    conf.write("nameserver 127.0.0.1\n");
    conf.close();
    if (mount(QFile::encodeName(conf.fileName()).constData(), "/etc/resolv.conf", nullptr, MS_BIND,
              nullptr) != 0)
        skip("bind mount");
    int udp = -1, tcp = -1;
    if (silentSocket(SOCK_DGRAM, 53, udp) == 0 || silentSocket(SOCK_STREAM, 53, tcp) == 0)
        skip("port 53");
    measure("silent DNS server", runs, {});
    _exit(0);
}

// Where the sequence of this computer spends its time: each item once more after a first
// activation, the ones over 1 ms.
void itemsOverOneMs() {
    QuietUi ui;
    NoProgram program;
    torvix::Machine machine = torvix::makeLiveMachine({});
    torvix::Form1Logic logic(machine, ui, program);
    logic.runStartupSequence();
    for (int i = 1; i <= 41; ++i) {
        const QString button = QStringLiteral("Command%1").arg(i);
        if (!torvix::findItemRoutine(button)) continue;
        QElapsedTimer t;
        t.start();
        torvix::runItem(logic.context(), button);
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        if (ms > 1) std::printf("  %-42s %8.1f ms\n", qPrintable(button), ms);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::freopen("/dev/null", "w", stderr);  // unguarded failures of a bare computer
    std::printf(
        "start-up sequence, median of %d windows; goals: < 20 ms here, < 2000 ms with a "
        "silent server\n",
        runs);
    measure("this computer", std::max(runs, 11), {});
    itemsOverOneMs();

    int dirFd = -1, cupsFd = -1;
    const int dirPort = silentSocket(SOCK_STREAM, 0, dirFd);
    const int cupsPort = silentSocket(SOCK_STREAM, 0, cupsFd);
    if (dirPort == 0 || cupsPort == 0) {
        std::printf("no loopback listener\n");
        return 1;
    }
    auto silentDirectory = [dirPort](torvix::Machine& machine) {
        torvix::directory::LdapDirectoryOptions options;
        options.uri = QStringLiteral("ldap://127.0.0.1:%1").arg(dirPort);
        machine.directory = torvix::directory::makeLdapDirectory(options);
    };
    measure("silent directory server", runs, silentDirectory);
    const QByteArray cupsServer = "127.0.0.1:" + QByteArray::number(cupsPort);
    qputenv("CUPS_SERVER", cupsServer);
    measure("silent print server", runs, {});
    measure("silent directory and print server", runs, silentDirectory);
    qunsetenv("CUPS_SERVER");
    measureSilentDns(runs);
    ::close(dirFd);
    ::close(cupsFd);
    return 0;
}
