#include "platform/text/number_format.h"

#include <gtest/gtest.h>

using torvix::formatNumber;

namespace {
struct Case {
    double value;
    const char* pattern;
    const char* expected;
};

void expectAll(std::initializer_list<Case> cases) {
    for (const Case& c : cases)
        EXPECT_EQ(formatNumber(c.value, QString::fromLatin1(c.pattern)),
                  QString::fromLatin1(c.expected))
            << c.value << " with " << c.pattern;
}
}  // namespace

TEST(NumberFormat, FixedDecimals) {
    expectAll({{2.394, "0.000", "2.394"},
               {0.8, "0.000", "0.800"},
               {3, "0.000", "3.000"},
               {2.3945, "0.000", "2.395"},
               {1234.5, "0.000", "1234.500"}});
}

TEST(NumberFormat, WholeNumbersWithGrouping) {
    expectAll({{8192, "###,##0", "8,192"},
               {4123.456, "###,##0", "4,123"},
               {2048, "###,##0", "2,048"},
               {0, "###,##0", "0"},
               {0.4, "###,##0", "0"},
               {999.5, "###,##0", "1,000"},
               {1234567.5, "###,##0", "1,234,568"},
               {123, "###,##0", "123"},
               {1e20, "###,##0", "100,000,000,000,000,000,000"}});
}

TEST(NumberFormat, DriveFigures) {
    expectAll({{500.107862016, "#,##0.000", "500.108"},
               {1000.204886016, "#,##0.000", "1,000.205"},
               {0, "#,##0.000", "0.000"},
               {313.00708352, "#,##0.000", "313.007"},
               {62.58791498662462, "##0.00", "62.59"},
               {100, "##0.00", "100.00"},
               {0.5, "##0.00", "0.50"},
               {1234.5, "##0.00", "1234.50"}});
}

TEST(NumberFormat, HalvesRoundAwayFromZeroOnTheDecimalValue) {
    // 1.005 and 2.675 lie just below the half in binary; the text they read as decides.
    expectAll({{0.125, "0.00", "0.13"},
               {1.005, "0.00", "1.01"},
               {2.675, "0.00", "2.68"},
               {0.005, "0.00", "0.01"},
               {0.0049, "0.00", "0.00"},
               {9.995, "0.00", "10.00"},
               {99.95, "##0.0", "100.0"},
               {49.7, "##0.0", "49.7"},
               {5, "##0.0", "5.0"},
               {2.5, "###,##0", "3"},
               {1e-20, "0.00", "0.00"}});
}

TEST(NumberFormat, NegativeNumbers) {
    expectAll({{-1.005, "0.00", "-1.01"},
               {-1234.5, "###,##0", "-1,235"},
               {-0.001, "0.00", "0.00"},
               {-0.0, "0.00", "0.00"},
               {-0.4, "###,##0", "0"}});
}

TEST(NumberFormat, MinimumIntegerDigits) {
    expectAll({{5, "00", "05"}, {123, "00", "123"}, {0, "00", "00"}, {7.5, "00", "08"}});
}

TEST(NumberFormat, NotANumberIsNamed) {
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN(), u"0.00"), "NaN");
    EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity(), u"0.00"), "-Infinity");
}
