// Times the start and shutdown history over a 10,000-record wtmp: the whole walk as the history
// window asks for it, the first event alone, and the login count per account. Prints the median
// of N runs in milliseconds.
#include <utmp.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "bench_support.h"
#include "platform/live/history_providers.h"
#include "platform/live/login_history.h"
#include "platform/wmi/service.h"

namespace {

constexpr int kRecords = 10000;

// A busy machine's wtmp: a start every 20 records, logins and logouts between, a clean
// shutdown before most starts.
QByteArray makeWtmp() {
    QByteArray out;
    out.reserve(kRecords * static_cast<qsizetype>(sizeof(struct utmp)));
    qint64 t = 1700000000;
    for (int i = 0; i < kRecords; ++i) {
        struct utmp u;
        std::memset(&u, 0, sizeof u);
        t += 600;
        u.ut_tv.tv_sec = static_cast<int32_t>(t);
        u.ut_tv.tv_usec = (i * 7919) % 1000000;
        const int step = i % 20;
        if (step == 0) {
            u.ut_type = BOOT_TIME;
            std::strcpy(u.ut_line, "~");
            std::strcpy(u.ut_user, "reboot");
        } else if (step == 19 && i % 100 != 99) {
            u.ut_type = RUN_LVL;
            std::strcpy(u.ut_line, "~~");
            std::strcpy(u.ut_user, "shutdown");
        } else if (step % 2) {
            u.ut_type = USER_PROCESS;
            std::snprintf(u.ut_user, sizeof u.ut_user, "user%d", i % 37);
            std::snprintf(u.ut_line, sizeof u.ut_line, "pts/%d", step);
            if (step % 3 == 0) std::strcpy(u.ut_host, "192.0.2.10");
        } else {
            u.ut_type = DEAD_PROCESS;
            std::snprintf(u.ut_line, sizeof u.ut_line, "pts/%d", step - 1);
        }
        out.append(reinterpret_cast<const char*>(&u), sizeof u);
    }
    return out;
}

double medianMs(int runs, const std::function<int()>& once, int* result) {
    return torvix::bench::medianMs(runs, [&] {
        *result = once();
        return true;
    });
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    QTemporaryDir root;
    if (!root.isValid() || !QDir(root.path()).mkpath(QStringLiteral("var/log"))) return 1;
    QFile file(root.filePath(QStringLiteral("var/log/wtmp")));
    if (!file.open(QIODevice::WriteOnly) || file.write(makeWtmp()) < 0) return 1;
    file.close();

    auto registry = std::make_shared<torvix::wmi::Registry>();
    torvix::live::registerHistoryProviders(*registry,
                                           torvix::live::HistorySources{root.path(), {}});
    const torvix::wmi::QueryService service(registry);
    auto walk = [&](const QString& wql, int limit) {
        torvix::wmi::ObjectSet set = service.ConnectServer().ExecQuery(wql);
        int n = 0;
        while (n < limit && set.next()) ++n;
        return n;
    };
    const QString events = QStringLiteral(
        "Select * from Win32_NTLogEvent Where Logfile = 'System' and "
        "(EventCode = '6005' or EventCode = '6006')");

#ifdef NDEBUG
    const char* build = "optimized";
#else
    const char* build = "debug";
#endif
    std::printf("wtmp of %d records (%d bytes), median of %d runs, %s build\n", kRecords,
                static_cast<int>(kRecords * sizeof(struct utmp)), runs, build);
    int n = 0;
    double ms = medianMs(
        runs, [&] { return walk(events, kRecords); }, &n);
    std::printf("%-48s %10.2f ms  (%d events)\n", "event query, every event (service + provider)",
                ms, n);
    ms = medianMs(
        runs,
        [&] {
            torvix::live::SystemEventWalk w(root.path());
            int count = 0;
            while (w.next()) ++count;
            return count;
        },
        &n);
    std::printf("%-48s %10.2f ms  (%d events)\n", "wtmp walk, every event (goal <= 50 ms)", ms, n);
    ms = medianMs(
        runs, [&] { return walk(events, 1); }, &n);
    std::printf("%-48s %10.2f ms\n", "event query, newest event only", ms);
    ms = medianMs(
        runs,
        [&] { return walk(QStringLiteral("Select * From Win32_NetworkLoginProfile"), kRecords); },
        &n);
    std::printf("%-48s %10.2f ms  (%d profiles)\n", "login profile query", ms, n);
    return 0;
}
