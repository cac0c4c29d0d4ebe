#include "updater/engine/OMAUFormatByteCount.h"

#include <fmt/format.h>

#include <cmath>
#include <string_view>

std::string OMAUFormatByteCount(double count) {
    if (count <= 1000) return fmt::format("{:.0f} bytes", count);
    static constexpr std::string_view kPrefixes = "kMGTPEZYXVU";
    size_t divisions = 0;
    while (count > 1000 && divisions < kPrefixes.size()) {
        count /= 1000;
        ++divisions;
    }
    const char prefix = kPrefixes[divisions - 1];
    if (divisions == 1) return fmt::format("{:.0f} {}B", count, prefix);
    return fmt::format("{:.1f} {}B", std::ceil(count * 10) / 10, prefix);
}
