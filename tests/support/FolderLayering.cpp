#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace fs = std::filesystem;

namespace lf::test {

int expectIncludesPointDown(const fs::path& root, const std::string& subsystem,
                            const std::map<std::string, int>& layers) {
    const std::regex include("^\\s*#\\s*include\\s+\"" + subsystem + "/(?:([A-Za-z]+)/)?[^/\"]+\"");
    const bool rootHasLayer = layers.count("") > 0;
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), root);
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
            std::smatch match;
            if (!std::regex_search(line, match, include)) continue;
            const auto included = layers.find(match[1].str());
            if (included == layers.end()) {
                ADD_FAILURE() << relative.string() << ":" << number
                              << " includes from a folder of no layer";
                continue;
            }
            EXPECT_TRUE(included->first == folder || included->second < own->second)
                << relative.string() << ":" << number << " reaches up: " << line;
        }
    }
    return files;
}

}  // namespace lf::test
