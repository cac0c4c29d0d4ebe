#include "geometry/VKGeometryStrings.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

// The text forms are read back (the boolean-operation debugger, lines pasted
// from logs), so they never follow the user's locale, which the interface
// sets: a decimal comma would print "{ 1,5, 2 }", which reads back as three
// numbers. Numbers are printed and read as in the "C" locale.

namespace {

std::string number(double value) {
    // std::to_chars with the general format and precision 6 is printf's %g
    // in the "C" locale.
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

std::string pair(double a, double b) {
    return "{ " + number(a) + ", " + number(b) + " }";
}

locale_t cLocale() {
    // glibc hands out its built-in "C" locale object here without
    // allocating, so this cannot fail.
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return locale;
}

// Reads up to `count` numbers, skipping the separator characters before each;
// stops at the first text that is not a number. Returns how many were read.
int scanNumbers(std::string_view text, double* values, int count) {
    std::string copy(text);  // strtod needs a terminated string
    const char* at = copy.c_str();
    int read = 0;
    for (; read < count; ++read) {
        while (*at && std::string_view("{}, \t\r\n").find(*at) != std::string_view::npos)
            ++at;
        char* end = nullptr;
        double value = strtod_l(at, &end, cLocale());
        if (end == at) break;
        values[read] = value;
        at = end;
    }
    for (int i = read; i < count; ++i)
        values[i] = 0;
    return read;
}

}  // namespace

std::string NSStringFromVKPoint(VKPoint point) {
    return pair(point.x, point.y);
}

std::string NSStringFromVKRect(VKRect rect) {
    return "{ " + pair(rect.origin.x, rect.origin.y) + ", " +
           pair(rect.size.width, rect.size.height) + " }";
}

std::string NSStringFromVKPathSegment(const VKPathSegment& s) {
    return "{ " + NSStringFromVKPoint(s.start) + ", " + NSStringFromVKPoint(s.controlPoint1) +
           ", " + NSStringFromVKPoint(s.controlPoint2) + ", " + NSStringFromVKPoint(s.end) + " }";
}

VKPoint VKPointFromString(std::string_view text, int* numbersRead) {
    double v[2];
    int read = scanNumbers(text, v, 2);
    if (numbersRead) *numbersRead = read;
    return {v[0], v[1]};
}

VKPoint VKPointFromString(std::string_view text) {
    return VKPointFromString(text, nullptr);
}

VKPathSegment VKPathSegmentFromString(std::string_view text, int* numbersRead) {
    double v[8];
    int read = scanNumbers(text, v, 8);
    if (numbersRead) *numbersRead = read;
    return {{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}, {v[6], v[7]}};
}

VKPathSegment VKPathSegmentFromString(std::string_view text) {
    return VKPathSegmentFromString(text, nullptr);
}
