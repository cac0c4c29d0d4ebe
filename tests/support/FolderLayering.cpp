#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <regex>
#include <vector>

namespace fs = std::filesystem;

namespace lf::test {
namespace {

// An include directive as written: the header's name, quoted or in angle
// brackets.
struct Include {
    std::string name;
    bool quoted;
};

std::optional<Include> includeOnLine(const std::string& line) {
    static const std::regex directive(R"(^\s*#\s*include\s*(["<])([^">]+)[">])");
    std::smatch match;
    if (!std::regex_search(line, match, directive)) return std::nullopt;
    return Include{match[2].str(), match[1].str() == "\""};
}

// The path below `sources` of the header that `include` in `file` leads to,
// its first component the subsystem; none when it leads outside. A quoted
// name found nowhere is taken from `sources` as written, so that a missing
// header of a subsystem still counts as that subsystem's.
std::optional<std::vector<std::string>> includedHeader(const fs::path& file, const Include& include,
                                                       const fs::path& sources) {
    const fs::path beside = (file.parent_path() / include.name).lexically_normal();
    const fs::path fromSources = (sources / include.name).lexically_normal();
    fs::path header;
    if (include.quoted && fs::exists(beside))
        header = beside;
    else if (include.quoted || fs::exists(fromSources))
        header = fromSources;
    else
        return std::nullopt;
    const fs::path relative = header.lexically_relative(sources);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return std::vector<std::string>(relative.begin(), relative.end());
}

}  // namespace

int expectIncludesPointDown(const fs::path& root, const std::string& subsystem,
                            const std::map<std::string, int>& layers, OtherSubsystems others) {
    fs::path ownRoot = root.lexically_normal();
    if (!ownRoot.has_filename()) ownRoot = ownRoot.parent_path();
    const fs::path sources = ownRoot.parent_path();
    const bool rootHasLayer = layers.count("") > 0;
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(ownRoot)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), ownRoot);
        const bool inRoot = !relative.has_parent_path();
        if (inRoot && !rootHasLayer) continue;
        const std::string folder = inRoot ? std::string() : relative.begin()->string();
        const auto own = layers.find(folder);
        if (own == layers.end()) {
            ADD_FAILURE() << relative.string() << " lies in a folder of no layer";
            continue;
        }
        ++files;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const auto include = includeOnLine(line);
            if (!include) continue;
            const auto header = includedHeader(entry.path(), *include, sources);
            // A header directly beside the subsystems' folders is no
            // subsystem's.
            if (!header || header->size() < 2) continue;
            const std::string where = relative.string() + ":" + std::to_string(number);
            if ((*header)[0] != subsystem) {
                EXPECT_TRUE(others == OtherSubsystems::mayBeIncluded ||
                            !fs::is_directory(sources / (*header)[0]))
                    << where << " includes another subsystem's header: " << line;
                continue;
            }
            const std::string headerFolder = header->size() > 2 ? (*header)[1] : std::string();
            const auto included = layers.find(headerFolder);
            if (included == layers.end()) {
                ADD_FAILURE() << where << " includes from a folder of no layer";
                continue;
            }
            EXPECT_TRUE(included->first == folder || included->second < own->second)
                << where << " reaches up: " << line;
        }
    }
    return files;
}

}  // namespace lf::test
