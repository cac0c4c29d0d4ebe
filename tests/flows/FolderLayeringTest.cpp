// The flows' folders stand in layers, and every include points down or
// across its own folder: keyed archives, confined paths and the ICNS
// container at the ground; file watching and the export recipes on them;
// the tag scanner and a flow's inputs above; runs and their output over
// those; flows, the export flow, the run controller and the flow manager,
// which know one another, together in the subsystem's own folder on top.

#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

// "" is the subsystem's own folder, where the flows stand.
const std::map<std::string, int> kLayerOfFlowsFolder = {
    {"shared", 0},  {"icns", 0},   {"watching", 1}, {"recipes", 1},
    {"scanner", 2}, {"inputs", 2}, {"runs", 3},     {"", 4},
};

TEST(FlowsFolders, IncludesPointDownTheLayers) {
    const fs::path root = LF_SOURCE_FLOWS_DIR;
    ASSERT_TRUE(fs::is_directory(root / "watching")) << root;
    EXPECT_GT(lf::test::expectIncludesPointDown(root, "flows", kLayerOfFlowsFolder), 70);
}

}  // namespace
