// The status line's formatters with the locale, time zone and clock fixed:
// British English in Berlin, which changes its clocks on 29 March 2026.
#include "platform/core/Formatters.h"

#include <gtest/gtest.h>

using namespace lf;
using namespace std::chrono;

namespace {

constexpr const char* kLocale = "en_GB";
constexpr const char* kZone = "Europe/Berlin";

// A local time in Berlin given as its UTC time.
SystemTime utc(int year, unsigned month, unsigned day, int hour, int minute = 0) {
    return sys_days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}} +
           hours{hour} + minutes{minute};
}

}  // namespace

TEST(Formatters, DateStylesOfTheStatusLine) {
    const SystemTime lastRun = utc(2026, 3, 3, 21, 5);  // Tuesday 22:05 in Berlin
    auto time = DateFormatter::create(DateFormatterStyle::None, DateFormatterStyle::Short, false,
                                      kLocale, kZone);
    auto weekday = DateFormatter::createWithPattern("EEEE", kLocale, kZone);
    auto shortDate = DateFormatter::create(DateFormatterStyle::Short, DateFormatterStyle::None,
                                           false, kLocale, kZone);
    auto fontDate = DateFormatter::createWithPattern("EEE MMM d HH:mm:ss yyyy", kLocale, kZone);
    ASSERT_TRUE(time && weekday && shortDate && fontDate);
    EXPECT_EQ(time->format(lastRun), "22:05");
    EXPECT_EQ(weekday->format(lastRun), "Tuesday");
    EXPECT_EQ(shortDate->format(lastRun), "03/03/2026");
    EXPECT_EQ(fontDate->format(lastRun), "Tue Mar 3 22:05:00 2026");

    EXPECT_FALSE(DateFormatter::create(DateFormatterStyle::Medium, DateFormatterStyle::None, true,
                                       kLocale, "Not/AZone"));
    EXPECT_FALSE(DateFormatter::createWithPattern("EEEE", kLocale, "Not/AZone"));
}

// Relative words count calendar days in the formatter's time zone from the
// "now" handed to it: 29 March 2026 is 23 hours long in Berlin.
TEST(Formatters, RelativeWordsNameTheDaysAroundAGivenNow) {
    auto relative = DateFormatter::create(DateFormatterStyle::Medium, DateFormatterStyle::None,
                                          true, kLocale, kZone);
    auto withTime = DateFormatter::create(DateFormatterStyle::Medium, DateFormatterStyle::Short,
                                          true, kLocale, kZone);
    ASSERT_TRUE(relative && withTime);
    const SystemTime now = utc(2026, 3, 29, 22, 30);  // Monday 30 March, 00:30
    struct Case {
        SystemTime time;
        const char* text;
    };
    const Case cases[] = {
        {utc(2026, 3, 29, 22, 10), "Today"},
        {utc(2026, 3, 28, 23, 10), "Yesterday"},    // Sunday 00:10, 23 h 20 min back
        {utc(2026, 3, 28, 22, 50), "28 Mar 2026"},  // Saturday 23:50, 23 h 40 min back
        {utc(2026, 3, 30, 21, 59), "Today"},
        {utc(2026, 3, 30, 22, 0), "Tomorrow"},
        {utc(2026, 3, 31, 22, 0), "1 Apr 2026"},
        {utc(2025, 3, 29, 22, 30), "29 Mar 2025"},  // a year back: no word
    };
    for (const Case& c : cases)
        EXPECT_EQ(relative->format(c.time, now), c.text);
    EXPECT_EQ(withTime->format(utc(2026, 3, 28, 23, 10), now), "Yesterday, 00:10");
    EXPECT_EQ(withTime->format(utc(2026, 3, 20, 11, 5), now), "20 Mar 2026, 12:05");
}

TEST(Formatters, CalendarDaysCountMidnightsAcrossClockChanges) {
    struct Case {
        SystemTime from, to;
        int64_t days;
    };
    const Case cases[] = {
        {utc(2026, 3, 3, 21), utc(2026, 3, 3, 22, 59), 0},  // 22:00 to 23:59
        {utc(2026, 3, 3, 22), utc(2026, 3, 4, 0), 1},       // yesterday 23:00, today 01:00
        {utc(2026, 3, 28, 12), utc(2026, 3, 30, 12), 2},    // over the 23-hour day
        {utc(2026, 3, 20, 12), utc(2026, 3, 28, 12), 8},
        {utc(2026, 3, 5, 12), utc(2026, 3, 3, 12), -2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(calendarDaysBetween(c.from, c.to, kZone), c.days);
}

TEST(Formatters, DecimalNumbersAreGrouped) {
    auto number = NumberFormatter::createDecimal(kLocale);
    ASSERT_TRUE(number);
    EXPECT_EQ(number->format(int64_t{2}), "2");
    EXPECT_EQ(number->format(int64_t{12345}), "12,345");
    EXPECT_EQ(NumberFormatter::createDecimal("de_DE")->format(int64_t{12345}), "12.345");
}
