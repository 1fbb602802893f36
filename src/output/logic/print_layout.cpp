#include "output/logic/print_layout.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

namespace torvix {

namespace {

// A product as a whole number of twips: half to even (as the fitted sizes were always rounded),
// kept inside 0..INT_MAX (a page smaller than the allowance gives negative ratios, a huge typed
// size huge products).
int wholeTwips(double value) {
    if (!(value > 0)) return 0;  // also NaN
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
    if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(rounded);
}

}  // namespace

PrintPlacement printPlacement(int pictureWidth, int pictureHeight, int pageWidth, int pageHeight,
                              float printScale) {
    PrintPlacement p;
    p.left = printMarginTwips;
    p.top = printMarginTwips;
    p.width = pictureWidth;
    p.height = pictureHeight;
    const long long roomWidth = static_cast<long long>(pageWidth) - printAllowanceTwips;
    const long long roomHeight = static_cast<long long>(pageHeight) - printAllowanceTwips;
    if (pictureHeight > roomHeight || pictureWidth > roomWidth) {
        if (pictureWidth <= 0 || pictureHeight <= 0) {
            // No ratio to a picture without extent: nothing to draw.
            p.width = p.height = 0;
            return p;
        }
        float rh = static_cast<float>(static_cast<double>(roomHeight) / pictureHeight);
        float rw = static_cast<float>(static_cast<double>(roomWidth) / pictureWidth);
        rh = rh * printScale;
        rw = rw * printScale;
        const double r = rh < rw ? rh : rw;  // a tie takes the width's ratio
        p.height = wholeTwips(r * pictureHeight);
        p.width = wholeTwips(r * pictureWidth);
    }
    return p;
}

double leadingNumber(const QString& text) {
    const QString plain = text.normalized(QString::NormalizationForm_KC);
    std::string number;
    bool digits = false;
    bool point = false;
    enum class Stage { Sign, Mantissa, ExponentSign, Exponent } stage = Stage::Sign;
    std::string exponent;
    for (const QChar c : plain) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') continue;
        const char16_t u = c.unicode();
        if (stage == Stage::Sign) {
            stage = Stage::Mantissa;
            if (u == u'+' || u == u'-') {
                if (u == u'-') number += '-';
                continue;
            }
        }
        if (stage == Stage::Mantissa) {
            if (u >= u'0' && u <= u'9') {
                number += static_cast<char>(u);
                digits = true;
                continue;
            }
            if (u == u'.' && !point) {
                number += '.';
                point = true;
                continue;
            }
            if (digits && (u == u'e' || u == u'E' || u == u'd' || u == u'D')) {
                stage = Stage::ExponentSign;
                continue;
            }
            break;
        }
        if (stage == Stage::ExponentSign) {
            stage = Stage::Exponent;
            if (u == u'+' || u == u'-') {
                exponent += static_cast<char>(u);
                continue;
            }
        }
        if (u >= u'0' && u <= u'9') {
            exponent += static_cast<char>(u);
            continue;
        }
        break;
    }
    if (!digits) return 0;
    // An exponent marker without digits after it ends the number before the marker.
    if (!exponent.empty() && exponent.back() >= '0' && exponent.back() <= '9')
        number += 'e' + exponent;
    const std::string_view view =
        number.front() == '-' ? std::string_view(number).substr(1) : std::string_view(number);
    double value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Too small rounds to 0; too large is infinite.
        const bool tiny = number.find("e-") != std::string::npos;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (error != std::errc()) {
        value = 0;
    }
    return number.front() == '-' ? -value : value;
}

PrintFailureMessage noDefaultPrinterMessage() {
    return {QStringLiteral("「通常使うプリンター」が設定されていないため、印刷できませんでした。"),
            QStringLiteral("印刷")};
}

PrintFailureMessage printRefusedMessage(const QString& printer, const QString& reason) {
    QString text =
        QStringLiteral("プリンター「%1」が印刷を受け付けなかったため、印刷できませんでした。")
            .arg(printer);
    if (!reason.trimmed().isEmpty()) text += QStringLiteral("\r\n") + reason.trimmed();
    return {text, QStringLiteral("印刷")};
}

PrintFailureMessage pictureTooSmallMessage() {
    return {
        QStringLiteral("指定されたサイズでは画面が小さくなりすぎるため、印刷できませんでした。"),
        QStringLiteral("印刷")};
}

PrintFailureMessage printNotMadeMessage(const QString& reason) {
    QString text = QStringLiteral("印刷するページを作成できなかったため、印刷できませんでした。");
    if (!reason.trimmed().isEmpty()) text += QStringLiteral("\r\n") + reason.trimmed();
    return {text, QStringLiteral("印刷")};
}

}  // namespace torvix
