#include "items/hardware/hardware_items.h"

namespace torvix::items {

namespace {
const QString osQuery = QStringLiteral("Select * From Win32_OperatingSystem");
}

void Command5_Click(RoutineContext& ctx) {
    wmi::ObjectSet set = queryViaLocator(ctx, osQuery);
    QString caption;
    ctx.step(QStringLiteral("walk Win32_OperatingSystem"));
    while (const std::optional<wmi::Instance> os = set.next()) {
        ctx.step(QStringLiteral("Caption"));
        caption = os->property(u"Caption").toText();
        ctx.step(QStringLiteral("walk Win32_OperatingSystem"));
    }
    ctx.form().setText(QStringLiteral("Text5"), caption);
    ctx.form().setBackground(QStringLiteral("Text5"), colors::filled);
}

void Command22_Click(RoutineContext& ctx) {
    wmi::ObjectSet set = queryViaLocator(ctx, osQuery);
    QString version;
    ctx.step(QStringLiteral("walk Win32_OperatingSystem"));
    while (const std::optional<wmi::Instance> os = set.next()) {
        ctx.step(QStringLiteral("ServicePackMajorVersion"));
        version = os->property(u"ServicePackMajorVersion").toText();
        ctx.step(QStringLiteral("walk Win32_OperatingSystem"));
    }
    ctx.form().setText(QStringLiteral("Text22"),
                       version != QLatin1String("0")
                           ? QStringLiteral("サービスパック(ServicePack) ") + version
                           : QStringLiteral("サービスパックなし"));
    ctx.form().setBackground(QStringLiteral("Text22"), colors::filled);
}

void Command33_Click(RoutineContext& ctx) {
    ctx.step(QStringLiteral("IsUserAnAdmin"));
    const bool admin = ctx.system().isUserAnAdmin();
    ctx.form().setText(QStringLiteral("Text33"),
                       admin ? QStringLiteral("管理者") : QStringLiteral("標準ユーザ"));
    ctx.form().setBackground(QStringLiteral("Text33"), colors::filled);
}

void Command7_Click(RoutineContext& ctx) {
    QString list;
    wmi::ObjectSet set = queryViaLocator(ctx, QStringLiteral("Select * From Win32_PointingDevice"));
    ctx.step(QStringLiteral("walk Win32_PointingDevice"));
    while (const std::optional<wmi::Instance> device = set.next()) {
        if (!list.isEmpty()) list += QStringLiteral(" , ");
        ctx.step(QStringLiteral("Description"));
        // A device without a description adds nothing after the separator.
        const wmi::Value* description = device->find(u"Description");
        if (description && !description->isNull()) list += description->toText();
        ctx.step(QStringLiteral("walk Win32_PointingDevice"));
    }
    ctx.form().setText(QStringLiteral("Text7"), list);
    ctx.form().setBackground(QStringLiteral("Text7"), colors::filled);
}

void Command8_Click(RoutineContext& ctx) {
    ctx.step(QStringLiteral("GetSystemMetrics"));
    const ScreenSize size = ctx.system().screenSize();
    ctx.form().setText(
        QStringLiteral("Text8"),
        QString::number(size.width) + QStringLiteral(" * ") + QString::number(size.height));
    ctx.form().setBackground(QStringLiteral("Text8"), colors::filled);
}

}  // namespace torvix::items
