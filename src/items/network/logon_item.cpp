#include "items/network/network_items.h"
#include "platform/wmi/instance.h"

namespace torvix::items {

void Command29_Click(RoutineContext& ctx) {
    const QString box = QStringLiteral("Text29");
    wmi::ObjectSet profiles =
        queryViaLocator(ctx, QStringLiteral("Select * From Win32_NetworkLoginProfile"));
    // Every profile is read: the last one with a count other than 1 decides the box.
    for (int index = 1;; ++index) {
        ctx.step(QStringLiteral("read profile %1").arg(index));
        const std::optional<wmi::Instance> profile = profiles.next();
        if (!profile) break;
        ctx.step(QStringLiteral("read NumberOfLogons of profile %1").arg(index));
        const wmi::Value& count = profile->property(QStringLiteral("NumberOfLogons"));
        if (count.isNull() || count.toDouble() == 1) continue;
        ctx.form().setText(box, count.toText());
        ctx.form().setBackground(box, colors::filled);
    }
}

}  // namespace torvix::items
