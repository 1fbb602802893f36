#include "items/network/network_items.h"
#include "platform/wmi/instance.h"

namespace torvix::items {

void Command6_Click(RoutineContext& ctx) {
    QString result;
    wmi::ObjectSet adapters =
        queryViaLocator(ctx, QStringLiteral("Select * From Win32_NetworkAdapterConfiguration"));
    ctx.step(QStringLiteral("read MACAddress"));
    while (std::optional<wmi::Instance> adapter = adapters.next()) {
        // Null never qualifies, neither as IPEnabled nor as MACAddress.
        const wmi::Value& enabled = adapter->property(QStringLiteral("IPEnabled"));
        if (enabled.isNull() || !enabled.toBool()) continue;
        const wmi::Value& mac = adapter->property(QStringLiteral("MACAddress"));
        if (mac.isNull()) continue;
        const QString text = mac.toText();
        if (text.isEmpty()) continue;
        result = text;
        result.replace(QLatin1Char(':'), QLatin1Char('-'));
        break;
    }
    const QString box = QStringLiteral("Text6");
    ctx.form().setBackground(box, colors::filled);
    ctx.form().setText(box, result.isEmpty() ? QStringLiteral("設定されていません") : result);
}

}  // namespace torvix::items
