// Times the domain password change date (Command32): on this computer (its own directory
// configuration and domain), and against a directory server that accepts and never answers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/logic/form1_logic.h"
#include "bench_support.h"
#include "items/catalog.h"
#include "items/network/network_items.h"
#include "items/user_interface.h"
#include "platform/directory/directory.h"

namespace {

using torvix::bench::medianMs;
using torvix::bench::NoProgram;
using torvix::bench::QuietUi;

// A socket on 127.0.0.1 that listens and never answers; its port, or 0.
int silentListener(int& fd) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 11;
    QuietUi ui;
    NoProgram program;
    torvix::Machine machine = torvix::makeLiveMachine({});
    torvix::Form1Logic logic(machine, ui, program);

    const double here = medianMs(runs, [&] {
        torvix::runItem(logic.context(), QStringLiteral("Command32"));
        return true;
    });
    std::printf("median of %d runs\n", runs);
    std::printf("%-48s %10.2f ms (%s)\n", "domain password date, this computer", here,
                qPrintable(logic.context().form().text(QStringLiteral("Text32"))));

    // What the directory says on this computer, so that the figure can be read.
    try {
        std::array<QString, 5> components;
        torvix::items::domain_c(torvix::items::GetJoinDomainName(logic.context()), components);
        const QString query = torvix::items::domainUserQueryText(
            components, torvix::items::GetUserName(logic.context()));
        const auto rows = machine.directory->open(QStringLiteral("ADsDSOObject"), QString())
                              ->execute(query, {10000, 2});
        std::printf("  %s: %zu rows\n", qPrintable(query), rows.size());
    } catch (const torvix::Failure& f) {
        std::printf("  directory: %s\n", qPrintable(f.message()));
    }

    int fd = -1;
    const int port = silentListener(fd);
    if (port == 0) {
        std::printf("%-48s failed (no listener)\n", "domain password date, silent server");
        return 1;
    }
    torvix::directory::LdapDirectoryOptions options;
    options.uri = QStringLiteral("ldap://127.0.0.1:%1").arg(port);
    machine.directory = torvix::directory::makeLdapDirectory(options);
    torvix::Form1Logic silent(machine, ui, program);
    const int slowRuns = std::min(runs, 3);
    const double bounded = medianMs(slowRuns, [&] {
        torvix::runItem(silent.context(), QStringLiteral("Command32"));
        return true;
    });
    std::printf("%-48s %10.2f ms (%s, median of %d)\n", "domain password date, silent server",
                bounded, qPrintable(silent.context().form().text(QStringLiteral("Text32"))),
                slowRuns);
    ::close(fd);
    return 0;
}
