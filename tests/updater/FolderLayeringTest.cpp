// The updater's folders stand in layers, and every include points down or
// across its own folder: what the parts share (the host's description,
// text operations) and the walks of a tree at the ground; the feed, the
// unpacking and the installation on them; the windows, and the two helper
// programs, above those; the engine over its windows; the facade, alone
// in the updater's own folder, on top. A piece that something below needs
// lives below.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

// The updater's own folder, where the facade stands.
const std::string kTop;

const std::map<std::string, int> kLayerOfFolder = {
    {"shared", 0},    {"walks", 0},   {"feed", 1},   {"unpacking", 1}, {"installation", 1},
    {"interface", 2}, {"helpers", 2}, {"engine", 3}, {kTop, 4},
};

TEST(UpdaterFolders, IncludesPointDownTheLayers) {
    const fs::path root = LF_SOURCE_UPDATER_DIR;
    ASSERT_TRUE(fs::is_directory(root / "walks")) << root;
    // "updater/Name.h" lies in the updater's own folder.
    const std::regex include(R"re(^\s*#\s*include\s+"updater/(?:([A-Za-z]+)/)?[^/"]+")re");
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), root);
        const std::string folder = relative.has_parent_path() ? relative.begin()->string() : kTop;
        const auto own = kLayerOfFolder.find(folder);
        ASSERT_NE(own, kLayerOfFolder.end()) << relative.string() << " lies in no layer";
        ++files;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            std::smatch match;
            if (!std::regex_search(line, match, include)) continue;
            const auto included = kLayerOfFolder.find(match[1].str());
            ASSERT_NE(included, kLayerOfFolder.end())
                << relative.string() << ":" << number << " includes from an unknown folder";
            EXPECT_TRUE(included->first == folder || included->second < own->second)
                << relative.string() << ":" << number << " reaches up: " << line;
        }
    }
    EXPECT_GT(files, 70);
}

}  // namespace
