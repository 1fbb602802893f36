#include "items/routine.h"

#include <cstdio>
#include <exception>

#include "platform/outside_text.h"

namespace torvix {

namespace {

// A cause is mostly our own words around a value that is cut already; this only bounds it.
constexpr qsizetype causeLimit = 1000;

}  // namespace

wmi::ObjectSet queryViaLocator(RoutineContext& ctx, const QString& query, int flags) {
    ctx.step(QStringLiteral("ConnectServer"));
    const wmi::Services services = ctx.wmi().ConnectServer();
    ctx.step(QStringLiteral("ExecQuery \"%1\"").arg(query));
    return services.ExecQuery(query, flags);
}

wmi::ObjectSet queryViaMoniker(RoutineContext& ctx, const QString& moniker, const QString& query,
                               int flags) {
    ctx.step(QStringLiteral("GetObject \"%1\"").arg(moniker));
    const wmi::Services services = ctx.wmi().connect(moniker);
    ctx.step(QStringLiteral("ExecQuery \"%1\"").arg(query));
    return services.ExecQuery(query, flags);
}

bool runRoutine(RoutineContext& ctx, const QString& routineName, const QStringList& boxes,
                const RoutineFn& routine) {
    ctx.step(QStringLiteral("start"));
    QString cause;
    try {
        routine(ctx);
        for (const QString& box : boxes) ctx.form().setToolTip(box, QString());
        return true;
    } catch (const Failure& f) {
        cause = f.message();
    } catch (const std::exception& e) {
        cause = QString::fromLocal8Bit(e.what());
    }
    // The cause and the step may carry text from a file or a service.
    cause = escapedForMessage(cause, causeLimit);
    const QString line =
        QStringLiteral("%1: %2: %3")
            .arg(routineName, escapedForMessage(ctx.currentStep(), causeLimit), cause);
    unguardedFailureLog().report(line, cause);
    for (const QString& box : boxes) ctx.form().setToolTip(box, line);
    return false;
}

void UnguardedFailureLog::report(const QString& line, const QString& cause) {
    auto known = repeats_.find(cause);
    if (known == repeats_.end()) {
        repeats_.insert(cause, 0);
        print_(line);
        return;
    }
    if (++*known == 1) pending_ << cause;
}

void UnguardedFailureLog::flush() {
    for (const QString& cause : std::as_const(pending_)) {
        int& n = repeats_[cause];
        print_(QStringLiteral("…: %1 (and %2 more routine%3)")
                   .arg(cause)
                   .arg(n)
                   .arg(n == 1 ? QString() : QStringLiteral("s")));
        n = 0;
    }
    pending_.clear();
}

UnguardedFailureLog& unguardedFailureLog() {
    static UnguardedFailureLog log([](const QString& line) {
        std::fprintf(stderr, "torvix: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    });
    return log;
}

}  // namespace torvix
