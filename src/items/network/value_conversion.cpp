#include <QDate>
#include <QTime>

#include "items/network/network_items.h"
#include "platform/text/date_time_text.h"
#include "platform/wmi/instance.h"

namespace torvix::items {

QString ConvertPropertyValueToString(const wmi::Value& value) {
    if (value.isObject()) return QStringLiteral("<CIM_OBJECT (embedded SWbemObject)>");
    if (value.isNull()) return QStringLiteral("<NULL>");
    if (value.isArray()) {
        // Elements take the same forms, so a null or object element cannot stop the conversion.
        QStringList parts;
        for (const wmi::Value& element : value.toArray())
            parts << ConvertPropertyValueToString(element);
        return parts.join(QLatin1Char(','));
    }
    return value.toText();
}

namespace {

constexpr int japanOffsetMinutes = 540;

int digitsAt(const QString& text, int position, int count) {  // position counts from 1
    int result = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(position - 1 + i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            throw Failure(QStringLiteral("\"%1\" is no management date-time: position %2 is not "
                                         "a digit")
                              .arg(text)
                              .arg(position + i));
        result = result * 10 + (c.unicode() - '0');
    }
    return result;
}

}  // namespace

QDateTime 日本時間に変換(const QString& managementDateTime) {
    const QString& s = managementDateTime;
    if (s.size() < 25)
        throw Failure(
            QStringLiteral("\"%1\" is no management date-time: it needs 25 characters").arg(s));
    const int year = digitsAt(s, 1, 4);
    const int month = digitsAt(s, 5, 2);
    const int day = digitsAt(s, 7, 2);
    const int hour = digitsAt(s, 9, 2);
    const int minute = digitsAt(s, 11, 2);
    const int second = digitsAt(s, 13, 2);

    // The offset: the last four characters, sign then three digits.
    const int signPos = static_cast<int>(s.size()) - 3;  // counted from 1
    const QChar sign = s.at(signPos - 1);
    if (sign != QLatin1Char('+') && sign != QLatin1Char('-'))
        throw Failure(
            QStringLiteral("\"%1\" is no management date-time: the offset has no sign").arg(s));
    int offset = digitsAt(s, signPos + 1, 3);
    if (sign == QLatin1Char('-')) offset = -offset;

    if (year < 1)
        throw Failure(
            QStringLiteral("\"%1\" is no management date-time: year %2").arg(s).arg(year));

    // Fields past their range carry into the next larger unit (month 13, day 0, hour 24, ...).
    // The arithmetic runs in UTC so that no daylight-saving gap of this computer moves the value.
    const QDate date = QDate(year, 1, 1).addMonths(month - 1).addDays(day - 1);
    const QDateTime base(date, QTime(0, 0), Qt::UTC);
    const QDateTime japan = base.addSecs(static_cast<qint64>(hour) * 3600 + minute * 60 + second +
                                         static_cast<qint64>(japanOffsetMinutes - offset) * 60);
    if (!japan.isValid())
        throw Failure(QStringLiteral("\"%1\" is no management date-time: out of range").arg(s));
    return QDateTime(japan.date(), japan.time(), Qt::LocalTime);
}

void Command4_Click(RoutineContext& ctx) {
    wmi::ObjectSet processes =
        queryViaMoniker(ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"),
                        QStringLiteral("SELECT * FROM ") + QStringLiteral("Win32_Process"));
    ctx.step(QStringLiteral("walk processes"));
    while (std::optional<wmi::Instance> process = processes.next()) {
        for (const wmi::Property& member : process->properties()) {
            const QString text = ConvertPropertyValueToString(member.value);
            if (member.name == QLatin1String("CreationDate")) {
                ctx.step(QStringLiteral("convert CreationDate"));
                const QDateTime japan = 日本時間に変換(text);
                ctx.form().setText(QStringLiteral("Text4"),
                                   generalDateTimeText(japan, ctx.machine().locale));
                ctx.form().setBackground(QStringLiteral("Text4"), colors::filled);
                return;
            }
        }
    }
}

}  // namespace torvix::items
