#include "flows/QFFlowStatusPhrase.h"

#include "kit/OMLocalizer.h"

#include <fmt/format.h>

#include <chrono>
#include <cmath>

namespace {

constexpr const char* kSavedItemsSuffixKey = "recents-repeat.flow.status.saved-items-suffix";

// `date` as text; relative words count days from the day of `now`.
std::string formatted(lf::Result<lf::DateFormatter> formatter, lf::SystemTime date,
                      lf::SystemTime now) {
    return formatter ? formatter->format(date, now) : std::string();
}

}  // namespace

std::string QFFlowTimePhrase(lf::SystemTime lastRunDate, lf::SystemTime now,
                             const std::string& locale, const std::string& timeZone) {
    using Style = lf::DateFormatterStyle;
    if (lastRunDate > now) return "In the future";
    const auto seconds =
        static_cast<int64_t>(std::ceil(std::chrono::duration<double>(now - lastRunDate).count()));
    const int64_t days = lf::calendarDaysBetween(lastRunDate, now, timeZone);
    if (seconds <= 30) return "Just now";
    if (seconds < 120) return "A minute ago";
    if (seconds < 3060) return fmt::format("{} minutes ago", seconds / 60);
    if (seconds < 7200) return "An hour ago";
    if (seconds < 36000 && days == 0) return fmt::format("{} hours ago", seconds / 3600);
    if (days == 0)
        return formatted(
            lf::DateFormatter::create(Style::None, Style::Short, false, locale, timeZone),
            lastRunDate, now);
    if (days == 1)
        return formatted(
            lf::DateFormatter::create(Style::Medium, Style::None, true, locale, timeZone),
            lastRunDate, now);
    if (days <= 7)
        return formatted(lf::DateFormatter::createWithPattern("EEEE", locale, timeZone),
                         lastRunDate, now);
    return formatted(lf::DateFormatter::create(Style::Short, Style::None, false, locale, timeZone),
                     lastRunDate, now);
}

std::string QFFlowSavedItemsSuffix(uint64_t numberOfItemsSaved, const std::string& locale) {
    if (numberOfItemsSaved == 0) return {};
    if (numberOfItemsSaved == 1) return OMLocalizedString(kSavedItemsSuffixKey);
    auto number = lf::NumberFormatter::createDecimal(locale);
    const std::string count = number ? number->format(static_cast<int64_t>(numberOfItemsSaved))
                                     : std::to_string(numberOfItemsSaved);
    return OMLocalizedString(kSavedItemsSuffixKey, {{"item-count", count}}, {"item-count"});
}
