#include "platform/writing/TemporaryName.h"

#include "platform/writing/HiddenName.h"

#include <fmt/format.h>

#include <algorithm>
#include <random>

namespace lf {

std::string temporaryNamePrefix(std::string_view name, TemporaryRole role, size_t longestName) {
    const std::string_view marker = role == TemporaryRole::NewContents ? ".tmp-" : ".replaced-";
    return hiddenNamePrefix(name, marker, kTemporaryDigits, longestName);
}

std::string randomTemporaryDigits() {
    std::random_device random;
    return fmt::format("{:08x}{:08x}", random(), random());
}

std::optional<std::string_view> temporaryPrefixOf(std::string_view name) {
    if (name.size() <= kTemporaryDigits + 1 || name.front() != '.') return std::nullopt;
    const std::string_view digits = name.substr(name.size() - kTemporaryDigits);
    const bool lowerHex = std::all_of(digits.begin(), digits.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
    if (!lowerHex) return std::nullopt;
    return name.substr(0, name.size() - kTemporaryDigits);
}

}  // namespace lf
