#pragma once

#include <QString>
#include <QStringView>

namespace torvix {

// Formats a number by a pattern such as "0.000", "###,##0", "#,##0.000", "##0.00", "##0.0",
// "00": grouping by three with "," when the pattern has a comma in its integer part, a fixed
// number of decimals, at least as many integer digits as the pattern has zeros before the point
// (at least one), rounding halves away from zero on the decimal value (0.125 -> "0.13").
QString formatNumber(double value, QStringView pattern);

}  // namespace torvix
