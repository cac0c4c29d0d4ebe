// The registry of node kinds that the class-level developer checks walk.
#include "platform/core/Log.h"
#include "rendergraph/core/BNNodeKindRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

// Node classes that are never made: only their types are read.
class BNPlainTestNode final : public BNRenderNode {
public:
    const char* className() const override { return "BNPlainTestNode"; }
};
class BNHashedTestNode final : public BNRenderNode {
public:
    const char* className() const override { return "BNHashedTestNode"; }
    void updateHashContext(BNHashContext& context) const override {
        BNRenderNode::updateHashContext(context);
    }
};
class PlainHelperNode final : public BNRenderNode {
public:
    const char* className() const override { return "PlainHelperNode"; }
};

}  // namespace

TEST(BNNodeKindRegistry, ListsEveryNodeClassOfTheSources) {
    // A node class missing here would escape the identity check below.
    std::set<std::string> declared;
    const std::regex finalNodeClass(R"(class\s+(BN\w+)\s+final\s*:\s*public\s+BN\w+)");
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(LF_RENDERGRAPH_SOURCES)) {
        if (entry.path().extension() != ".h") continue;
        std::stringstream text;
        text << std::ifstream(entry.path()).rdbuf();
        const std::string source = text.str();
        for (std::sregex_iterator match(source.begin(), source.end(), finalNodeClass), end;
             match != end; ++match)
            declared.insert((*match)[1]);
    }
    std::set<std::string> registered;
    for (const BNNodeKind& kind : BNRenderNode::subclasses())
        EXPECT_TRUE(registered.emplace(kind.name).second) << "twice: " << kind.name;
    EXPECT_GT(declared.size(), 40u);
    EXPECT_EQ(registered, declared);
}

TEST(BNNodeKindRegistry, SearchReportsKindsWithoutIdentityBytesOfTheirOwn) {
    {
        lf::LogCapture capture;
        BNRenderNode::searchForUnimplementedHashMethods();
        EXPECT_EQ(capture.lines(), std::vector<std::string>{});
    }
    const BNNodeKindRegistry registry({BN_NODE_KIND(BNHashedTestNode),
                                       BN_NODE_KIND(BNPlainTestNode),
                                       BN_NODE_KIND(PlainHelperNode)});
    // Only names beginning with "BN" are node kinds.
    ASSERT_EQ(registry.subclasses().size(), 2u);
    lf::LogCapture capture;
    registry.searchForUnimplementedHashMethods();
    EXPECT_EQ(capture.lines(), std::vector<std::string>{
                                   "*** -[BNPlainTestNode updateHashContext:] not implemented!"});
}
