#include "platform/core/Formatters.h"

#include <cmath>
#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/numfmt.h>
#include <unicode/reldatefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace lf {
namespace {

icu::Locale localeNamed(const std::string& name) {
    return name.empty() ? icu::Locale::getDefault() : icu::Locale(name.c_str());
}

// The zone of that name, the default zone for an empty name, none for a
// name ICU does not know.
std::unique_ptr<icu::TimeZone> timeZoneNamed(const std::string& name) {
    if (name.empty()) return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createDefault());
    std::unique_ptr<icu::TimeZone> zone(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(name)));
    if (*zone == icu::TimeZone::getUnknown()) return nullptr;
    return zone;
}

icu::DateFormat::EStyle icuStyle(DateFormatterStyle style) {
    switch (style) {
        case DateFormatterStyle::None:
            return icu::DateFormat::kNone;
        case DateFormatterStyle::Short:
            return icu::DateFormat::kShort;
        case DateFormatterStyle::Medium:
            return icu::DateFormat::kMedium;
        case DateFormatterStyle::Long:
            return icu::DateFormat::kLong;
        case DateFormatterStyle::Full:
            return icu::DateFormat::kFull;
    }
    return icu::DateFormat::kNone;
}

UDate toUDate(SystemTime time) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

std::string toUTF8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

Error icuError(const std::string& what, UErrorCode status) {
    return Error(kPOSIXErrorDomain, EINVAL,
                 {{kLocalizedDescriptionKey, what + ": " + u_errorName(status)}});
}

}  // namespace

struct DateFormatter::Implementation {
    std::unique_ptr<icu::DateFormat> format;
    // Set for relative formatters: the words of days near today, and the
    // time that follows them when the formatter shows the time.
    std::unique_ptr<icu::RelativeDateTimeFormatter> relativeDays;
    std::unique_ptr<icu::DateFormat> timeOnly;
    std::string timeZone;
};

struct NumberFormatter::Implementation {
    std::unique_ptr<icu::NumberFormat> format;
};

DateFormatter::DateFormatter(std::unique_ptr<Implementation> implementation)
    : implementation_(std::move(implementation)) {}
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;
DateFormatter::~DateFormatter() = default;

Result<DateFormatter> DateFormatter::create(DateFormatterStyle dateStyle,
                                            DateFormatterStyle timeStyle, bool relative,
                                            const std::string& locale,
                                            const std::string& timeZone) {
    auto zone = timeZoneNamed(timeZone);
    if (!zone)
        return icuError("date formatter: unknown time zone " + timeZone, U_ILLEGAL_ARGUMENT_ERROR);
    auto implementation = std::make_unique<Implementation>();
    implementation->format.reset(icu::DateFormat::createDateTimeInstance(
        icuStyle(dateStyle), icuStyle(timeStyle), localeNamed(locale)));
    if (!implementation->format) return icuError("date formatter", U_UNSUPPORTED_ERROR);
    if (relative && dateStyle != DateFormatterStyle::None) {
        // A status line begins with the word, so it starts with a capital.
        UErrorCode status = U_ZERO_ERROR;
        implementation->relativeDays = std::make_unique<icu::RelativeDateTimeFormatter>(
            localeNamed(locale), nullptr, UDAT_STYLE_LONG,
            UDISPCTX_CAPITALIZATION_FOR_BEGINNING_OF_SENTENCE, status);
        if (U_FAILURE(status)) return icuError("relative date formatter", status);
        if (timeStyle != DateFormatterStyle::None) {
            implementation->timeOnly.reset(
                icu::DateFormat::createTimeInstance(icuStyle(timeStyle), localeNamed(locale)));
            if (!implementation->timeOnly) return icuError("date formatter", U_UNSUPPORTED_ERROR);
            implementation->timeOnly->setTimeZone(*zone);
        }
        implementation->timeZone = timeZone;
    }
    implementation->format->adoptTimeZone(zone.release());
    return DateFormatter(std::move(implementation));
}

