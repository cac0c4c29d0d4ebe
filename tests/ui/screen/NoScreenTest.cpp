// Without a screen the tests of real windows skip, each of them cleanly,
// and their run passes: the tests run again in a child with an Xvfb on the
// PATH that exits at once, outside CI (where a missing screen fails).

#include "XvfbServer.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A folder whose Xvfb exits at once with status 1.
class FailingXvfbFolder {
public:
    FailingXvfbFolder() {
        lf::test::writeFile(folder_ / "Xvfb", "#!/bin/sh\nexit 1\n");
        chmod((folder_ / "Xvfb").c_str(), 0755);
    }
    // The PATH with this folder first.
    std::string path() const { return folder_.path().string() + ":" + std::getenv("PATH"); }

private:
    lf::test::TemporaryDirectory folder_;
};

size_t count(const std::string& text, const std::regex& line) {
    return std::distance(std::sregex_iterator(text.begin(), text.end(), line),
                         std::sregex_iterator());
}

TEST(ScreenTestsWithoutXvfb, TheServerSaysHowItEnded) {
    FailingXvfbFolder failing;
    lf::test::ScopedEnvironment path("PATH", failing.path());
    const lf::test::XvfbServer server(80, 60);
    EXPECT_FALSE(server.running());
    EXPECT_EQ(server.failure(), "it exited with status 1 before giving its display");
}

TEST(ScreenTestsWithoutXvfb, EveryTestSkipsAndTheRunPasses) {
    FailingXvfbFolder failing;
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const auto [status, output] =
        lf::test::runCommand("env -u CI PATH='" + failing.path() + "' '" + self +
                             "' --gtest_filter='-ScreenTestsWithoutXvfb.*'");
    EXPECT_EQ(status, 0) << output;
    const size_t ran = count(output, std::regex(R"(\[ RUN      \] )"));
    EXPECT_GE(ran, 5u) << output;
    EXPECT_EQ(count(output, std::regex(R"(\[  SKIPPED \] \w+\.\w+ \()")), ran) << output;
    EXPECT_THAT(output, HasSubstr("Xvfb (it exited with status 1 before giving its display)"));
}

}  // namespace
