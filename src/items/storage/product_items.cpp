#include "items/storage/storage_items.h"

namespace torvix::items {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QChar(0x3000);
}

// Blanks for the model's trimming: the space, the tab and the ideographic space.
QString trimBlanks(const QString& s) {
    qsizetype begin = 0, end = s.size();
    while (begin < end && isBlank(s.at(begin))) ++begin;
    while (end > begin && isBlank(s.at(end - 1))) --end;
    return s.mid(begin, end - begin);
}

void showProduct(RoutineContext& ctx, const QString& box, const char16_t* property, bool trim) {
    QString result;
    wmi::ObjectSet set =
        queryViaLocator(ctx, QStringLiteral("Select * From Win32_ComputerSystemProduct"));
    ctx.step(QStringLiteral("walk Win32_ComputerSystemProduct"));
    if (const std::optional<wmi::Instance> product = set.next()) {
        ctx.step(QString::fromUtf16(property));
        const wmi::Value& value = product->property(property);
        QString text = value.isNull() ? QString() : value.toText();
        if (trim) text = trimBlanks(text);
        result = text.isEmpty() ? QStringLiteral("定義されていません") : text;
    }
    ctx.form().setText(box, result);
    ctx.form().setBackground(box, colors::filled);
}

}  // namespace

void Command39_Click(RoutineContext& ctx) {
    showProduct(ctx, QStringLiteral("Text39"), u"Name", true);
}

void Command40_Click(RoutineContext& ctx) {
    showProduct(ctx, QStringLiteral("Text40"), u"Vendor", false);
}

}  // namespace torvix::items
