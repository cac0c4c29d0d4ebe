#include "updater/feed/RSSDate.h"

#include <array>
#include <cctype>
#include <charconv>
#include <string>
#include <vector>

namespace {

using namespace std::chrono;

struct Token {
    std::string text;
    bool isNumber = false;
    char before = ' ';  // the character before the token, for zone signs
};

std::vector<Token> tokens(std::string_view text) {
    std::vector<Token> result;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c)) {
            const bool number = std::isdigit(c);
            size_t end = i;
            while (end < text.size() &&
                   (number ? std::isdigit(static_cast<unsigned char>(text[end]))
                           : std::isalpha(static_cast<unsigned char>(text[end]))))
                ++end;
            result.push_back(
                {std::string(text.substr(i, end - i)), number, i > 0 ? text[i - 1] : ' '});
            i = end;
        } else {
            ++i;
        }
    }
    return result;
}

std::optional<int> number(const std::string& text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<int> monthOfName(const std::string& name) {
    static constexpr std::array<std::string_view, 12> kMonths{
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string prefix = lower(name).substr(0, 3);
    for (size_t i = 0; i < kMonths.size(); ++i)
        if (name.size() >= 3 && kMonths[i] == prefix) return static_cast<int>(i) + 1;
    return std::nullopt;
}

// Minutes east of UTC of a zone name, or none.
std::optional<int> zoneOffset(const std::string& name) {
    static const std::array<std::pair<std::string_view, int>, 12> kZones{{
        {"z", 0},
        {"ut", 0},
        {"utc", 0},
        {"gmt", 0},
        {"est", -300},
        {"edt", -240},
        {"cst", -360},
        {"cdt", -300},
        {"mst", -420},
        {"mdt", -360},
        {"pst", -480},
        {"pdt", -420},
    }};
    const std::string key = lower(name);
    for (const auto& [zone, minutes] : kZones)
        if (zone == key) return minutes;
    return std::nullopt;
}

struct Fields {
    int year = -1, month = -1, day = -1;
    int hour = 0, minute = 0, second = 0;
    int offsetMinutes = 0;
};

bool valid(const Fields& f) {
    return f.year >= 0 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 &&
           f.hour <= 24 && f.minute <= 59 && f.second <= 60;
}

}  // namespace

std::optional<sys_seconds> RSSParseDate(std::string_view text) {
    const std::vector<Token> all = tokens(text);
    Fields fields;
    size_t i = 0;
    // ISO 8601: year-month-day first.
    if (all.size() >= 3 && all[0].isNumber && all[0].text.size() == 4 && all[1].isNumber &&
        all[1].before == '-' && all[2].isNumber) {
        fields.year = *number(all[0].text);
        fields.month = *number(all[1].text);
        fields.day = *number(all[2].text);
        i = 3;
    } else {
        // RFC 822: [weekday,] day month year.
        for (; i < all.size() && !all[i].isNumber; ++i) {
        }
        if (i + 2 >= all.size()) return std::nullopt;
        auto day = number(all[i].text);
        auto month = monthOfName(all[i + 1].text);
        auto year = all[i + 2].isNumber ? number(all[i + 2].text) : std::nullopt;
        if (!day || !month || !year) return std::nullopt;
        fields.day = *day;
        fields.month = *month;
        fields.year = *year;
        // Two-digit years: 70 to 99 are 1900s, the others 2000s.
        if (all[i + 2].text.size() <= 2) fields.year += fields.year >= 70 ? 1900 : 2000;
        i += 3;
    }
    // The time, hh:mm[:ss], where "T" may stand before it.
    if (i < all.size() && !all[i].isNumber && lower(all[i].text) == "t") ++i;
    if (i + 1 < all.size() && all[i].isNumber && all[i + 1].isNumber && all[i + 1].before == ':') {
        fields.hour = number(all[i].text).value_or(99);
        fields.minute = number(all[i + 1].text).value_or(99);
        i += 2;
        if (i < all.size() && all[i].isNumber && all[i].before == ':') {
            fields.second = number(all[i].text).value_or(99);
            ++i;
        }
        // Fractions of a second.
        if (i < all.size() && all[i].isNumber && all[i].before == '.') ++i;
    }
    // The zone: +hhmm, -hh:mm, or a name.
    if (i < all.size()) {
        const Token& zone = all[i];
        if (zone.isNumber && (zone.before == '+' || zone.before == '-')) {
            int hours = 0, minutes = 0;
            if (zone.text.size() == 4) {
                hours = *number(zone.text.substr(0, 2));
                minutes = *number(zone.text.substr(2));
            } else {
                hours = number(zone.text).value_or(0);
                if (i + 1 < all.size() && all[i + 1].isNumber && all[i + 1].before == ':')
                    minutes = number(all[i + 1].text).value_or(0);
            }
            fields.offsetMinutes = (zone.before == '-' ? -1 : 1) * (hours * 60 + minutes);
        } else if (!zone.isNumber) {
            fields.offsetMinutes = zoneOffset(zone.text).value_or(0);
        }
    }
    if (!valid(fields)) return std::nullopt;
    const year_month_day date{year{fields.year}, month{static_cast<unsigned>(fields.month)},
                              day{static_cast<unsigned>(fields.day)}};
    if (!date.ok()) return std::nullopt;
    return sys_days(date) + hours(fields.hour) + minutes(fields.minute) + seconds(fields.second) -
           minutes(fields.offsetMinutes);
}
