// Files on disk: atomic writes, type identifiers, the routes paths take and
// bookmarks.
#include "platform/AtomicFile.h"
#include "platform/Bookmark.h"
#include "platform/PathRoute.h"
#include "platform/TypeIdentifier.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace lf;
namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

TEST(AtomicFile, ReplacesContentsKeepsPermissionsAndLeavesNoTemporaryFile) {
    test::TemporaryDirectory folder;
    const fs::path target = folder / "out.png";
    ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("first")));
    EXPECT_EQ(contents(target), "first");
    const mode_t umask = ::umask(0);
    ::umask(umask);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0666 & ~umask));

    fs::permissions(target, static_cast<fs::perms>(0640));
    ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("second, longer")));
    EXPECT_EQ(contents(target), "second, longer");
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
    ASSERT_TRUE(writeFileAtomically(target.string(), Data()));
    EXPECT_EQ(contents(target), "");
    EXPECT_EQ(names(folder.path()), std::vector<std::string>{"out.png"});
}

TEST(AtomicFile, FailureLeavesTheTargetAndNoTemporaryFile) {
    test::TemporaryDirectory folder;
    auto missing =
        writeFileAtomically((folder / "no/such/folder/x").string(), Data::fromString("x"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);

    // A folder in the way of the rename: the write fails, the folder stays.
    fs::create_directory(folder / "taken");
    fs::create_directory(folder / "taken" / "inside");
    EXPECT_FALSE(writeFileAtomically((folder / "taken").string(), Data::fromString("x")));
    EXPECT_TRUE(fs::is_directory(folder / "taken" / "inside"));
    EXPECT_EQ(names(folder.path()), std::vector<std::string>{"taken"});
}

// The writer runs in a child process whose file size limit lies half way
// through the new contents, so the kernel stops it at the same byte every
// time: there the child is killed (SIGKILL, from its SIGXFSZ handler), or,
// with SIGXFSZ ignored, its write fails. Either way the target keeps its old
// contents; a killed writer's temporary file stays until the next write of
// the target, a failed writer removes its own.
TEST(AtomicFile, WriterKilledHalfWayLeavesTheOldContents) {
    enum class Interruption { Killed, WriteFails };
    for (Interruption how : {Interruption::Killed, Interruption::WriteFails}) {
        SCOPED_TRACE(how == Interruption::Killed ? "killed" : "write fails");
        test::TemporaryDirectory folder;
        const fs::path target = folder / "data.bin";
        const std::string old = "the old contents";
        test::writeFile(target, old);
        const std::vector<uint8_t> next(1 << 20, 'N');

        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = next.size() / 4;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            if (how == Interruption::Killed)
                ::signal(SIGXFSZ, [](int) { ::raise(SIGKILL); });
            else
                ::signal(SIGXFSZ, SIG_IGN);
            Status written = writeFileAtomically(target.string(), next);
            _exit(written ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string left = contents(target);
        EXPECT_TRUE(left == old) << left.size() << " bytes, not the old contents";
        if (how == Interruption::Killed) {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
            EXPECT_EQ(names(folder.path()).size(), 2u) << "the dead writer's temporary file";
        } else {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
            EXPECT_EQ(names(folder.path()), std::vector<std::string>{"data.bin"});
        }

        ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("newer")));
        EXPECT_EQ(contents(target), "newer");
        EXPECT_EQ(names(folder.path()), std::vector<std::string>{"data.bin"});
    }
}

// A temporary file that a live writer holds is not taken for a dead
// writer's: the other write of the same target leaves it alone.
TEST(AtomicFile, ConcurrentWritersOfOneTargetLeaveOneWholeContents) {
    test::TemporaryDirectory folder;
    const fs::path target = folder / "defaults.json";
    std::vector<std::string> texts;
    for (char c : {'a', 'b', 'c', 'd'})
        texts.emplace_back(size_t(64) << 10, c);
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (const std::string& text : texts)
        writers.emplace_back([&, text] {
            for (int i = 0; i < 25; ++i)
                if (!writeFileAtomically(target.string(), Data::fromString(text))) ++failures;
        });
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_NE(std::find(texts.begin(), texts.end(), contents(target)), texts.end());
    EXPECT_EQ(names(folder.path()), std::vector<std::string>{"defaults.json"});
}

TEST(TypeIdentifier, FoldersPhotoshopDocumentsAndOtherItems) {
    test::TemporaryDirectory folder;
    fs::create_directory(folder / "assets");
    for (const char* name : {"a.psd", "b.PSB", "c.Psd", "d.png", "psd"})
        test::writeFile(folder / name, "x");
    fs::create_symlink(folder / "a.psd", folder / "link.psd");
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"assets", kTypeFolder},
        {"a.psd", kTypePhotoshopImage},
        {"b.PSB", kTypePhotoshopImage},
        {"c.Psd", kTypePhotoshopImage},
        {"d.png", kTypeData},
        {"psd", kTypeData},
        {"link.psd", kTypeSymbolicLink},
        {"missing.psd", std::nullopt},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(typeIdentifierForPath((folder / name).string()), type) << name;
}

