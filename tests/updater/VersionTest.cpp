// Version comparison and byte counts for people.

#include "updater/engine/OMAUFormatByteCount.h"
#include "updater/feed/OMAUVersionComparison.h"

#include <gtest/gtest.h>

namespace {

TEST(OMAUStandardVersionComparison, OrdersReleasesAsPeopleWriteThem) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.0", "1.0.1", 1}, {"1.0.1", "1.0b", -1}, {"1.0b", "1.0c", 1}, {"2.0", "10.0", 1},
        {"1.0", "1.0b", -1}, {"1.0", "1.0", 0},     {"", "1", 1},        {"12", "", -1},
        {"1.00", "1.1", 1},  {"1.01", "1.1", 0},    {"345", "1.2", -1},  {"1.2", "1.2.0", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OMAUStandardVersionComparison(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(OMAUStandardVersionComparison(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }
}

TEST(OMAUStandardVersionComparison, BuildNumbersOfAnyLengthCompareByValue) {
    // Far past 64 bits: a comparison through an integer would overflow.
    EXPECT_EQ(OMAUStandardVersionComparison("123456789012345678901234567890",
                                            "123456789012345678901234567891"),
              1);
    EXPECT_EQ(OMAUStandardVersionComparison("99999999999999999999", "100000000000000000000"), 1);
    EXPECT_EQ(OMAUStandardVersionComparison("0099", "99"), 0);
    EXPECT_EQ(OMAUTypeOfVersionCharacter("000"), kOMAUStringType) << "a run of zeros";
    EXPECT_EQ((OMAUSplitVersionString("1.10b2..3")),
              (std::vector<std::string>{"1", ".", "10", "b", "2", ".", ".", "3"}));
}

TEST(OMAUFormatByteCount, UsesPowersOfAThousand) {
    EXPECT_EQ(OMAUFormatByteCount(0), "0 bytes");
    EXPECT_EQ(OMAUFormatByteCount(1000), "1000 bytes");
    EXPECT_EQ(OMAUFormatByteCount(35000), "35 kB");
    EXPECT_EQ(OMAUFormatByteCount(4210000), "4.3 MB") << "tenths rounded up";
    EXPECT_EQ(OMAUFormatByteCount(7e9), "7.0 GB");
    EXPECT_EQ(OMAUFormatByteCount(1e40), "10000000.0 UB") << "the prefixes end at U";
}

}  // namespace
