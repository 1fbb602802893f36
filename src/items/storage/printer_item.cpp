#include "items/storage/storage_items.h"
#include "platform/wmi/instance.h"

namespace torvix::items {

void Command21_Click(RoutineContext& ctx) {
    // Every step skips its failure: a printer whose name cannot be read leaves the name as the
    // printer before it set it, and a failed query leaves it empty.
    QString name;
    try {
        wmi::ObjectSet printers = queryViaLocator(
            ctx, QStringLiteral("Select * From Win32_Printer Where Default='True'"));
        ctx.step(QStringLiteral("walk Win32_Printer"));
        while (std::optional<wmi::Instance> printer = printers.next()) {
            try {
                name = printer->property(u"Caption").toText();
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
        // A walk that fails part way keeps the name read so far.
    }
    ctx.form().setText(QStringLiteral("Text18"), name);
    ctx.form().setBackground(QStringLiteral("Text18"), colors::filled);
}

}  // namespace torvix::items
