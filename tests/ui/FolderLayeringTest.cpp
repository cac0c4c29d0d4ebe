// The folders of the interface stand in layers, and every include points
// down or across its own folder: the window at the ground; widgets, layers
// and popovers on it; the icon view and the recents above them; the
// application shell on top. A piece that something below needs lives
// below.

#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
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
    EXPECT_GT(lf::test::expectIncludesPointDown(root, "ui", kLayerOfFolder), 100);
}

}  // namespace