TEST(TypeIdentifier, ANamedLinkIsTypedByWhatItLeadsTo) {
    test::TemporaryDirectory folder;
    test::writeFile(folder / "a.psd", "x");
    test::writeFile(folder / "notes.txt", "x");
    const std::tuple<const char*, const char*, std::optional<std::string>> links[] = {
        {"link.psd", "a.psd", kTypePhotoshopImage}, {"chain.psd", "link.psd", kTypePhotoshopImage},
        {"doc.txt", "a.psd", kTypePhotoshopImage},  {"notes.psd", "notes.txt", kTypeData},
        {"folder.psd", ".", kTypeFolder},           {"dangling.psd", "missing.psd", std::nullopt},
    };
    for (const auto& [name, target, type] : links) {
        fs::create_symlink(target, folder / name);
        EXPECT_EQ(typeIdentifierForNamedPath((folder / name).string()), type) << name;
    }
    EXPECT_EQ(typeIdentifierForNamedPath((folder / "a.psd").string()), kTypePhotoshopImage);
}

// Resolution goes through links as the kernel's does (".." from the
// link's own folder), entering each folder before it looks inside, and
// stops at a missing name, below a file, or in a loop.
TEST(PathRoute, FollowsFoldersAndLinksAsTheKernelResolvesThem) {
    test::TemporaryDirectory scratch;
    const fs::path base = fs::canonical(scratch.path()), target = base / "targets" / "T.psd";
    fs::create_directories(base / "a" / "b");
    fs::create_directories(base / "targets");
    test::writeFile(target, "x");
    fs::create_symlink("../../targets", base / "a" / "b" / "up");
    fs::create_symlink(base / "a" / "b" / "up" / "T.psd", base / "a" / "L.psd");
    fs::create_symlink("loop.psd", base / "loop.psd");

    std::vector<std::string> entered;
    const auto trace = [&](const fs::path& path) {
        entered.clear();
        return PathRoute::trace(path.string(), [&](const std::string& folder, const ItemIdentity&) {
            entered.push_back(folder);
        });
    };
    const PathRoute route = trace(base / "a" / "L.psd");
    ASSERT_TRUE(route.end);
    EXPECT_EQ(route.end->path, target.string());
    EXPECT_TRUE(route.leadsTo(target.string()));
    for (const fs::path& step : {base / "a" / "L.psd", base / "a" / "b" / "up", base / "targets"})
        EXPECT_TRUE(route.passesThrough(step.string())) << step;
    EXPECT_FALSE(route.passesThrough(target.string()));
    for (size_t i = 1; i < entered.size(); ++i) {
        const auto before = entered.begin() + static_cast<std::ptrdiff_t>(i);
        EXPECT_NE(std::find(entered.begin(), before, parentPath(entered[i])), before) << entered[i];
    }
    EXPECT_EQ(trace(base / "a" / "L.psd"), route);

    for (const fs::path& unreachable :
         {base / "gone" / "d.psd", target / "x.psd", base / "loop.psd"})
        EXPECT_FALSE(trace(unreachable).end) << unreachable;
    EXPECT_EQ(trace(base / "gone" / "d.psd").steps.back(),
              (PathRoute::Step{(base / "gone").string(), std::nullopt}));
}

TEST(Bookmark, ResolvesWhileTheItemIsThereAndIsStaleOnceReplaced) {
    test::TemporaryDirectory folder;
    const fs::path document = folder / "icons.psd";
    test::writeFile(document, "v1");
    auto bookmark = createBookmarkData(document.string());
    ASSERT_TRUE(bookmark);

    auto resolved = resolveBookmarkData(*bookmark);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->path, document.string());
    EXPECT_FALSE(resolved->isStale);

    // Written in place: the same file. Replaced by a rename: another file.
    test::writeFile(document, "v2");
    EXPECT_FALSE(resolveBookmarkData(*bookmark)->isStale);
    ASSERT_TRUE(writeFileAtomically(document.string(), Data::fromString("v3")));
    resolved = resolveBookmarkData(*bookmark);
    ASSERT_TRUE(resolved);
    EXPECT_TRUE(resolved->isStale);
    EXPECT_EQ(resolved->path, document.string());

    fs::remove(document);
    auto gone = resolveBookmarkData(*bookmark);
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().code, ENOENT);

    EXPECT_FALSE(createBookmarkData((folder / "missing").string()));
    for (const char* damaged : {"", "{}", "[1]", "{\"path\":\"relative\",\"device\":1,\"inode\":2}",
                                "{\"path\":\"/\",\"device\":-1,\"inode\":2}"})
        EXPECT_EQ(resolveBookmarkData(Data::fromString(damaged)).error().code, EINVAL) << damaged;
}
