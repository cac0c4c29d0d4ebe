// Without a screen the tests of real windows skip, each of them cleanly,
// and their run passes: the tests run again in a child with an Xvfb on the
// PATH that exits at once, outside CI (where a missing screen fails).

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

size_t count(const std::string& text, const std::regex& line) {
    return std::distance(std::sregex_iterator(text.begin(), text.end(), line),
                         std::sregex_iterator());
}

TEST(ScreenTestsWithoutXvfb, EveryTestSkipsAndTheRunPasses) {
    lf::test::TemporaryDirectory failing;
    lf::test::writeFile(failing / "Xvfb", "#!/bin/sh\nexit 1\n");
    chmod((failing / "Xvfb").c_str(), 0755);
    const std::string path = failing.path().string() + ":" + std::getenv("PATH");
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const auto [status, output] = lf::test::runCommand(
        "env -u CI PATH='" + path + "' '" + self + "' --gtest_filter='-ScreenTestsWithoutXvfb.*'");
    EXPECT_EQ(status, 0) << output;
    const size_t ran = count(output, std::regex(R"(\[ RUN      \] )"));
    EXPECT_GE(ran, 5u) << output;
    EXPECT_EQ(count(output, std::regex(R"(\[  SKIPPED \] \w+\.\w+ \()")), ran) << output;
    EXPECT_THAT(output, HasSubstr("Xvfb (it exited with status 1 before giving its display)"));
}

}  // namespace
