#include "platform/text/date_time_text.h"

#include <QLocale>
#include <QTime>
#include <cstdlib>

namespace torvix {

namespace {

// The locale the process would use for dates: LC_ALL, then LC_TIME, then LANG.
QString processTimeLocale() {
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return QString::fromLocal8Bit(v);
    }
    return {};
}

// Japanese forms for the Japanese locale and wherever no real locale is chosen: the interface is
// Japanese.
bool usesJapaneseForms(const QString& name) {
    QString base = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (base.isEmpty() || base == QLatin1String("C") || base == QLatin1String("POSIX")) return true;
    if (base.startsWith(QLatin1String("ja"), Qt::CaseInsensitive)) return true;
    return QLocale(base).language() == QLocale::C;  // a name Qt does not know
}

// Removes time-zone fields ("t" ... "tttt") and what is left dangling around them, so the text
// does not depend on the zone database.
QString withoutTimeZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        out += c;
    }
    out.replace(QLatin1String("()"), QString());
    return out.simplified();
}

}  // namespace

QString effectiveTimeLocale(const QString& localeName) {
    if (!localeName.isEmpty()) return localeName;
    const QString process = processTimeLocale();
    return process.isEmpty() ? QStringLiteral("C") : process;
}

QString generalDateTimeText(const QDateTime& value, const QString& localeName, bool hasDate) {
    const QTime t = value.time();
    const bool midnight = t.hour() == 0 && t.minute() == 0 && t.second() == 0;
    const bool showDate = hasDate;
    const bool showTime = !midnight || !hasDate;

    const QString name = localeName.isEmpty() ? processTimeLocale() : localeName;
    QString dateText, timeText;
    if (usesJapaneseForms(name)) {
        dateText = value.date().toString(QStringLiteral("yyyy/MM/dd"));
        timeText = t.toString(QStringLiteral("H:mm:ss"));
    } else {
        const QLocale locale(name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0));
        dateText = locale.toString(value.date(), QLocale::ShortFormat);
        timeText = locale.toString(t, withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    }
    if (showDate && showTime) return dateText + QLatin1Char(' ') + timeText;
    return showDate ? dateText : timeText;
}

}  // namespace torvix
