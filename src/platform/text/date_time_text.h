#pragma once

#include <QDateTime>
#include <QString>

namespace torvix {

// The locale whose date and time forms are used: `localeName` when given, else the process's
// (LC_ALL, LC_TIME, LANG), else "C".
QString effectiveTimeLocale(const QString& localeName);

// General date-time text: the locale's short date, a blank, the locale's long time; the time is
// left out at exactly midnight and the date is left out when `hasDate` is false. Japanese (and
// the C/POSIX fallback): "2018/10/30 9:05:03". `localeName` empty: the process's LC_TIME.
QString generalDateTimeText(const QDateTime& value, const QString& localeName, bool hasDate = true);

}  // namespace torvix
