// The updater's folders stand in layers, and every include points down or
// across its own folder: what the parts share (the host's description,
// text operations) and the walks of a tree at the ground; the feed, the
// unpacking and the installation on them; the windows, and the two helper
// programs, above those; the engine over its windows; the facade, alone
// in the updater's own folder, on top. A piece that something below needs
// lives below.

#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

// "" is the updater's own folder, where the facade stands.
const std::map<std::string, int> kLayerOfUpdaterFolder = {
    {"shared", 0},    {"walks", 0},   {"feed", 1},   {"unpacking", 1}, {"installation", 1},
    {"interface", 2}, {"helpers", 2}, {"engine", 3}, {"", 4},
};

TEST(UpdaterFolders, IncludesPointDownTheLayers) {
    const fs::path root = LF_SOURCE_UPDATER_DIR;
    ASSERT_TRUE(fs::is_directory(root / "walks")) << root;
    EXPECT_GT(lf::test::expectIncludesPointDown(root, "updater", kLayerOfUpdaterFolder), 70);
}

}  // namespace
