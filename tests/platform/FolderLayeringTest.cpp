// The platform's folders stand in layers, and every include points down or
// across its own folder: errors, the log and formatting at the ground;
// dispatch on them; files over dispatch (the watcher reports on a queue);
// writing files whole, child processes and transfers over files; the user
// defaults, which write their file whole; images on top (the encoders read
// their settings and deflate on every processor). The platform stands
// under every subsystem: it includes none of theirs, only the standard
// library and external libraries.

#include "support/FolderLayering.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::map<std::string, int> kLayerOfPlatformFolder = {
    {"core", 0},      {"dispatch", 1},  {"files", 2},    {"writing", 3},
    {"processes", 3}, {"transfers", 3}, {"settings", 4}, {"images", 5},
};

TEST(PlatformFolders, IncludesPointDownTheLayers) {
    const fs::path root = LF_SOURCE_PLATFORM_DIR;
    ASSERT_TRUE(fs::is_directory(root / "dispatch")) << root;
    EXPECT_GT(lf::test::expectIncludesPointDown(root, "platform", kLayerOfPlatformFolder,
                                                lf::test::OtherSubsystems::mayNotBeIncluded),
              80);
}

}  // namespace
