#include <cmath>

#include "items/hardware/hardware_items.h"
#include "platform/text/number_format.h"

namespace torvix::items {

namespace {
constexpr int flags48 = wmi::wbemFlagReturnImmediately | wmi::wbemFlagForwardOnly;
const QString button25 = QStringLiteral("Command25");
const QString button35 = QStringLiteral("Command35");
}  // namespace

void Command17_Click(RoutineContext& ctx) {
    wmi::ObjectSet set =
        queryViaMoniker(ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"),
                        QStringLiteral("Select * from Win32_ComputerSystem"), flags48);
    double mebibytes = 0;
    ctx.step(QStringLiteral("walk Win32_ComputerSystem"));
    if (const std::optional<wmi::Instance> first = set.next()) {
        ctx.step(QStringLiteral("TotalPhysicalMemory"));
        mebibytes = first->property(u"TotalPhysicalMemory").toDouble() / 1024 / 1024;
    }
    ctx.form().setText(QStringLiteral("Text14"),
                       formatNumber(mebibytes, u"###,##0") + QStringLiteral("MB"));
    ctx.form().setBackground(QStringLiteral("Text14"), colors::filled);
}

void Command25_Click(RoutineContext& ctx) {
    FormModel& form = ctx.form();
    if (!ctx.shared().MemoryCheckEnabled) {
        form.setText(button25, QStringLiteral("空きメモリチェック無効中"));
        return;
    }
    const QString captionBefore = form.text(button25);
    const std::optional<Rgb> colourBefore = form.background(button25);
    form.setBackground(button25, colors::yellow);
    form.setText(button25, QStringLiteral("空きメモリチェック中(５秒毎)"));

    double total = 0, free = 0;
    bool found = false;
    try {
        wmi::ObjectSet set = queryViaMoniker(
            ctx,
            QStringLiteral("winmgmts:\\\\") + QStringLiteral(".") + QStringLiteral("\\root\\cimv2"),
            QStringLiteral("Select * From Win32_OperatingSystem"), flags48);
        ctx.step(QStringLiteral("walk Win32_OperatingSystem"));
        while (const std::optional<wmi::Instance> os = set.next()) {
            ctx.step(QStringLiteral("TotalVisibleMemorySize"));
            total = os->property(u"TotalVisibleMemorySize").toDouble();
            ctx.step(QStringLiteral("FreePhysicalMemory"));
            free = os->property(u"FreePhysicalMemory").toDouble();
            found = true;
            ctx.step(QStringLiteral("walk Win32_OperatingSystem"));
        }
    } catch (...) {
        // A failed reading must not leave the button saying a check is under way.
        form.setText(button25, captionBefore);
        form.setBackground(button25, colourBefore);
        throw;
    }

    // Without an instance or with a total of 0 the share cannot be worked out: say so rather
    // than show a division by zero.
    const double share = free / total * 100;
    const QString shareText = found && total > 0 && std::isfinite(share)
                                  ? formatNumber(share, u"##0.0")
                                  : QStringLiteral("不明");
    form.setText(QStringLiteral("Text20"), formatNumber(free / 1000, u"###,##0") +
                                               QStringLiteral("MB   (") + shareText +
                                               QStringLiteral("%)"));
    form.setText(button25, QStringLiteral("空きメモリサイズ(自動)"));
    form.setBackground(button25, colourBefore);
    form.setBackground(QStringLiteral("Text20"), colors::filled);
}

void Command35_Click(RoutineContext& ctx) {
    FormModel& form = ctx.form();
    SharedValues& shared = ctx.shared();
    if (shared.MemoryCheckEnabled) {
        shared.MemoryCheckEnabled = false;
        form.setText(button35, QStringLiteral("↑ この機能を有効にする"));
        form.setBackground(button35, colors::lightGreen);
        return;
    }
    shared.MemoryCheckEnabled = true;
    ctx.step(QStringLiteral("MsgBox"));
    ctx.ui().messageBox(QString::number(shared.timer1IntervalMs / 1000) +
                            QStringLiteral("秒毎に空きメモリをチェックします。"),
                        QStringLiteral("メモリチェック"), UserInterface::Buttons::Ok,
                        UserInterface::Icon::Information);
    form.setText(button35, QStringLiteral("↑ この機能を無効にする"));
    form.setBackground(button35, colors::yellow);
}

}  // namespace torvix::items
