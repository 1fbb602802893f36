#include "platform/outside_text.h"

#include <gtest/gtest.h>

using namespace torvix;

TEST(OutsideText, EscapesControlCharactersAndCutsLongValues) {
    const QString longValue = QString(300, QLatin1Char('a'));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");  // one surrogate pair
    struct Case {
        QString value;
        qsizetype limit;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"plain text", 200, "plain text"},
        {QString::fromUtf8("日本語 root\\cimv2"), 200, QString::fromUtf8("日本語 root\\cimv2")},
        {"a\nb\tc\rd", 200, "a\\nb\\tc\\rd"},
        {QString(QChar(0)) + "x", 200, "\\0x"},
        {"\x1b[31mred\x07", 200, "\\x1b[31mred\\x07"},
        {QString("del") + QChar(0x7f), 200, "del\\x7f"},
        {QString(QChar(0x9b)) + "2J", 200, "\\u009b2J"},  // C1 control sequence introducer
        {QString("a") + QChar(0x202e) + "b" + QChar(0x2028), 200, "a\\u202eb\\u2028"},
        {QString(QChar(0xDCFF)) + QChar(0xDCFE), 200, "\\xff\\xfe"},  // bytes kept from argv
        {QString(QChar(0xD800)) + "x", 200, "\\ud800x"},              // a broken pair
        {longValue, 200, QString(200, QLatin1Char('a')) + QChar(0x2026)},
        {QString(200, QLatin1Char('b')), 200, QString(200, QLatin1Char('b'))},
        {"ab" + emoji, 3, "ab" + QString(QChar(0x2026))},  // a pair is never cut in half
        {"ab" + emoji, 4, "ab" + emoji},
        {"\n\n\n", 2, "\\n\\n" + QString(QChar(0x2026))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.left(40).toStdString());
        EXPECT_EQ(escapedForMessage(c.value, c.limit), c.expected);
    }
    EXPECT_EQ(quotedForMessage(QStringLiteral("a\nb")), QStringLiteral("\"a\\nb\""));
    EXPECT_EQ(escapedForMessage(QString(10'000'000, QLatin1Char('x'))).size(), 201);
}

TEST(OutsideText, BytesRoundTripThroughText) {
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"plain.json", "plain.json"},
        {"\xE6\x97\xA5\xE6\x9C\xAC.json", QString::fromUtf8("日本.json")},
        {"\xFF\xFE.json", QString(QChar(0xDCFF)) + QChar(0xDCFE) + ".json"},
        {"a\xC3", QString("a") + QChar(0xDCC3)},                                   // cut sequence
        {"\xC0\xAF", QString(QChar(0xDCC0)) + QChar(0xDCAF)},                      // overlong "/"
        {"\xED\xA0\x80", QString(QChar(0xDCED)) + QChar(0xDCA0) + QChar(0xDC80)},  // surrogate
        {"\xF4\x90\x80\x80",
         QString(QChar(0xDCF4)) + QChar(0xDC90) + QChar(0xDC80) + QChar(0xDC80)},
        {"\xF0\x9F\x98\x80\x80", QString::fromUtf8("\xF0\x9F\x98\x80") + QChar(0xDC80)},
        {"x\xE6\x97", QString("x") + QChar(0xDCE6) + QChar(0xDC97)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        EXPECT_EQ(textFromBytes(c.bytes), c.text);
        EXPECT_EQ(bytesFromText(c.text), c.bytes);
    }
    // Every single byte and every pair of bytes comes back as it was.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes{char(a), char(b)};
            ASSERT_EQ(bytesFromText(textFromBytes(bytes)), bytes) << a << " " << b;
        }
    }
}
