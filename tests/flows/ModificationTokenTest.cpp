// Modification tokens: what tells two saved versions of a document apart,
// and how the archive keeps them.

#include "FlowTestSupport.h"
#include "flows/watching/QFModificationToken.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

using namespace lf;
namespace fs = std::filesystem;

// A rewrite in place of the same size, its modification time set back: the
// status-change time, which no writer can set, is all that tells the two
// versions apart, for the document and for what a link leads to.
TEST(ModificationToken, AStatusChangeAloneIsAChange) {
    test::TemporaryDirectory folder;
    const fs::path document = folder / "d.psd", link = folder / "L.psd";
    test::writeFile(document, "version 1");
    setModificationSecond(document, 1'000'000);
    fs::create_symlink(document, link);
    const QFModificationToken before = QFModificationToken::forPath(link.string());
    ASSERT_TRUE(before.linkTarget);

    // The status-change time moves with the kernel's clock tick: rewrite
    // until it has moved.
    QFModificationToken after;
    for (int attempt = 0; attempt < 100'000; ++attempt) {
        test::writeFile(document, "version 2");
        setModificationSecond(document, 1'000'000);
        after = QFModificationToken::forPath(link.string());
        if (!(after.linkTarget->statusChange.tv_sec == before.linkTarget->statusChange.tv_sec &&
              after.linkTarget->statusChange.tv_nsec == before.linkTarget->statusChange.tv_nsec))
            break;
    }
    const QFFileStamp &was = *before.linkTarget, &is = *after.linkTarget;
    EXPECT_EQ(
        std::tie(is.device, is.inode, is.size, is.modification.tv_sec, is.modification.tv_nsec),
        std::tie(was.device, was.inode, was.size, was.modification.tv_sec,
                 was.modification.tv_nsec));
    EXPECT_FALSE(is == was);
    EXPECT_NE(after, before);
    EXPECT_NE(QFModificationToken::forPath(document.string()).item, was);
}

// Tokens come back from their archive as they were, through JSON text;
// an archive that is not a token's gives none.
TEST(ModificationToken, ArchivedTokensComeBackAsTheyWere) {
    test::TemporaryDirectory folder;
    test::writeFile(folder / "d.psd", "d");
    fs::create_symlink(folder / "d.psd", folder / "L.psd");
    constexpr auto largest = std::numeric_limits<uint64_t>::max();
    const QFFileStamp extremes{static_cast<dev_t>(largest),
                               static_cast<ino_t>(largest - 1),
                               std::numeric_limits<off_t>::max(),
                               {-1, 999'999'999},
                               {0, 0}};
    for (const QFModificationToken& token :
         {QFModificationToken::forPath((folder / "L.psd").string()),
          QFModificationToken::forPath((folder / "missing.psd").string()),
          QFModificationToken{extremes, std::nullopt}}) {
        const auto decoded =
            QFModificationToken::decode(nlohmann::json::parse(token.encode().dump()));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, token);
    }

    const nlohmann::json archive = QFModificationToken{extremes, extremes}.encode();
    const std::pair<const char*, nlohmann::json> damages[] = {
        {"", "a token"},
        {"item", 12},
        {"linkTarget", nullptr},
        {"/item/device", -1},
        {"/item/size", "large"},
        {"/item/modification/1", 1'000'000'000},
        {"/linkTarget/statusChange", nlohmann::json::array({1})},
    };
    for (const auto& [where, value] : damages) {
        nlohmann::json damaged = archive;
        if (*where == '/')
            damaged[nlohmann::json::json_pointer(where)] = value;
        else if (*where)
            damaged[where] = value;
        else
            damaged = value;
        EXPECT_FALSE(QFModificationToken::decode(damaged)) << where << " " << value;
    }
}
