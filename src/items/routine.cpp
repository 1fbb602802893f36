#include "items/routine.h"

#include <cstdio>
#include <exception>

namespace torvix {

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
    cause.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString line = QStringLiteral("%1: %2: %3").arg(routineName, ctx.currentStep(), cause);
    std::fprintf(stderr, "torvix: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    for (const QString& box : boxes) ctx.form().setToolTip(box, line);
    return false;
}

}  // namespace torvix
