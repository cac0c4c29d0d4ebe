#include "platform/core/SystemInfo.h"
#include "platform/files/Data.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace lf;

TEST(Data, ReadsAWholeFile) {
    test::TemporaryDirectory dir;
    std::string bytes(100000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    test::writeFile(dir / "f", bytes);
    auto data = Data::readFile((dir / "f").string());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->stringView(), bytes);
    EXPECT_EQ(data->subdata(10, 5).stringView(), bytes.substr(10, 5));
}

TEST(Data, MissingFilesAndFoldersAreErrors) {
    test::TemporaryDirectory dir;
    auto missing = Data::readFile((dir / "absent").string());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, kPOSIXErrorDomain);
    EXPECT_FALSE(Data::readFile(dir.path().string()));
}

TEST(DataDeathTest, SubdataOutsideTheBytesStops) {
    Data data = Data::fromString("abc");
    EXPECT_DEATH((void)data.subdata(2, 2), "subdata range outside the data");
}

TEST(SystemInfo, ReportsPlausibleValues) {
    EXPECT_GE(activeProcessorCount(), 1);
    EXPECT_LE(activeProcessorCount(), processorCount());
    size_t line = cacheLineSize();
    EXPECT_GE(line, 16u);
    EXPECT_EQ(line & (line - 1), 0u);
}
