// The launch sweep takes only what the engine made: not a folder of the
// user's that merely begins like a download folder, and nothing on a file
// system mounted among the folders it clears.

#include "ChildChecks.h"
#include "support/TestSupport.h"
#include "updater/unpacking/OMAULaunchSweep.h"
#include "updater/walks/OMAUHeldFolder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "layerflow-update-";

bool writeProcFile(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

// Makes this process, which must have one thread only, the owner of a
// mount namespace of its own, as root or not: who it is stays the same,
// and what it mounts goes with it.
bool enterOwnMountNamespace() {
    const uid_t user = ::getuid();
    const gid_t group = ::getgid();
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
           writeProcFile("/proc/self/uid_map", fmt::format("{0} {0} 1", user)) &&
           writeProcFile("/proc/self/setgroups", "deny") &&
           writeProcFile("/proc/self/gid_map", fmt::format("{0} {0} 1", group)) &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TEST(OMAULaunchSweep, TakesOnlyTheEnginesOwnFoldersOnTheirOwnFileSystem) {
    // Beside a download folder the engine made and left: the user's own
    // folders named alike, a file system mounted at an engine's name, and
    // a folder of the user's bound into an unpacking folder left in a
    // download folder still held.
    const lf::test::TemporaryDirectory home;
    const fs::path temporary = home / "tmp", outside = home / "outside";
    const fs::path left = temporary / (std::string(kPrefix) + "Ab4nd0");
    const fs::path held = temporary / (std::string(kPrefix) + "H3ld00");
    const fs::path mounted = temporary / (std::string(kPrefix) + "M0unt0");
    const fs::path unpacking = held / ".App.tar.unpacking-L3ft00";
    const std::vector<fs::path> usersOwn = {temporary / (std::string(kPrefix) + "x"),
                                            temporary / (std::string(kPrefix) + "Ab4nd0x"),
                                            temporary / (std::string(kPrefix) + "Ab4n-0")};
    for (const fs::path& folder : {left, mounted, unpacking / "bound", outside})
        fs::create_directories(folder);
    for (const fs::path& folder : usersOwn) {
        fs::create_directories(folder);
        lf::test::writeFile(folder / "mine", "the user's");
    }
    lf::test::writeFile(left / "App.tar", "left");
    lf::test::writeFile(unpacking / "unpacked", "left");
    lf::test::writeFile(outside / "mine", "the user's");

    lf::test::expectInChild(
        [&] {
            ASSERT_TRUE(enterOwnMountNamespace()) << "no mount namespace: " << std::strerror(errno);
            ASSERT_EQ(::mount("tmpfs", mounted.c_str(), "tmpfs", 0, nullptr), 0);
            lf::test::writeFile(mounted / "mine", "the disk's");
            ASSERT_EQ(
                ::mount(outside.c_str(), (unpacking / "bound").c_str(), nullptr, MS_BIND, nullptr),
                0);
            const lf::Result<OMAUHeldFolder> inUse = OMAUHeldFolder::hold(held);
            ASSERT_TRUE(inUse) << lf::describe(inUse.error());

            OMAUSweepAbandonedFolders(temporary, kPrefix);
            EXPECT_FALSE(fs::exists(left));
            EXPECT_FALSE(fs::exists(unpacking / "unpacked"));
            for (const fs::path& folder : usersOwn)
                EXPECT_TRUE(fs::exists(folder / "mine")) << folder;
            EXPECT_TRUE(fs::exists(mounted / "mine"));
            EXPECT_TRUE(fs::exists(unpacking / "bound" / "mine"));
        },
        {});
    EXPECT_TRUE(fs::exists(outside / "mine"));
}

}  // namespace
