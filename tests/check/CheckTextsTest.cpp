#include "app/CheckTexts.h"

#include <gtest/gtest.h>

using namespace app;

TEST(CheckTexts, CheckingHost)
{
    EXPECT_EQ(CheckingHostText("Hotmail", "alice"), "Checking host: Hotmail - name: alice");
    EXPECT_EQ(CheckingHostText("", ""), "Checking host:  - name: ");
}

TEST(CheckTexts, LastCheckedIsDateThenTime)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime when(QDate(2026, 3, 7), QTime(14, 5, 9));
    const QString text = LastCheckedText(when, us);
    EXPECT_EQ(text, "3/7/26 || 2:05:09 PM");
}

TEST(CheckTexts, LastCheckedNamesNoTimeZone)
{
    const QDateTime when(QDate(2026, 12, 9), QTime(17, 58, 16), Qt::UTC);
    EXPECT_EQ(LastCheckedText(when, QLocale::c()), "9 Dec 2026 || 17:58:16");
    EXPECT_EQ(LastCheckedText(when, QLocale(QLocale::German, QLocale::Germany)), "09.12.26 || 17:58:16");
    const QDateTime local(QDate(2026, 7, 1), QTime(8, 0, 5));
    EXPECT_EQ(LastCheckedText(local, QLocale::c()), "1 Jul 2026 || 08:00:05");
}

TEST(CheckTexts, ResultCaptions)
{
    EXPECT_EQ(ResultCaption(-2), "Interpretion error...");
    EXPECT_EQ(ResultCaption(-1), "Login failed");
    EXPECT_EQ(ResultCaption(-999), "Error with host-name");
    EXPECT_EQ(ResultCaption(0), "0");
    EXPECT_EQ(ResultCaption(12345), "12345");
}

TEST(CheckTexts, RunsOfThreeThreeFiveZero)
{
    int last = 0;
    const int totals[] = { 3, 3, 5, 0 };
    std::vector<RunReport> reports;
    for (int total : totals) {
        reports.push_back(ReportRun(total, last));
        last = total;
    }
    EXPECT_EQ(reports[0].statusText, "3 total number of new message(s), all accounts");
    EXPECT_EQ(reports[0].picture, "face02.ico");
    EXPECT_EQ(reports[1].statusText, "3 total number of new message(s), all accounts");
    EXPECT_EQ(reports[1].picture, "face02.ico");
    EXPECT_EQ(reports[2].statusText, "5 total number of new message(s), all accounts. Since last checked: 2");
    EXPECT_EQ(reports[2].picture, "face02.ico");
    EXPECT_EQ(reports[3].statusText, "No messages!");
    EXPECT_EQ(reports[3].picture, "face04.ico");
}

TEST(CheckTexts, FallShowsNegative)
{
    EXPECT_EQ(ReportRun(2, 7).statusText, "2 total number of new message(s), all accounts. Since last checked: -5");
}

TEST(CheckTexts, VersionTexts)
{
    EXPECT_EQ(VersionReport("0.2.4", "0.2.4"), "Running at the newest version.");
    EXPECT_EQ(VersionReport("0.2.4\n", "0.2.4"), "Get the newest version, 0.2.4\n, at quorvel's homepage.");
    EXPECT_EQ(VersionReport("", "0.2.4"), "Get the newest version, , at quorvel's homepage.");
    EXPECT_EQ(VersionReport("0.2.3", "0.2.4"), "Get the newest version, 0.2.3, at quorvel's homepage.");
}

TEST(CheckTexts, TimerInterval)
{
    EXPECT_FALSE(TimerInterval(0));
    EXPECT_FALSE(TimerInterval(-5));
    EXPECT_EQ(TimerInterval(1), 60000u);
    EXPECT_EQ(TimerInterval(15), 900000u);
    EXPECT_EQ(TimerInterval(kMaxTimerMinutes), 35791u * 60000u);
    // 71583 minutes would wrap an unsigned 32-bit count of milliseconds; it is held at the limit.
    EXPECT_EQ(TimerInterval(71583), 35791u * 60000u);
    EXPECT_EQ(TimerInterval(2147483647), 35791u * 60000u);
    EXPECT_LE(*TimerInterval(2147483647), 2147483647u);
}

TEST(CheckTexts, TrayHintIsCutAt255)
{
    const QString longText(300, QChar('x'));
    EXPECT_EQ(TrayHint(longText).size(), 255);
    EXPECT_EQ(TrayHint("No messages!"), "No messages!");
    EXPECT_EQ(TrayHint("No messages!", { "Work", "Home" }), "No messages!\nNot checked: Work, Home");
    EXPECT_EQ(TrayHint(longText, { "Work" }).size(), 255);
}
