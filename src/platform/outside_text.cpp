#include "platform/outside_text.h"

#include <algorithm>

namespace torvix {

namespace {

constexpr char16_t byteEscapeBase = 0xDC00;

bool isEscapedByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

bool needsEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

void appendEscape(QString& out, char32_t c) {
    switch (c) {
        case '\n':
            out += QLatin1String("\\n");
            return;
        case '\t':
            out += QLatin1String("\\t");
            return;
        case '\r':
            out += QLatin1String("\\r");
            return;
        case 0:
            out += QLatin1String("\\0");
            return;
        default:
            break;
    }
    if (c < 0x80)
        out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    else
        out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
}

// Length of the valid UTF-8 sequence starting at `p`, or 0 when its first byte is not one.
qsizetype validUtf8Length(const unsigned char* p, qsizetype left) {
    const unsigned char b = p[0];
    if (b < 0x80) return 1;
    qsizetype n;
    char32_t c;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        c = b & 0x07;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (qsizetype k = 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 3 && c < 0x800) || (n == 4 && c < 0x10000) || c > 0x10FFFF ||
        (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

QString escapedForMessage(QStringView value, qsizetype limit) {
    // Most values need nothing: one pass to see that, one copy.
    if (value.size() <= limit && std::none_of(value.begin(), value.end(), [](QChar c) {
            return QChar::isSurrogate(c.unicode()) || needsEscape(c.unicode());
        }))
        return value.toString();
    QString out;
    out.reserve(qMin(value.size(), limit) + 8);
    qsizetype i = 0;
    for (; i < value.size() && i < limit; ++i) {
        const char16_t c = value[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < value.size() &&
            QChar::isLowSurrogate(value[i + 1].unicode())) {
            if (i + 1 >= limit) break;  // never cut a pair in half
            out += value[i];
            out += value[i + 1];
            ++i;
        } else if (isEscapedByte(c)) {
            out += QStringLiteral("\\x%1").arg(uint(c - byteEscapeBase), 2, 16, QLatin1Char('0'));
        } else if (QChar::isSurrogate(c) || needsEscape(c)) {
            appendEscape(out, c);
        } else {
            out += value[i];
        }
    }
    if (i < value.size()) out += QChar(0x2026);
    return out;
}

QString quotedForMessage(QStringView value, qsizetype limit) {
    return QLatin1Char('"') + escapedForMessage(value, limit) + QLatin1Char('"');
}

QString textFromBytes(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    QString out;
    out.reserve(size);
    qsizetype runStart = 0, i = 0;
    while (i < size) {
        const qsizetype n = validUtf8Length(p + i, size - i);
        if (n > 0) {
            i += n;
            continue;
        }
        out += QString::fromUtf8(bytes.data() + runStart, i - runStart);
        out += QChar(char16_t(byteEscapeBase + p[i]));
        runStart = ++i;
    }
    out += QString::fromUtf8(bytes.data() + runStart, size - runStart);
    return out;
}

QByteArray bytesFromText(QStringView text) {
    QByteArray out;
    out.reserve(text.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(text[i - 1].unicode());
        if (!isEscapedByte(c) || paired) continue;
        out += text.mid(runStart, i - runStart).toUtf8();
        out += char(c - byteEscapeBase);
        runStart = i + 1;
    }
    out += text.mid(runStart).toUtf8();
    return out;
}

}  // namespace torvix
