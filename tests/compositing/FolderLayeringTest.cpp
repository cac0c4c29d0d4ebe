// The compositing's folders stand in layers, and every include points down
// or across its own folder: images, blend modes and the lookup providers at
// the ground; tiling and fills on them; what a layer paints besides its
// pixels (fill and adjustment layers, vector masks and strokes) above;
// the effects over that; the context, its groups and the layers' content
// and render node, which know one another, in the subsystem's own folder
// on top.

#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

// "" is the subsystem's own folder, where the context stands.
const std::map<std::string, int> kLayerOfCompositingFolder = {
    {"shared", 0},  {"providers", 0}, {"tiling", 1}, {"fills", 1},
    {"content", 2}, {"effects", 3},   {"", 4},
};

TEST(CompositingFolders, IncludesPointDownTheLayers) {
    const fs::path root = LF_SOURCE_COMPOSITING_DIR;
    ASSERT_TRUE(fs::is_directory(root / "effects")) << root;
    EXPECT_GT(lf::test::expectIncludesPointDown(root, "compositing", kLayerOfCompositingFolder),
              60);
}

}  // namespace
