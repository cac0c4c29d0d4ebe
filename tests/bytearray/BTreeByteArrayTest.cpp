#include "bytearray/BABTreeByteArray.h"
#include "bytearray/BAByteArrayProxiedData.h"
#include "bytearray/BAError.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace {

lf::Data randomData(std::mt19937_64& rng, size_t length) {
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return lf::Data(std::move(bytes));
}

std::vector<uint8_t> readAll(const BAByteArray& array) {
    std::vector<uint8_t> bytes(array.length());
    EXPECT_TRUE(array.copyBytes(bytes.data(), {0, bytes.size()}));
    return bytes;
}

}  // namespace

// Random inserts, sub-ranges and reads on the tree and on a plain vector,
// compared after every step.
TEST(BABTreeByteArray, BehavesLikeAVectorUnderRandomEdits) {
    std::mt19937_64 rng(20261206);
    BABTreeByteArray array;
    std::vector<uint8_t> model;
    for (int step = 0; step < 4000; ++step) {
        int action = static_cast<int>(rng() % 10);
        if (action < 5 || model.empty()) {
            // Insert a slice of fresh memory, or a piece of a sub-array of ourselves.
            uint64_t at = rng() % (model.size() + 1);
            if (action == 0 && !model.empty()) {
                uint64_t from = rng() % model.size();
                uint64_t len = rng() % std::min<uint64_t>(model.size() - from, 200) + 1;
                auto piece = array.subarray({from, len});
                ASSERT_TRUE(piece);
                ASSERT_TRUE(array.insertByteArray(**piece, at));
                std::vector<uint8_t> copied(model.begin() + from, model.begin() + from + len);
                model.insert(model.begin() + at, copied.begin(), copied.end());
            } else {
                lf::Data data = randomData(rng, rng() % 40 + 1);
                ASSERT_TRUE(array.insertSlice({std::make_shared<BAMemorySource>(data), 0, data.size()}, at));
                model.insert(model.begin() + at, data.bytes(), data.bytes() + data.size());
            }
        } else if (action < 8) {
            uint64_t from = rng() % model.size();
            uint64_t len = rng() % (model.size() - from + 1);
            std::vector<uint8_t> out(len + 1, 0xEE);
            ASSERT_TRUE(array.copyBytes(out.data(), {from, len}));
            ASSERT_TRUE(std::equal(out.begin(), out.begin() + len, model.begin() + from)) << "step " << step;
            ASSERT_EQ(out[len], 0xEE) << "wrote past the range";
        } else {
            uint64_t from = rng() % model.size();
            uint64_t len = rng() % (model.size() - from + 1);
            auto sub = array.subarray({from, len});
            ASSERT_TRUE(sub);
            ASSERT_EQ((*sub)->length(), len);
            auto bytes = readAll(**sub);
            ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), model.begin() + from));
        }
        ASSERT_EQ(array.length(), model.size());
    }
    EXPECT_EQ(readAll(array), model);
    // Thousands of slices: the tree must have grown in height, not in width.
    EXPECT_GT(array.sliceCount(), 1000u);
    EXPECT_GE(array.height(), 3);
    EXPECT_LE(array.height(), 6);
}

TEST(BABTreeByteArray, RangesPastTheEndAreErrorsAndCopyNothing) {
    BABTreeByteArray array(lf::Data::fromString("0123456789"));
    char out[16] = {};
    for (BARange bad : {BARange{0, 11}, BARange{10, 1}, BARange{11, 0}, BARange{5, UINT64_MAX},
                        BARange{UINT64_MAX, 2}}) {
        auto status = array.copyBytes(out, bad);
        ASSERT_FALSE(status);
        EXPECT_TRUE(status.error().is(BAByteArrayErrorDomain, BAByteArrayErrorRangeOutOfBounds));
        EXPECT_FALSE(array.subarray(bad));
    }
    EXPECT_EQ(out[0], 0);
    EXPECT_TRUE(array.copyBytes(out, {10, 0}));
    EXPECT_FALSE(array.insertSlice({std::make_shared<BAMemorySource>(lf::Data::fromString("x")), 0, 1}, 11));
    EXPECT_EQ(array.length(), 10u);
}

TEST(BABTreeByteArray, InsertingIntoTheMiddleOfASliceSplitsIt) {
    BABTreeByteArray array(lf::Data::fromString("abcdef"));
    ASSERT_TRUE(array.insertByteArray(BABTreeByteArray(lf::Data::fromString("XY")), 3));
    ASSERT_TRUE(array.insertByteArray(array, 0));  // itself, doubled
    auto bytes = readAll(array);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcXYdefabcXYdef");
    EXPECT_EQ(array.sliceCount(), 6u);
}

TEST(BABTreeByteArray, ConcurrentReadersSeeTheRightBytes) {
    std::mt19937_64 rng(7);
    BABTreeByteArray array;
    std::vector<uint8_t> model;
    for (int i = 0; i < 2000; ++i) {
        lf::Data data = randomData(rng, 97);
        ASSERT_TRUE(array.insertSlice({std::make_shared<BAMemorySource>(data), 0, 97}, model.size()));
        model.insert(model.end(), data.bytes(), data.bytes() + 97);
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t) {
        readers.emplace_back([&, t] {
            std::mt19937_64 local(t);
            std::vector<uint8_t> out(5000);
            for (int i = 0; i < 2000; ++i) {
                uint64_t from = local() % (model.size() - out.size());
                if (!array.copyBytes(out.data(), {from, out.size()}) ||
                    !std::equal(out.begin(), out.end(), model.begin() + from))
                    ++mismatches;
            }
        });
    }
    for (auto& r : readers) r.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(BAByteArrayProxiedData, PresentsTheBytesContiguously) {
    lf::Data data = lf::Data::fromString("profile bytes");
    BABTreeByteArray single(data);
    auto whole = BAByteArrayProxiedData::create(single);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->data().stringView(), "profile bytes");
    EXPECT_EQ(whole->bytes(), data.bytes()) << "one memory slice is presented without a copy";

    auto sub = single.subarray({8, 5});
    ASSERT_TRUE(sub);
    ASSERT_TRUE((*sub)->insertByteArray(single, 0));
    auto joined = BAByteArrayProxiedData::create(**sub);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->data().stringView(), "profile bytesbytes");
    auto empty = BAByteArrayProxiedData::create(BABTreeByteArray());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->length(), 0u);
}
