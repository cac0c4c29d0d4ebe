// The folders of the interface stand in layers, and every include points
// down or across its own folder: the window at the ground; widgets, layers
// and popovers on it; the icon view and the recents above them; the
// application shell on top. A piece that something below needs lives
// below.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::map<std::string, int> kLayerOfFolder = {
    {"window", 0},   {"widgets", 1}, {"layers", 1}, {"popovers", 1},
    {"iconview", 2}, {"recents", 2}, {"shell", 3},
};

TEST(InterfaceFolders, IncludesPointDownTheLayers) {
    const fs::path root = LF_SOURCE_UI_DIR;
    ASSERT_TRUE(fs::is_directory(root / "window")) << root;
    const std::regex include(R"(^\s*#\s*include\s+"ui/([A-Za-z]+)/)");
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), root);
        const std::string folder = relative.begin()->string();
        const auto own = kLayerOfFolder.find(folder);
        if (own == kLayerOfFolder.end()) continue;
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
    EXPECT_GT(files, 100);
}

}  // namespace
