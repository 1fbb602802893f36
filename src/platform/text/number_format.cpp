#include "platform/text/number_format.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace torvix {

namespace {

struct Pattern {
    int minIntegerDigits = 1;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool grouping = false;
};

Pattern parsePattern(QStringView pattern) {
    Pattern p;
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const QStringView integerPart = point < 0 ? pattern : pattern.left(point);
    const QStringView decimalPart = point < 0 ? QStringView() : pattern.mid(point + 1);
    int zeros = 0;
    for (QChar c : integerPart) {
        if (c == QLatin1Char('0')) ++zeros;
        if (c == QLatin1Char(',')) p.grouping = true;
    }
    p.minIntegerDigits = zeros > 0 ? zeros : 1;
    for (QChar c : decimalPart) {
        if (c == QLatin1Char('0')) {
            ++p.minDecimals;
            ++p.maxDecimals;
        } else if (c == QLatin1Char('#')) {
            ++p.maxDecimals;
        }
    }
    return p;
}

// Adds one to a string of decimal digits.
void incrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

}  // namespace

QString formatNumber(double value, QStringView pattern) {
    if (std::isnan(value)) return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");

    const Pattern p = parsePattern(pattern);
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    // Round the number as its decimal text reads (15 significant digits, as the window's
    // language formats a double), not its binary value: 1.005 with two decimals is 1.01.
    std::string digits;  // significant digits of the rounded value times 10^maxDecimals
    if (magnitude != 0.0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.14e", magnitude);
        std::string mantissa;
        const char* c = buf;
        for (; *c && *c != 'e'; ++c)
            if (*c >= '0' && *c <= '9') mantissa += *c;
        const int exponent = *c == 'e' ? std::atoi(c + 1) : 0;
        const int integerDigits = exponent + 1;  // digits before the point (may be <= 0)
        const int keep = integerDigits + p.maxDecimals;
        if (keep >= 0) {
            std::string kept = mantissa.substr(0, static_cast<size_t>(std::min<int>(keep, 15)));
            if (keep > 15) kept.append(static_cast<size_t>(keep - 15), '0');
            const char next = keep < 15 ? mantissa[static_cast<size_t>(keep)] : '0';
            if (next >= '5') incrementDigits(kept);
            digits = kept;
        }
    }
    if (digits.empty()) digits.assign(1, '0');  // not = "0": GCC 12 warns wrongly (-Wrestrict)

    // Split into integer and decimal digits.
    if (static_cast<int>(digits.size()) <= p.maxDecimals)
        digits.insert(digits.begin(), static_cast<size_t>(p.maxDecimals - digits.size() + 1), '0');
    std::string integer = digits.substr(0, digits.size() - static_cast<size_t>(p.maxDecimals));
    std::string decimals = digits.substr(digits.size() - static_cast<size_t>(p.maxDecimals));
    while (static_cast<int>(decimals.size()) > p.minDecimals && !decimals.empty() &&
           decimals.back() == '0')
        decimals.pop_back();

    const size_t firstNonZero = integer.find_first_not_of('0');
    integer = firstNonZero == std::string::npos ? std::string() : integer.substr(firstNonZero);
    if (static_cast<int>(integer.size()) < p.minIntegerDigits)
        integer.insert(integer.begin(), static_cast<size_t>(p.minIntegerDigits - integer.size()),
                       '0');

    const bool isZero = integer.find_first_not_of('0') == std::string::npos &&
                        decimals.find_first_not_of('0') == std::string::npos;

    std::string out;
    if (negative && !isZero) out += '-';
    if (p.grouping) {
        const size_t n = integer.size();
        for (size_t i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0) out += ',';
            out += integer[i];
        }
    } else {
        out += integer;
    }
    if (!decimals.empty()) {
        out += '.';
        out += decimals;
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

}  // namespace torvix
