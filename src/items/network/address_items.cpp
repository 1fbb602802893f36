#include "items/network/network_items.h"
#include "platform/wmi/instance.h"

namespace torvix::items {

namespace {

const QString notSet = QStringLiteral("設定されていません");

// Element 0 of an address array; an empty array has none, as a script's arr(0) would fail.
QString firstElement(const wmi::Value& value, const QString& property) {
    const std::vector<wmi::Value>& list = value.toArray();
    if (list.empty()) throw Failure(QStringLiteral("%1 has no element 0").arg(property));
    return list.front().toText();
}

// A boolean property as an "If value Then" test takes it; null counts as false.
bool isTrue(const wmi::Instance& instance, const QString& property) {
    const wmi::Value& value = instance.property(property);
    return !value.isNull() && value.toBool();
}

// Steps 1-4 shared by the IP address and subnet mask items: the first instance whose array
// property is not null gives its element 0.
void firstArrayElementItem(RoutineContext& ctx, const QString& moniker, const QString& query,
                           const QString& property, const QString& box) {
    ctx.form().setText(box, QString());
    wmi::ObjectSet adapters = queryViaMoniker(ctx, moniker, query);
    ctx.step(QStringLiteral("read ") + property);
    while (std::optional<wmi::Instance> adapter = adapters.next()) {
        const wmi::Value& value = adapter->property(property);
        if (value.isNull()) continue;
        ctx.form().setText(box, firstElement(value, property));
        break;
    }
    if (ctx.form().text(box).isEmpty()) ctx.form().setText(box, notSet);
    ctx.form().setBackground(box, colors::filled);
}

// The WINS items: the first instance's text, null counting as empty.
QString firstInstanceText(RoutineContext& ctx, const QString& property) {
    QString result;
    wmi::ObjectSet adapters = queryViaMoniker(
        ctx, QStringLiteral("winmgmts:!\\\\.\\root\\cimv2"),
        QStringLiteral("Select * from Win32_NetworkAdapterConfiguration Where IPEnabled = True"));
    ctx.step(QStringLiteral("read ") + property);
    if (std::optional<wmi::Instance> first = adapters.next()) {
        const wmi::Value& value = first->property(property);
        if (!value.isNull()) result += value.toText();
    }
    return result;
}

void showOrNotSet(RoutineContext& ctx, const QString& box, const QString& result) {
    ctx.form().setText(box, result.isEmpty() ? notSet : result);
    ctx.form().setBackground(box, colors::filled);
}

}  // namespace

void Command28_Click(RoutineContext& ctx) {
    const QString box = QStringLiteral("Text28");
    ctx.form().setBackground(box, colors::filled);
    wmi::ObjectSet adapters = queryViaMoniker(
        ctx, QStringLiteral("winmgmts:!\\\\.\\root\\cimv2"),
        QStringLiteral("Select * From Win32_NetworkadapterConfiguration Where IPEnabled = True"));
    ctx.step(QStringLiteral("read DHCPServer"));
    while (std::optional<wmi::Instance> adapter = adapters.next()) {
        if (!isTrue(*adapter, QStringLiteral("DHCPEnabled"))) continue;
        const wmi::Value& server = adapter->property(QStringLiteral("DHCPServer"));
        // DHCP is on but no server is known (no lease yet): the address is still not fixed.
        ctx.form().setText(box, server.isNull() ? QStringLiteral("不明") : server.toText());
        return;
    }
    ctx.form().setText(box, notSet);
}

void Command12_Click(RoutineContext& ctx) {
    firstArrayElementItem(
        ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"),
        QStringLiteral(
            "Select IPAddress from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"),
        QStringLiteral("IPAddress"), QStringLiteral("Text12"));
    // Reset first, so repeated runs never stack suffixes.
    const QString caption = QStringLiteral("Command12");
    ctx.form().setText(caption, QStringLiteral("ＩＰアドレス"));
    const bool fixed = ctx.form().text(QStringLiteral("Text28")) == notSet;
    ctx.form().setText(caption, ctx.form().text(caption) + (fixed ? QStringLiteral(" (固定)")
                                                                  : QStringLiteral(" (DHCP)")));
}

void Command13_Click(RoutineContext& ctx) {
    firstArrayElementItem(
        ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"),
        QStringLiteral("Select * from Win32_NetworkAdapterConfiguration Where IPEnabled = True"),
        QStringLiteral("IPSubnet"), QStringLiteral("Text13"));
}

void Command23_Click(RoutineContext& ctx) {
    QString result;
    wmi::ObjectSet adapters = queryViaMoniker(
        ctx, QStringLiteral("winmgmts:\\\\.\\root\\CIMV2"),
        QStringLiteral("SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled = True"),
        wmi::wbemFlagReturnImmediately | wmi::wbemFlagForwardOnly);
    ctx.step(QStringLiteral("read DefaultIPGateway"));
    while (std::optional<wmi::Instance> adapter = adapters.next()) {
        const wmi::Value& gateways = adapter->property(QStringLiteral("DefaultIPGateway"));
        if (gateways.isNull()) continue;
        QStringList parts;
        for (const wmi::Value& g : gateways.toArray()) parts << g.toText();
        result = parts.join(QLatin1Char(','));
        break;
    }
    showOrNotSet(ctx, QStringLiteral("Text23"), result);
}

void Command24_Click(RoutineContext& ctx) {
    wmi::ObjectSet adapters = queryViaMoniker(
        ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"),
        QStringLiteral("Select * From Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"));
    ctx.step(QStringLiteral("walk adapters"));
    std::optional<std::vector<wmi::Value>> kept;  // the last list read
    while (std::optional<wmi::Instance> adapter = adapters.next()) {
        try {
            kept = adapter->property(QStringLiteral("DNSServerSearchOrder")).toArray();
        } catch (const std::exception&) {
            // null, or not an array: keep the list as it was
        }
    }
    const int mark = kept ? static_cast<int>(kept->size()) - 1 : -1;

    ctx.step(QStringLiteral("show DNS servers"));
    if (mark == -1) {
        ctx.form().setText(QStringLiteral("Text24"), notSet);
        ctx.form().setBackground(QStringLiteral("Text24"), colors::filled);
        return;
    }
    const QString boxes[] = {QStringLiteral("Text24"), QStringLiteral("Text25"),
                             QStringLiteral("Text21")};
    for (int i = 0; i <= mark && i < 3; ++i) {
        ctx.form().setText(boxes[i], (*kept)[static_cast<std::size_t>(i)].toText());
        ctx.form().setBackground(boxes[i], colors::filled);
    }
}

void Command26_Click(RoutineContext& ctx) {
    showOrNotSet(ctx, QStringLiteral("Text26"),
                 firstInstanceText(ctx, QStringLiteral("WINSPrimaryServer")));
}

void Command27_Click(RoutineContext& ctx) {
    // Every step skips its failure; the result then stays empty.
    QString result;
    try {
        result = firstInstanceText(ctx, QStringLiteral("WINSSecondaryServer"));
    } catch (const std::exception&) {
        result.clear();
    }
    showOrNotSet(ctx, QStringLiteral("Text27"), result);
}

}  // namespace torvix::items
