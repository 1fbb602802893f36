#include <limits>

#include "items/hardware/hardware_items.h"
#include "platform/text/number_format.h"

namespace torvix::items {

namespace {
const QString processorQuery = QStringLiteral("Select * From Win32_Processor");
}

void Command1_Click(RoutineContext& ctx) {
    wmi::ObjectSet set = queryViaLocator(ctx, processorQuery);
    ctx.step(QStringLiteral("walk Win32_Processor"));
    const std::optional<wmi::Instance> first = set.next();
    if (!first) return;  // no processor listed: the box keeps its text and colour
    ctx.step(QStringLiteral("MaxClockSpeed"));
    const double mhz = first->property(u"MaxClockSpeed").toDouble();
    ctx.form().setText(QStringLiteral("Text1"),
                       formatNumber(mhz / 1000, u"0.000") + QStringLiteral("GHz"));
    ctx.form().setBackground(QStringLiteral("Text1"), colors::filled);
}

void Command2_Click(RoutineContext& ctx) {
    wmi::ObjectSet set = queryViaLocator(ctx, processorQuery);
    ctx.step(QStringLiteral("walk Win32_Processor"));
    if (const std::optional<wmi::Instance> first = set.next()) {
        ctx.step(QStringLiteral("Description"));
        ctx.form().setText(QStringLiteral("Text2"), first->property(u"Description").toText());
    }
    ctx.form().setBackground(QStringLiteral("Text2"), colors::filled);
}

// Every failing step is skipped; what could not be read shows "不明".
void Command3_Click(RoutineContext& ctx) {
    QString countText = QStringLiteral("不明");
    try {
        ctx.step(QStringLiteral("GetSystemInfo"));
        countText = QString::number(ctx.system().processorCount());
    } catch (const Failure&) {
    }

    std::optional<wmi::Services> services;
    try {
        ctx.step(QStringLiteral("ConnectServer"));
        services.emplace(ctx.wmi().ConnectServer());
    } catch (const Failure&) {
    }

    QString widthText = QStringLiteral("不明");
    std::int64_t width = 0;
    try {
        ctx.step(QStringLiteral("AddressWidth"));
        if (services) {
            wmi::ObjectSet set = services->ExecQuery(processorQuery);
            if (const std::optional<wmi::Instance> first = set.next()) {
                // A 16-bit integer in the window's language: a larger value fails to assign.
                const std::int64_t v = first->property(u"AddressWidth").toInteger();
                if (v >= std::numeric_limits<std::int16_t>::min() &&
                    v <= std::numeric_limits<std::int16_t>::max())
                    width = v;
            }
        }
    } catch (const Failure&) {
    }
    if (width > 0) widthText = QString::number(width);

    ctx.form().setText(QStringLiteral("Text3"), QStringLiteral("コア数 ") + countText +
                                                    QStringLiteral("  (") + widthText +
                                                    QStringLiteral("ビット)"));
    ctx.form().setBackground(QStringLiteral("Text3"), colors::filled);
}

}  // namespace torvix::items
