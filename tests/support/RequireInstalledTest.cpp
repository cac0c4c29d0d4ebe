// What a test that needs an installed program does when it is missing:
// skip on a developer's machine, fail in CI.

#include "support/TestSupport.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <optional>

namespace {

void requireTool(bool available) {
    LF_REQUIRE_INSTALLED(available, "the frobnicator");
}

// The one result that requireTool reports, if any, without letting it end
// the test that asks.
std::optional<testing::TestPartResult> resultOfRequiring(bool available) {
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        requireTool(available);
    }
    EXPECT_LE(results.size(), 1);
    if (results.size() == 0) return std::nullopt;
    return results.GetTestPartResult(0);
}

}  // namespace

TEST(RequireInstalled, SkipsOutsideCIAndFailsInCI) {
    struct Case {
        std::optional<std::string> ci;
        bool fails;
    };
    for (const Case& c : {Case{std::nullopt, false}, Case{"false", false}, Case{"true", true}}) {
        SCOPED_TRACE(c.ci.value_or("unset"));
        lf::test::ScopedEnvironment ci("CI", c.ci);
        EXPECT_FALSE(resultOfRequiring(true));

        auto result = resultOfRequiring(false);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->fatally_failed(), c.fails);
        EXPECT_EQ(result->skipped(), !c.fails);
        EXPECT_NE(std::string(result->message()).find("the frobnicator is missing"),
                  std::string::npos)
            << result->message();
    }
}
