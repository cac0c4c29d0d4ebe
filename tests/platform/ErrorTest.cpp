#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/Result.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace lf;

namespace {

Result<int> half(int value) {
    if (value % 2) return Error("TestDomain", 7, {{kLocalizedDescriptionKey, std::string("odd")}});
    return value / 2;
}

Status quarter(int value, int* out) {
    auto h = half(value);
    if (!h) return h.error();
    auto q = half(*h);
    if (!q) return q.error();
    *out = *q;
    return {};
}

}  // namespace

TEST(Result, CarriesTheValueOrTheError) {
    int out = 0;
    EXPECT_TRUE(quarter(12, &out));
    EXPECT_EQ(out, 3);
    Status failed = quarter(6, &out);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.error().is("TestDomain", 7));
    EXPECT_EQ(failed.error().localizedDescription(), "odd");
}

TEST(Error, DescriptionFallsBackToDomainAndCode) {
    Error plain("QFExportFlowErrorDomain", -30);
    EXPECT_NE(plain.localizedDescription().find("QFExportFlowErrorDomain error -30"),
              std::string::npos);
    Error posix = Error::posix(ENOENT, "open /nowhere");
    EXPECT_EQ(posix.domain, kPOSIXErrorDomain);
    EXPECT_EQ(posix.code, ENOENT);
    EXPECT_NE(describe(posix).find("open /nowhere"), std::string::npos);
}

TEST(Error, UserInfoValuesAreReadByType) {
    auto underlying = std::make_shared<const Error>(Error::posix(EIO, "read"));
    Error error("D", 1,
                {{kLocalizedRecoveryOptionsErrorKey, std::vector<std::string>{"View Examples"}},
                 {kUnderlyingErrorKey, underlying},
                 {kLocalizedFailureReasonErrorKey, int64_t{3}}});
    EXPECT_EQ(error.localizedRecoveryOptions(), std::vector<std::string>{"View Examples"});
    EXPECT_EQ(error.underlyingError(), underlying);
    EXPECT_EQ(error.localizedFailureReason(), "");  // not a string
    EXPECT_EQ(error.recoveryAttempter(), nullptr);
}

TEST(Log, CaptureReceivesFormattedLines) {
    LogCapture capture;
    log("render {} at {:g}", "node", 2.0);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "render node at 2");
}
