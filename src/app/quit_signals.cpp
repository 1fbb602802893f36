#include "app/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace torvix {

namespace {

int pipeFds[2] = {-1, -1};
constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[3];

volatile sig_atomic_t received = 0;

extern "C" void onSignal(int sig) {
    // A second signal, or a first one the event loop cannot take within two seconds (a
    // gathering step blocked on the network), ends the process right away.
    if (received) ::_exit(128 + sig);
    received = 1;
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    if (pipeFds[1] >= 0) (void)!::write(pipeFds[1], &b, 1);
    ::alarm(2);
    errno = saved;
}

}  // namespace

QuitOnSignals::QuitOnSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (pipeFds[0] >= 0) {
        std::fprintf(stderr, "torvix: signal handling is already installed\n");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0) {
        std::perror("torvix: socketpair");
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitOnSignals::readSignal);
    for (int i = 0; i < 3; ++i) {
        struct sigaction sa {};
        sa.sa_handler = torvix::onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(handled[i], &sa, &previous[i]);
    }
}

QuitOnSignals::~QuitOnSignals() {
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i) ::sigaction(handled[i], &previous[i], nullptr);
    notifier_.reset();
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
    ::alarm(0);
    received = 0;
}

void QuitOnSignals::readSignal() {
    unsigned char b = 0;
    int last = 0;
    while (::read(pipeFds[0], &b, 1) == 1) last = b;
    if (last != 0 && onSignal_) onSignal_(last);
}

}  // namespace torvix
