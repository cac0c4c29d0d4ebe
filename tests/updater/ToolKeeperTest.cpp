// The keeper of an unpacking tool's group is a program of its own: it
// keeps nothing of the application's memory, however much the application
// holds and rewrites while the tool runs.

#include "ArchiveTestSupport.h"
#include "platform/processes/HelperPrograms.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stop_token>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A process's resident and proportional set sizes, in bytes.
struct Footprint {
    uint64_t resident = 0, proportional = 0;
};

std::optional<Footprint> footprintOf(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::optional<Footprint> footprint;
    for (std::string line; std::getline(rollup, line);) {
        std::istringstream words(line);
        std::string name;
        uint64_t kibibytes = 0;
        if (!(words >> name >> kibibytes)) continue;
        footprint = footprint.value_or(Footprint{});
        if (name == "Rss:") footprint->resident = kibibytes << 10;
        if (name == "Pss:") footprint->proportional = kibibytes << 10;
    }
    return footprint;
}

// The keeper of the group `group`, once it stands there: the member that
// runs the keeper's program (the tool's own children come and go too).
std::optional<pid_t> keeperOf(pid_t group) {
    const fs::path program = fs::canonical(lf::helperProgramPath(lf::kGroupKeeper));
    const auto giveUp = std::chrono::steady_clock::now() + lf::test::kPatience;
    while (std::chrono::steady_clock::now() < giveUp) {
        for (const lf::test::GroupMember& member : lf::test::groupMembers(group)) {
            std::error_code unreadable;
            const fs::path runs =
                fs::read_symlink("/proc/" + std::to_string(member.pid) + "/exe", unreadable);
            if (!unreadable && runs == program) return member.pid;
        }
        std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
}

TEST(OMAUToolKeeper, HoldsNothingOfTheApplicationsMemory) {
    // This process is the application: 256 MiB written before the tool
    // starts and written again while it runs, as a render would.
    constexpr size_t kApplicationMemory = size_t{256} << 20;
    const std::unique_ptr<char[]> memory(new char[kApplicationMemory]);
    std::memset(memory.get(), 1, kApplicationMemory);

    lf::test::TemporaryDirectory home;
    const fs::path folder = home / "unpacking";
    fs::create_directory(folder);
    std::stop_source stop;
    std::thread unpacking([&] {
        OMAUUnpackingTool tool = lf::test::shellTool(
            folder,
            "echo $$ > \"$0/../tool.new\"; mv \"$0/../tool.new\" \"$0/../tool\"; "
            "exec sleep 600");
        tool.stop = stop.get_token();
        static_cast<void>(OMAURunUnpackingTool(tool));
    });
    const auto giveUp = std::chrono::steady_clock::now() + lf::test::kPatience;
    while (!fs::exists(home / "tool") && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
    const pid_t tool = fs::exists(home / "tool") ? std::stoi(lf::test::readText(home / "tool")) : 0;
    const std::optional<pid_t> keeper = tool > 0 ? keeperOf(tool) : std::nullopt;
    std::memset(memory.get(), 2, kApplicationMemory);
    const std::optional<Footprint> footprint = keeper ? footprintOf(*keeper) : std::nullopt;
    stop.request_stop();
    unpacking.join();

    ASSERT_GT(tool, 0) << "the tool never started";
    ASSERT_TRUE(keeper) << "no keeper stood in the tool's group";
    ASSERT_TRUE(footprint);
    constexpr uint64_t kFewMegabytes = uint64_t{8} << 20;
    EXPECT_LT(footprint->resident, kFewMegabytes);
    EXPECT_LT(footprint->proportional, kFewMegabytes);
    RecordProperty("keeperResidentBytes", std::to_string(footprint->resident));
    RecordProperty("keeperProportionalBytes", std::to_string(footprint->proportional));
}

}  // namespace
