#include "platform/text/date_time_text.h"

#include <gtest/gtest.h>

#include <QLocale>

using torvix::generalDateTimeText;

namespace {
QDateTime at(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
}  // namespace

TEST(GeneralDateTimeText, JapaneseForm) {
    EXPECT_EQ(generalDateTimeText(at(2018, 10, 30, 9, 5, 3), "ja_JP"), "2018/10/30 9:05:03");
    EXPECT_EQ(generalDateTimeText(at(2024, 4, 1, 8, 5, 9), "ja_JP.UTF-8"), "2024/04/01 8:05:09");
    EXPECT_EQ(generalDateTimeText(at(2024, 4, 1, 23, 59, 59), "ja"), "2024/04/01 23:59:59");
}

TEST(GeneralDateTimeText, MidnightAndNoDate) {
    EXPECT_EQ(generalDateTimeText(at(2024, 4, 1, 0, 0, 0), "ja_JP"), "2024/04/01");
    EXPECT_EQ(generalDateTimeText(at(2024, 4, 1, 0, 0, 1), "ja_JP"), "2024/04/01 0:00:01");
    EXPECT_EQ(generalDateTimeText(at(2024, 4, 1, 9, 5, 3), "ja_JP", false), "9:05:03");
    // A value with neither a date nor a time still shows the time.
    EXPECT_EQ(generalDateTimeText(at(2024, 4, 1, 0, 0, 0), "ja_JP", false), "0:00:00");
}

TEST(GeneralDateTimeText, NoLocaleChosenUsesTheJapaneseForm) {
    for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE"})
        EXPECT_EQ(generalDateTimeText(at(2018, 10, 30, 9, 5, 3), QString::fromLatin1(name)),
                  "2018/10/30 9:05:03")
            << name;
    qputenv("LC_ALL", "C");
    EXPECT_EQ(generalDateTimeText(at(2018, 10, 30, 9, 5, 3), QString()), "2018/10/30 9:05:03");
    qputenv("LC_ALL", "C.UTF-8");
}

TEST(GeneralDateTimeText, OtherLocalesUseTheirOwnFormsWithoutZone) {
    const QString us = generalDateTimeText(at(2018, 10, 30, 9, 5, 3), "en_US");
    EXPECT_TRUE(us.startsWith(QLocale(QLocale::English, QLocale::UnitedStates)
                                  .toString(QDate(2018, 10, 30), QLocale::ShortFormat) +
                              " "))
        << us.toStdString();
    EXPECT_TRUE(us.contains("9:05:03")) << us.toStdString();
    EXPECT_FALSE(us.contains("UTC") || us.contains("GMT") || us.contains("Time"))
        << us.toStdString();
    const QString de = generalDateTimeText(at(2018, 10, 30, 9, 5, 3), "de_DE.UTF-8");
    EXPECT_TRUE(de.contains("09:05:03")) << de.toStdString();
    EXPECT_FALSE(de.endsWith(' ')) << de.toStdString();
    EXPECT_EQ(generalDateTimeText(at(2018, 10, 30, 0, 0, 0), "de_DE"),
              QLocale("de_DE").toString(QDate(2018, 10, 30), QLocale::ShortFormat));
}
