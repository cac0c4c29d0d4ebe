// Hidden names beside a file: they fit in the folder beside any name it
// takes, and stay apart for names that begin alike.
#include "platform/writing/HiddenName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace lf;

TEST(HiddenName, ANameThatFitsIsKeptWhole) {
    EXPECT_EQ(hiddenNamePrefix("icon.png", ".tmp-", 16, 255), ".icon.png.tmp-");
}

// Names of every legal length, some ending in a character of several
// bytes: the hidden name fits, is made again the same, and a folder takes
// it; names that differ only past the cut make different hidden names.
TEST(HiddenName, EveryLegalNameMakesOneThatTheFolderTakes) {
    test::TemporaryDirectory folder;
    const size_t longest = longestNameIn(folder.path());
    ASSERT_GE(longest, 64u);
    for (size_t length = 1; length <= longest; ++length) {
        std::string name(length, 'a');
        if (length >= 3) name.replace(length - 3, 3, "\xE2\x82\xAC");  // "€"
        const std::string prefix = hiddenNamePrefix(name, ".tmp-", 16, longest);
        const std::string hidden = prefix + std::string(16, '0');
        ASSERT_LE(hidden.size(), longest) << length;
        EXPECT_EQ(prefix, hiddenNamePrefix(name, ".tmp-", 16, longest));
        const int fd = ::open((folder / hidden).c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        ASSERT_GE(fd, 0) << "a name of " << length << " bytes: " << hidden;
        ::close(fd);
        ::unlink((folder / hidden).c_str());
    }
    const std::string a(250, 'a');
    EXPECT_NE(hiddenNamePrefix(a + "1.png", ".tmp-", 16, 255),
              hiddenNamePrefix(a + "2.png", ".tmp-", 16, 255));
}

// A cut never splits a character: what is kept of the name is valid UTF-8.
TEST(HiddenName, TheCutFallsBetweenCharacters) {
    std::string name;
    for (int i = 0; i < 100; ++i)
        name += "\xC3\xA9";  // "é"
    const std::string prefix = hiddenNamePrefix(name, ".unpacking-", 6, 120);
    ASSERT_LE(prefix.size() + 6, 120u);
    const size_t kept = prefix.find('~') - 1;
    EXPECT_EQ(kept % 2, 0u) << prefix;
}