Result<DateFormatter> DateFormatter::createWithPattern(const std::string& pattern,
                                                       const std::string& locale,
                                                       const std::string& timeZone) {
    auto zone = timeZoneNamed(timeZone);
    if (!zone)
        return icuError("date formatter: unknown time zone " + timeZone, U_ILLEGAL_ARGUMENT_ERROR);
    UErrorCode status = U_ZERO_ERROR;
    auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern),
                                                          localeNamed(locale), status);
    if (U_FAILURE(status)) return icuError("date formatter pattern " + pattern, status);
    format->adoptTimeZone(zone.release());
    auto implementation = std::make_unique<Implementation>();
    implementation->format = std::move(format);
    return DateFormatter(std::move(implementation));
}

std::string DateFormatter::format(SystemTime time) const {
    return format(time, std::chrono::system_clock::now());
}

std::string DateFormatter::format(SystemTime time, SystemTime now) const {
    const Implementation& it = *implementation_;
    icu::UnicodeString text;
    if (it.relativeDays) {
        static constexpr UDateDirection kDirections[] = {UDAT_DIRECTION_LAST_2, UDAT_DIRECTION_LAST,
                                                         UDAT_DIRECTION_THIS, UDAT_DIRECTION_NEXT,
                                                         UDAT_DIRECTION_NEXT_2};
        const int64_t days = calendarDaysBetween(now, time, it.timeZone);
        if (days >= -2 && days <= 2) {
            UErrorCode status = U_ZERO_ERROR;
            icu::UnicodeString word;
            it.relativeDays->format(kDirections[days + 2], UDAT_ABSOLUTE_DAY, word, status);
            // A locale without a word for that day shows the date.
            if (U_SUCCESS(status) && !word.isEmpty()) {
                if (!it.timeOnly) return toUTF8(word);
                icu::UnicodeString clock;
                it.timeOnly->format(toUDate(time), clock);
                it.relativeDays->combineDateAndTime(word, clock, text, status);
                if (U_SUCCESS(status)) return toUTF8(text);
                text.remove();
            }
        }
    }
    it.format->format(toUDate(time), text);
    return toUTF8(text);
}

NumberFormatter::NumberFormatter(std::unique_ptr<Implementation> implementation)
    : implementation_(std::move(implementation)) {}
NumberFormatter::NumberFormatter(NumberFormatter&&) noexcept = default;
NumberFormatter& NumberFormatter::operator=(NumberFormatter&&) noexcept = default;
NumberFormatter::~NumberFormatter() = default;

Result<NumberFormatter> NumberFormatter::createDecimal(const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(
        icu::NumberFormat::createInstance(localeNamed(locale), UNUM_DECIMAL, status));
    if (U_FAILURE(status) || !format) return icuError("number formatter", status);
    return NumberFormatter(std::make_unique<Implementation>(Implementation{std::move(format)}));
}

std::string NumberFormatter::format(int64_t value) const {
    icu::UnicodeString text;
    implementation_->format->format(static_cast<int64_t>(value), text);
    return toUTF8(text);
}

std::string NumberFormatter::format(double value) const {
    icu::UnicodeString text;
    implementation_->format->format(value, text);
    return toUTF8(text);
}

int64_t calendarDaysBetween(SystemTime from, SystemTime to, const std::string& timeZone) {
    auto zone = timeZoneNamed(timeZone);
    if (!zone) zone.reset(icu::TimeZone::getGMT()->clone());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(zone.release(), status));
    if (U_FAILURE(status)) return 0;
    auto midnight = [&](SystemTime time) {
        calendar->setTime(toUDate(time), status);
        calendar->set(UCAL_HOUR_OF_DAY, 0);
        calendar->set(UCAL_MINUTE, 0);
        calendar->set(UCAL_SECOND, 0);
        calendar->set(UCAL_MILLISECOND, 0);
        return calendar->getTime(status);
    };
    const UDate days = (midnight(to) - midnight(from)) / (86400.0 * 1000.0);
    return U_SUCCESS(status) ? static_cast<int64_t>(std::llround(days)) : 0;
}

}  // namespace lf
