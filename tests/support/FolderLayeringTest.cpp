// What the layering check sees: includes written beside the including file
// ("../folder/Name.h") as well as from the subsystems' folder, and, where a
// subsystem may include no other, any header of another subsystem.

#include "support/FolderLayering.h"
#include "support/TestSupport.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using lf::test::OtherSubsystems;

// The messages of the failures the check reports on a scratch platform
// (core, files and writing, in that order up) beside a psd subsystem,
// whose files/Data.cpp holds the one include `line`.
std::vector<std::string> failuresOfInclude(const std::string& line, OtherSubsystems others) {
    lf::test::TemporaryDirectory scratch;
    const auto sources = scratch / "src";
    for (const char* folder : {"platform/core", "platform/files", "platform/writing", "psd"})
        std::filesystem::create_directories(sources / folder);
    lf::test::writeFile(sources / "platform/core/Error.h", "#pragma once\n");
    lf::test::writeFile(sources / "platform/files/Data.h", "#include \"platform/core/Error.h\"\n");
    lf::test::writeFile(sources / "platform/writing/AtomicFile.h",
                        "#include \"../files/Data.h\"\n");
    lf::test::writeFile(sources / "psd/Document.h", "#pragma once\n");
    lf::test::writeFile(sources / "platform/files/Data.cpp",
                        "// A file\n  #  include " + line + "\n");

    testing::TestPartResultArray results;
    int checked = 0;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        checked = lf::test::expectIncludesPointDown(
            sources / "platform", "platform", {{"core", 0}, {"files", 1}, {"writing", 2}}, others);
    }
    EXPECT_EQ(checked, 4);
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.push_back(results.GetTestPartResult(i).message());
    return messages;
}

TEST(FolderLayering, FollowsIncludesAsTheCompilerDoes) {
    struct Case {
        const char* include;
        OtherSubsystems others;
        const char* failure;  // none: the include passes
    } cases[] = {
        {"\"Data.h\"", OtherSubsystems::mayNotBeIncluded, nullptr},
        {"\"../core/Error.h\"", OtherSubsystems::mayNotBeIncluded, nullptr},
        {"\"platform/core/Error.h\"", OtherSubsystems::mayNotBeIncluded, nullptr},
        {"<zlib.h>", OtherSubsystems::mayNotBeIncluded, nullptr},
        {"<vector>", OtherSubsystems::mayNotBeIncluded, nullptr},
        {"\"platform/writing/AtomicFile.h\"", OtherSubsystems::mayBeIncluded, "reaches up"},
        {"\"../writing/AtomicFile.h\"", OtherSubsystems::mayBeIncluded, "reaches up"},
        {"\"../../platform/writing/AtomicFile.h\"", OtherSubsystems::mayBeIncluded, "reaches up"},
        {"\"platform/nowhere/Name.h\"", OtherSubsystems::mayBeIncluded, "folder of no layer"},
        {"\"psd/Document.h\"", OtherSubsystems::mayBeIncluded, nullptr},
        {"\"../../psd/Document.h\"", OtherSubsystems::mayBeIncluded, nullptr},
        {"\"psd/Document.h\"", OtherSubsystems::mayNotBeIncluded, "another subsystem"},
        {"\"../../psd/Document.h\"", OtherSubsystems::mayNotBeIncluded, "another subsystem"},
        {"<psd/Document.h>", OtherSubsystems::mayNotBeIncluded, "another subsystem"},
    };
    for (const Case& c : cases) {
        const bool othersAllowed = c.others == OtherSubsystems::mayBeIncluded;
        SCOPED_TRACE(std::string(c.include) + (othersAllowed ? "" : ", no other subsystem"));
        std::vector<std::string> failures = failuresOfInclude(c.include, c.others);
        if (!c.failure) {
            EXPECT_TRUE(failures.empty()) << failures.front();
            continue;
        }
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_NE(failures[0].find("files/Data.cpp:2"), std::string::npos) << failures[0];
        EXPECT_NE(failures[0].find(c.failure), std::string::npos) << failures[0];
    }
}

}  // namespace
