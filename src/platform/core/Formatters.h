#pragma once
// Date and number formatting over ICU: the styles and patterns of the
// flows' status line and of the font export. A locale or time zone left empty is the process's
// default (from LANG and TZ); tests name them.
//
// A formatter is used by one thread at a time (the main thread for the
// status line); make one per thread otherwise.

#include "platform/core/Result.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace lf {

using SystemTime = std::chrono::system_clock::time_point;

enum class DateFormatterStyle { None, Short, Medium, Long, Full };

class DateFormatter {
public:
    // A formatter of the given date and time styles; with `relative`, dates
    // near today are words ("Yesterday", "Today", "Tomorrow") where the
    // locale has them, counted in calendar days of the time zone.
    static Result<DateFormatter> create(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle,
                                        bool relative = false, const std::string& locale = {},
                                        const std::string& timeZone = {});
    // A formatter of an ICU date pattern, such as "EEEE" or
    // "EEE MMM d HH:mm:ss yyyy".
    static Result<DateFormatter> createWithPattern(const std::string& pattern,
                                                   const std::string& locale = {},
                                                   const std::string& timeZone = {});

    DateFormatter(DateFormatter&&) noexcept;
    DateFormatter& operator=(DateFormatter&&) noexcept;
    ~DateFormatter();

    // `time` as text; a relative formatter takes the day of `now` (the
    // clock's now when not given) as today.
    std::string format(SystemTime time) const;
    std::string format(SystemTime time, SystemTime now) const;

    struct Implementation;  // the ICU formatter

private:
    explicit DateFormatter(std::unique_ptr<Implementation> implementation);
    std::unique_ptr<Implementation> implementation_;
};

class NumberFormatter {
public:
    // The decimal style: grouping separators, no fraction for whole numbers.
    static Result<NumberFormatter> createDecimal(const std::string& locale = {});

    NumberFormatter(NumberFormatter&&) noexcept;
    NumberFormatter& operator=(NumberFormatter&&) noexcept;
    ~NumberFormatter();

    std::string format(int64_t value) const;
    std::string format(double value) const;

    struct Implementation;  // the ICU formatter

private:
    explicit NumberFormatter(std::unique_ptr<Implementation> implementation);
    std::unique_ptr<Implementation> implementation_;
};

// The calendar days from the day of `from` to the day of `to` in the time
// zone: midnight to midnight, divided by 86400 seconds and rounded, so days
// that a clock change makes shorter or longer still count as one. Negative
// when `to` lies on an earlier day.
int64_t calendarDaysBetween(SystemTime from, SystemTime to, const std::string& timeZone = {});

}  // namespace lf
