#include "platform/writing/HiddenName.h"

#include <fmt/format.h>

#include <cstdint>
#include <unistd.h>

namespace lf {
namespace {

constexpr size_t kUsualLongestName = 255;
// "~" and 16 hexadecimal digits.
constexpr size_t kHashLength = 17;

// FNV-1a: stable across runs and builds, unlike std::hash.
uint64_t hashOf(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// The first `length` bytes at most, not cutting a UTF-8 character.
std::string_view headOf(std::string_view name, size_t length) {
    if (length >= name.size()) return name;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    return name.substr(0, length);
}

}  // namespace

size_t longestNameIn(const std::string& folder) {
    const long longest = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return longest > 0 ? static_cast<size_t>(longest) : kUsualLongestName;
}

std::string hiddenNamePrefix(std::string_view name, std::string_view marker, size_t suffixLength,
                             size_t longestName) {
    const size_t fixed = 1 + marker.size() + suffixLength;
    std::string prefix = ".";
    if (fixed + name.size() <= longestName) {
        prefix += name;
    } else {
        const size_t room =
            longestName > fixed + kHashLength ? longestName - fixed - kHashLength : 0;
        prefix += headOf(name, room);
        prefix += fmt::format("~{:016x}", hashOf(name));
    }
    prefix += marker;
    return prefix;
}

}  // namespace lf
