#include "platform/settings/DamagedCopies.h"

#include "platform/core/Log.h"
#include "platform/writing/AtomicFile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace lf {

namespace {

namespace fs = std::filesystem;

// The number of the copy of `baseName` that is named `name`: 1 for the
// base itself, N for the base and ".N"; none for any other name.
std::optional<uint64_t> copyNumber(std::string_view name, std::string_view baseName) {
    if (name == baseName) return 1;
    if (!name.starts_with(baseName) || name.size() < baseName.size() + 2 ||
        name[baseName.size()] != '.')
        return std::nullopt;
    const std::string_view digits = name.substr(baseName.size() + 1);
    if (digits.front() == '0') return std::nullopt;
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number < 2)
        return std::nullopt;
    return number;
}

// The copies of `base` there are now, the oldest first.
std::vector<std::pair<uint64_t, fs::path>> copiesOf(const fs::path& base) {
    std::vector<std::pair<uint64_t, fs::path>> copies;
    const std::string baseName = base.filename().string();
    std::error_code error;
    for (fs::directory_iterator entry(base.parent_path(), error), end; !error && entry != end;
         entry.increment(error)) {
        if (auto number = copyNumber(entry->path().filename().string(), baseName))
            copies.emplace_back(*number, entry->path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

Result<std::string> keepCopy(const std::string& base,
                             const std::function<Status(const std::string&)>& put) {
    auto copies = copiesOf(base);
    const std::string path =
        copies.empty() ? base : base + "." + std::to_string(copies.back().first + 1);
    if (Status kept = put(path); !kept) return kept.error();
    copies.emplace_back(0, path);  // the newest, whatever its number
    for (size_t index = 0; index + kDamagedCopiesKept < copies.size(); ++index) {
        std::error_code error;
        fs::remove(copies[index].second, error);
        if (error)
            log("Couldn't remove {}, a damaged copy past the newest {}: {}",
                copies[index].second.string(), kDamagedCopiesKept, error.message());
    }
    return path;
}

}  // namespace

Result<std::string> keepDamagedCopy(const std::string& base, const Data& contents) {
    return keepCopy(base,
                    [&](const std::string& copy) { return writeFileAtomically(copy, contents); });
}

Result<std::string> moveToDamagedCopy(const std::string& base, const std::string& path) {
    return keepCopy(base, [&](const std::string& copy) -> Status {
        std::error_code error;
        fs::rename(path, copy, error);
        if (error) return Error::posix(error.value(), "rename " + path + " to " + copy);
        return {};
    });
}

Result<std::string> linkToDamagedCopy(const std::string& base, const std::string& path,
                                      const Data& contents) {
    return keepCopy(base, [&](const std::string& copy) -> Status {
        if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, copy.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return {};
        return writeFileAtomically(copy, contents);
    });
}

}  // namespace lf
