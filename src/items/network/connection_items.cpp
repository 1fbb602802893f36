#include "items/network/network_items.h"
#include "platform/wmi/instance.h"
#include "platform/wmi/wql.h"

namespace torvix::items {

namespace {
const QString notSet = QStringLiteral("設定されていません");
}

QString pingQueryText(const QString& address) {
    return QStringLiteral("select * from Win32_PingStatus where address = ") +
           wmi::wql::quote(address);
}

void Command9_Click(RoutineContext& ctx) {
    const QString box = QStringLiteral("Text9");
    ctx.form().setBackground(box, colors::filled);

    wmi::ObjectSet adapters = queryViaMoniker(
        ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"),
        QStringLiteral(
            "Select IPAddress from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"));
    ctx.step(QStringLiteral("read the first adapter's IPAddress"));
    QString ownAddress;
    if (std::optional<wmi::Instance> first = adapters.next()) {
        const wmi::Value& addresses = first->property(QStringLiteral("IPAddress"));
        if (addresses.isNull()) {
            ctx.form().setText(box, QStringLiteral("未接続設定"));
            return;
        }
        const std::vector<wmi::Value>& list = addresses.toArray();
        if (list.empty()) throw Failure(QStringLiteral("IPAddress has no element 0"));
        ownAddress = list.front().toText();
    }

    wmi::ObjectSet replies =
        queryViaMoniker(ctx, QStringLiteral("winmgmts:{impersonationLevel=impersonate}"),
                        pingQueryText(ownAddress));
    ctx.step(QStringLiteral("read StatusCode"));
    while (std::optional<wmi::Instance> reply = replies.next()) {
        const wmi::Value& status = reply->property(QStringLiteral("StatusCode"));
        if (status.isNull() || status.toInteger() != 0) {
            ctx.form().setText(box, QStringLiteral("接続環境未設定"));
            return;
        }
    }
    ctx.form().setText(box, QStringLiteral("接続環境設定済"));
}

void Command10_Click(RoutineContext& ctx) {
    // Every step skips its failure: the box shows what the result holds by then.
    QString result;
    try {
        wmi::ObjectSet systems =
            queryViaMoniker(ctx, QStringLiteral("winmgmts:!\\\\.\\root\\cimv2"),
                            QStringLiteral("Select * from Win32_ComputerSystem"),
                            wmi::wbemFlagReturnImmediately | wmi::wbemFlagForwardOnly);
        ctx.step(QStringLiteral("read UserName"));
        if (std::optional<wmi::Instance> first = systems.next())
            result = first->property(QStringLiteral("UserName")).toText();
    } catch (const std::exception&) {
    }
    ctx.form().setText(QStringLiteral("Text10"), result);
    ctx.form().setBackground(QStringLiteral("Text10"), colors::filled);
}

void Command11_Click(RoutineContext& ctx) {
    const QString box = QStringLiteral("Text11");
    ctx.form().setText(box, QString());

    wmi::ObjectSet adapters = queryViaMoniker(
        ctx, QStringLiteral("winmgmts:!\\\\.\\root\\cimv2"),
        QStringLiteral("Select * from Win32_NetworkAdapterConfiguration Where IPEnabled = True"));
    ctx.step(QStringLiteral("read DNSHostName"));
    if (std::optional<wmi::Instance> first = adapters.next()) {
        const wmi::Value& host = first->property(QStringLiteral("DNSHostName"));
        // A null host name counts as none.
        if (!host.isNull()) ctx.form().setText(box, host.toText());
    }
    if (ctx.form().text(box).isEmpty()) ctx.form().setText(box, notSet);
    ctx.form().setBackground(box, colors::filled);
}

}  // namespace torvix::items
