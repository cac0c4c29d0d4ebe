#include "kit/OMStringFormat.h"

std::string OMFormatString(std::string_view format, std::span<const std::string> values) {
    std::string result;
    result.reserve(format.size());
    size_t nextValue = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        if (c == '%' && next == '%') {
            result += '%';
            ++i;
        } else if (c == '%' && next == '@' && nextValue < values.size()) {
            result += values[nextValue++];
            ++i;
        } else {
            result += c;
        }
    }
    return result;
}
