#include "bytearray/BABTreeByteArray.h"
#include "bytearray/BAByteArrayProxiedData.h"
#include "bytearray/BAError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

std::string pattern(size_t length, int seed) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + seed) % 251);
    return bytes;
}

}  // namespace

TEST(FileByteArray, ReadsRangesAndSubarraysOfAFile) {
    lf::test::TemporaryDirectory dir;
    std::string bytes = pattern(300000, 3);
    lf::test::writeFile(dir / "doc.psd", bytes);
    auto array = BABTreeByteArray::createWithFile((dir / "doc.psd").string());
    ASSERT_TRUE(array);
    ASSERT_EQ((*array)->length(), bytes.size());

    std::string out(1000, '\0');
    ASSERT_TRUE((*array)->copyBytes(out.data(), {123456, 1000}));
    EXPECT_EQ(out, bytes.substr(123456, 1000));

    auto sub = (*array)->subarray({1000, 5000});
    ASSERT_TRUE(sub);
    auto proxied = BAByteArrayProxiedData::create(**sub);
    ASSERT_TRUE(proxied);
    EXPECT_EQ(proxied->data().stringView(), bytes.substr(1000, 5000));
}

TEST(FileByteArray, MissingFileIsAnError) {
    lf::test::TemporaryDirectory dir;
    EXPECT_FALSE(BABTreeByteArray::createWithFile((dir / "none.psd").string()));
}

TEST(FileByteArray, AFileThatShrankReportsTruncation) {
    lf::test::TemporaryDirectory dir;
    auto path = dir / "shrinks.psd";
    lf::test::writeFile(path, pattern(10000, 1));
    auto array = BABTreeByteArray::createWithFile(path.string());
    ASSERT_TRUE(array);
    std::filesystem::resize_file(path, 4000);

    std::string out(2000, '\0');
    EXPECT_TRUE((*array)->copyBytes(out.data(), {1000, 2000}));
    auto status = (*array)->copyBytes(out.data(), {3000, 2000});
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().is(BAByteArrayErrorDomain, BAByteArrayErrorFileTruncated));
}

TEST(FileByteArray, ADeletedFileStaysReadable) {
    lf::test::TemporaryDirectory dir;
    auto path = dir / "gone.psd";
    std::string bytes = pattern(5000, 9);
    lf::test::writeFile(path, bytes);
    auto array = BABTreeByteArray::createWithFile(path.string());
    ASSERT_TRUE(array);
    std::filesystem::remove(path);
    std::string out(5000, '\0');
    ASSERT_TRUE((*array)->copyBytes(out.data(), {0, 5000}));
    EXPECT_EQ(out, bytes);
}

TEST(FileByteArray, ReadsNearTheEndOfAFileLargerThan4GiB) {
    lf::test::TemporaryDirectory dir;
    auto path = dir / "sparse.psb";
    const uint64_t size = (uint64_t{5} << 30) + 12345;
    {
        int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        const char tail[] = "tail-marker";
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, tail, sizeof tail - 1, size - (sizeof tail - 1)),
                  static_cast<ssize_t>(sizeof tail - 1));
        ::close(fd);
    }
    auto array = BABTreeByteArray::createWithFile(path.string());
    ASSERT_TRUE(array);
    ASSERT_EQ((*array)->length(), size);
    std::string out(11, '\0');
    ASSERT_TRUE((*array)->copyBytes(out.data(), {size - 11, 11}));
    EXPECT_EQ(out, "tail-marker");

    // A sub-array high in the file, then an insertion before it.
    auto sub = (*array)->subarray({size - 20, 20});
    ASSERT_TRUE(sub);
    ASSERT_TRUE((*array)->insertByteArray(**sub, 2));
    std::string head(8, '\0');
    ASSERT_TRUE((*array)->copyBytes(head.data(), {0, 8}));
    EXPECT_EQ(head, std::string("he\0\0\0\0\0\0", 8));
    ASSERT_TRUE((*array)->copyBytes(out.data(), {2 + 9, 11}));
    EXPECT_EQ(out, "tail-marker");
}

TEST(FileByteArray, ConcurrentReadersOfOneFile) {
    lf::test::TemporaryDirectory dir;
    std::string bytes = pattern(1 << 20, 5);
    lf::test::writeFile(dir / "f", bytes);
    auto array = BABTreeByteArray::createWithFile((dir / "f").string());
    ASSERT_TRUE(array);
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            std::string out(4096, '\0');
            for (int i = 0; i < 300; ++i) {
                uint64_t at = (static_cast<uint64_t>(i) * 7919 + t * 104729) % (bytes.size() - 4096);
                if (!(*array)->copyBytes(out.data(), {at, 4096}) || out != bytes.substr(at, 4096)) ++bad;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(bad, 0);
}
