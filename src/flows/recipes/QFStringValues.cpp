#include "flows/recipes/QFStringValues.h"

#include <charconv>
#include <limits>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view withoutLeadingWhitespace(std::string_view text) {
    size_t start = text.find_first_not_of(" \t\n\r\f\v");
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

// The length of the digits at `at`.
size_t digitsAt(std::string_view text, size_t at) {
    size_t end = at;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end - at;
}

}  // namespace

double QFStringDoubleValue(std::string_view text) {
    text = withoutLeadingWhitespace(text);
    size_t length = 0;
    if (length < text.size() && (text[length] == '+' || text[length] == '-')) ++length;
    size_t integer = digitsAt(text, length);
    length += integer;
    size_t fraction = 0;
    bool negativeExponent = false;
    if (length < text.size() && text[length] == '.') {
        fraction = digitsAt(text, length + 1);
        if (integer + fraction > 0) length += 1 + fraction;
    }
    if (integer + fraction == 0) return 0;
    if (length < text.size() && (text[length] == 'e' || text[length] == 'E')) {
        size_t exponent = length + 1;
        bool minus = exponent < text.size() && text[exponent] == '-';
        if (exponent < text.size() && (text[exponent] == '+' || minus)) ++exponent;
        if (size_t digits = digitsAt(text, exponent)) {
            length = exponent + digits;
            negativeExponent = minus;
        }
    }
    std::string_view number = text.substr(text[0] == '+' ? 1 : 0, length - (text[0] == '+'));
    double value = 0;
    if (std::from_chars(number.data(), number.data() + number.size(), value).ec ==
        std::errc::result_out_of_range) {
        // Too large for a double is infinite, too small is 0.
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
        if (number[0] == '-') value = -value;
    }
    return value;
}

bool QFStringBoolValue(std::string_view text) {
    text = withoutLeadingWhitespace(text);
    size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    while (at < text.size() && text[at] == '0')
        ++at;
    if (at == text.size()) return false;
    char c = text[at];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}
