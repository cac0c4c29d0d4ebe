#include "TestNodes.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "rendergraph/core/BNSimpleScaleNode.h"
#include "rendergraph/geometry/BNTranslateNode.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

using namespace rendergraph_test;

namespace {

// SHA-1 of bytes assembled by hand, independently of BNHashContext.
BNHashIdentifier sha1(const std::string& bytes) {
    BNHashIdentifier digest;
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.bytes.data(), &length, EVP_sha1(), nullptr);
    return digest;
}

template <typename T>
std::string raw(const T& value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

const std::string kVersion("\x01\x00\x00\x00", 4);
const std::string kNoInput(20, '\0');

std::string identity(const BNRenderNode& node) {
    const auto& bytes = node.hashIdentifier().bytes;
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(BNRenderNodeIdentity, MatchesTheByteLayoutComputedByHand) {
    auto lone = BNTranslateNode::create(nullptr, {3.4, -2.5});
    EXPECT_EQ(lone->hashIdentifier(),
              sha1(kVersion + "BNTranslateNode" + "input" + kNoInput + raw(3.0) + raw(-3.0)));

    auto scaleless = BNSimpleScaleNode::create(nullptr, 2.0);
    EXPECT_EQ(scaleless->hashIdentifier(),
              sha1(kVersion + "BNSimpleScaleNode" + "inputNode" + raw(2.0)));

    auto scaled = BNSimpleScaleNode::create(lone, 0.5);
    EXPECT_EQ(scaled->hashIdentifier(),
              sha1(kVersion + "BNSimpleScaleNode" + "inputNode" + identity(*lone) + raw(0.5)));

    auto moved = BNTranslateNode::create(scaled, {1, 2});
    EXPECT_EQ(moved->hashIdentifier(), sha1(kVersion + "BNTranslateNode" + "input" +
                                            identity(*scaled) + raw(1.0) + raw(2.0)));
    EXPECT_EQ(moved->hashIdentifier().string().size(), 40u);
}

TEST(BNRenderNodeIdentity, EqualGraphsShareIdentitiesAndEveryChangeShows) {
    auto build = [](double dx, double scale, int tag) {
        auto pattern =
            PatternNode::create(VKRectMake(0, 0, 10, 10), BNChannelMaskRGBA, true, nullptr, tag);
        return BNTranslateNode::create(BNSimpleScaleNode::create(pattern, scale), {dx, 0});
    };
    auto a = build(1, 2, 0), b = build(1, 2, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->hashIdentifier(), b->hashIdentifier());
    EXPECT_NE(a->hashIdentifier(), build(2, 2, 0)->hashIdentifier()) << "parameter of the root";
    EXPECT_NE(a->hashIdentifier(), build(1, 0.5, 0)->hashIdentifier()) << "parameter of an input";
    EXPECT_NE(a->hashIdentifier(), build(1, 2, 1)->hashIdentifier()) << "a leaf deep down";

    // The same parameters under another class differ.
    auto pattern = PatternNode::create(VKRectMake(0, 0, 10, 10), BNChannelMaskRGBA, true);
    EXPECT_NE(BNTranslateNode::create(pattern, {0, 0})->hashIdentifier(),
              BNSimpleScaleNode::create(pattern, 0)->hashIdentifier());
    // Object references count by address: two equal averages over two
    // distinct (if equal) inputs are equal, since the inputs' identities are.
    EXPECT_EQ(AverageNode::create({pattern})->hashIdentifier(),
              AverageNode::create({pattern})->hashIdentifier());
}

TEST(BNRenderNode, HeightsConsumersAndDescriptions) {
    auto leaf = PatternNode::create(VKRectMake(0, 0, 4, 4), BNChannelMaskOpacity, true);
    EXPECT_EQ(leaf->height(), 1u);
    EXPECT_EQ(leaf->debugDescription(), "{ \"name\" = \"PatternNode\"; \"inputNodes\" = {  }; }");

    auto middle = BNTranslateNode::create(leaf, {1, 1});
    auto top = AverageNode::create({middle, leaf});
    EXPECT_EQ(top->height(), 3u);
    EXPECT_EQ(top->debugDescription(),
              // Every non-empty list ends with "; " before its closing " }".
              "{ \"name\" = \"AverageNode\"; \"inputNodes\" = { \"input0\" = { \"name\" = "
              "\"BNTranslateNode\"; "
              "\"inputNodes\" = { \"input0\" = { \"name\" = \"PatternNode\"; \"inputNodes\" = {  "
              "}; };  }; }; "
              "\"input1\" = { \"name\" = \"PatternNode\"; \"inputNodes\" = {  }; };  }; }");

    ASSERT_EQ(leaf->outputNodes().size(), 2u);
    EXPECT_EQ(leaf->outputNodes()[0], middle);
    EXPECT_EQ(leaf->outputNodes()[1], top);
    top.reset();
    ASSERT_EQ(leaf->outputNodes().size(), 1u);
    EXPECT_EQ(leaf->outputNodes()[0], middle);
}

TEST(BNRenderNode, BoundsAndIdentityAreComputedOnceUnderConcurrentFirstCalls) {
    for (int round = 0; round < 20; ++round) {
        BNRenderNodePtr node =
            PatternNode::create(VKRectMake(round, 0, 8, 8), BNChannelMaskRGBA, true);
        for (int i = 0; i < 50; ++i)
            node = BNTranslateNode::create(node, {1, 0});
        lf::DispatchGroup group;
        std::vector<BNHashIdentifier> seen(8);
        std::vector<VKRect> bounds(8);
        for (int t = 0; t < 8; ++t)
            group.async(lf::DispatchQueue::global(), [&, t] {
                seen[t] = node->hashIdentifier();
                bounds[t] = node->bounds();
            });
        group.wait();
        for (int t = 1; t < 8; ++t) {
            EXPECT_EQ(seen[t], seen[0]);
            EXPECT_EQ(bounds[t], bounds[0]);
        }
        EXPECT_EQ(bounds[0].origin.x, round - 50.0);
    }
}

TEST(BNRenderNode, GraphsThousandsOfNodesDeepOnAWorkerThread) {
    // Identity, bounds and release of a 100,000-node chain, all on a worker
    // of a global queue: nothing may recurse once per level.
    lf::DispatchGroup group;
    bool ok = false;
    group.async(lf::DispatchQueue::global(), [&] {
        BNRenderNodePtr node = PatternNode::create(VKRectMake(0, 0, 8, 8), BNChannelMaskRGBA, true);
        for (int i = 0; i < 100000; ++i)
            node = BNTranslateNode::create(node, {i % 2 ? 1.0 : -1.0, 0});
        VKRect bounds = node->bounds();
        BNHashIdentifier identity = node->hashIdentifier();
        ok = bounds.origin.x == 0 && node->height() == 100001 && identity != BNHashIdentifier{};
        node.reset();
    });
    group.wait();
    EXPECT_TRUE(ok);
}
