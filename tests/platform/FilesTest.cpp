// Files on disk: opening for reading, atomic writes, type identifiers, the
// routes paths take and bookmarks.
#include "platform/files/Bookmark.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/FolderWalk.h"
#include "platform/files/PathRefusal.h"
#include "platform/files/PathRoute.h"
#include "platform/files/TypeIdentifier.h"
#include "platform/writing/AtomicFile.h"
#include "platform/writing/AtomicFileSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>

using namespace lf;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

// Only files and folders open for reading: a FIFO, a socket and a device
// are refused, naming the path and what it is, and so are documents read
// through them. The test holds the FIFO open for writing, so that an open
// that waited for a writer would not wait here. A file opens for reads
// that wait for their bytes as usual.
TEST(FileDescriptor, OnlyFilesAndFoldersOpenForReading) {
    test::TemporaryDirectory folder;
    const fs::path file = folder / "a.psd", fifo = folder / "pipe.psd",
                   socket = folder / "socket.psd", linked = folder / "linked.psd";
    test::writeFile(file, "bytes");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const FileDescriptor writer(::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(writer.isOpen());
    fs::create_symlink(fifo, linked);
    const FileDescriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket.string().size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, socket.c_str());
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)),
              0);

    auto opened = FileDescriptor::openForReading(file);
    ASSERT_TRUE(opened);
    EXPECT_EQ(::fcntl(opened->get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_TRUE(FileDescriptor::openForReading(folder.path()));

    const std::vector<std::pair<fs::path, std::string>> refused = {
        {fifo, "a named pipe (FIFO)"},
        {linked, "a named pipe (FIFO)"},
        {socket, "a socket"},
        {"/dev/null", "a character device"}};
    for (const auto& [path, kind] : refused) {
        const std::string expected = "NSPOSIXErrorDomain 22: open " + path.string() + ": Is " +
                                     kind + ", not a file or folder";
        auto opening = FileDescriptor::openForReading(path);
        ASSERT_FALSE(opening) << path;
        EXPECT_EQ(describe(opening.error()), expected);
        auto reading = Data::readFile(path);
        ASSERT_FALSE(reading) << path;
        EXPECT_EQ(describe(reading.error()), expected);
    }
}

TEST(AtomicFile, ReplacesContentsKeepsPermissionsAndLeavesNoTemporaryFile) {
    test::TemporaryDirectory folder;
    const fs::path target = folder / "out.png";
    ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("first")));
    EXPECT_EQ(lf::test::readFile(target), "first");
    const mode_t umask = ::umask(0);
    ::umask(umask);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0666 & ~umask));

    fs::permissions(target, static_cast<fs::perms>(0640));
    ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("second, longer")));
    EXPECT_EQ(lf::test::readFile(target), "second, longer");
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
    ASSERT_TRUE(writeFileAtomically(target.string(), Data()));
    EXPECT_EQ(lf::test::readFile(target), "");
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
        const std::string left = lf::test::readFile(target);
        EXPECT_TRUE(left == old) << left.size() << " bytes, not the old contents";
        if (how == Interruption::Killed) {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
            EXPECT_EQ(names(folder.path()).size(), 2u) << "the dead writer's temporary file";
        } else {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
            EXPECT_EQ(names(folder.path()), std::vector<std::string>{"data.bin"});
        }

        ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("newer")));
        EXPECT_EQ(lf::test::readFile(target), "newer");
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
    EXPECT_NE(std::find(texts.begin(), texts.end(), lf::test::readFile(target)), texts.end());
    EXPECT_EQ(names(folder.path()), std::vector<std::string>{"defaults.json"});
}

namespace {

// Where a writer stopped half way tells that it got there.
int halfWaySignal = -1;

// Starts a process that writes `target` atomically and stops half way
// through (its file size limit lies there), holding its temporary file,
// until it is killed; returns once it is there.
pid_t startWriterStoppedHalfWay(const fs::path& target) {
    int ends[2];
    if (::pipe(ends) != 0) return -1;
    const std::vector<uint8_t> bytes(1 << 20, 'N');
    const pid_t child = fork();
    if (child == 0) {
        ::close(ends[0]);
        halfWaySignal = ends[1];
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes.size() / 4;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, [](int) {
            (void)!::write(halfWaySignal, "!", 1);
            for (;;)
                ::pause();
        });
        (void)writeFileAtomically(target.string(), bytes);
        _exit(1);
    }
    ::close(ends[1]);
    char got = 0;
    const bool halfWay = child > 0 && ::read(ends[0], &got, 1) == 1;
    ::close(ends[0]);
    return halfWay ? child : -1;
}

void killAndReap(pid_t writer) {
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
}

// A writer stopped half way, killed at the end of the test however it ends.
struct StoppedWriter {
    pid_t pid;
    ~StoppedWriter() {
        if (pid > 0) killAndReap(pid);
    }
};

}  // namespace

// The temporary files that writers killed half way left of a target go
// at its next write, and only those: the abandoned temporary file of
// another target stays, as does another program's file named like one. A
// writer still at work keeps its own, whether it is another process
// stopped half way through its write or this one holding its file's lock;
// and what only looks like a temporary file of the target stays.
TEST(AtomicFile, AWriteRemovesOnlyTheAbandonedTemporaryFilesOfItsTarget) {
    test::TemporaryDirectory folder;
    const fs::path target = folder / "out.png";
    // Started first: the writes that follow leave its locked file alone.
    StoppedWriter stopped{startWriterStoppedHalfWay(target)};
    ASSERT_GT(stopped.pid, 0);
    const std::vector<std::string> live = names(folder.path());
    for (const fs::path& written : {target, folder / "other.png"}) {
        const pid_t killed = startWriterStoppedHalfWay(written);
        ASSERT_GT(killed, 0);
        killAndReap(killed);
    }
    std::vector<std::string> abandoned;
    for (const std::string& name : names(folder.path()))
        if (name != live.at(0) && name.starts_with(".out.png.tmp-")) abandoned.push_back(name);
    ASSERT_EQ(abandoned.size(), 1u);
    const std::vector<std::string> others = {
        ".out.png.tmp-00000000deadbeef",  // held below, as a writer holds it
        ".out.png.tmp-0123",
        ".out.png.tmp-0123456789ABCDEF",
        "out.png.tmp-0123456789abcdef",
        ".notes.txt.tmp-0123456789abcdef",
        "user.png"};
    for (const std::string& name : others)
        test::writeFile(folder / name, "x");
    const FileDescriptor held(::open((folder / others[0]).c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::mkfifo((folder / ".out.png.tmp-0123456789abcdef").c_str(), 0600), 0);
    std::vector<std::string> expected = names(folder.path());
    ASSERT_EQ(expected.size(), others.size() + 4)
        << "the FIFO, the stopped writer's and the two killed writers'";
    std::erase(expected, abandoned[0]);
    expected.push_back("out.png");
    std::sort(expected.begin(), expected.end());

    ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("new")));
    EXPECT_EQ(names(folder.path()), expected);

    killAndReap(std::exchange(stopped.pid, -1));
    ASSERT_TRUE(writeFileAtomically(target.string(), Data::fromString("newer")));
    EXPECT_EQ(names(folder.path()).size(), expected.size() - 1) << "the stopped writer's went";
}

// A set whose commit fails half way moves the files it moved in back out:
// the replaced ones get their old contents back, a new one goes, and no
// temporary file is left. Here a folder comes to the last target while
// the others are moved in.
TEST(AtomicFileSet, ACommitThatFailsHalfWayMovesTheFilesBackOut) {
    test::TemporaryDirectory folder;
    test::writeFile(folder / "a.png", "old a");
    test::writeFile(folder / "b.png", "old b");
    AtomicFileSet::setMoveInHookForTesting([&](size_t movedIn) {
        if (movedIn == 3) fs::create_directory(folder / "c.png");
    });
    {
        AtomicFileSet set;
        for (const char* name : {"new.png", "a.png", "b.png", "c.png"})
            ASSERT_TRUE(set.stage(folder / name, Data::fromString(name).span()));
        auto committed = set.commit();
        ASSERT_FALSE(committed);
        EXPECT_EQ(committed.error().code, EISDIR);
        EXPECT_EQ(committed.error().stringForKey(kFilePathErrorKey), folder / "c.png");
    }
    AtomicFileSet::setMoveInHookForTesting(nullptr);
    EXPECT_EQ(names(folder.path()), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(lf::test::readFile(folder / "a.png"), "old a");
    EXPECT_EQ(lf::test::readFile(folder / "b.png"), "old b");
    EXPECT_TRUE(fs::is_empty(folder / "c.png"));
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

// Every item below the folder, hidden ones too, links not followed; folders
// that go while the walk is under way (all of them, at the first visit)
// hide none of the files beside them, whatever the order of the listing.
TEST(FolderWalk, FoldersThatGoDuringTheWalkHideNothingElse) {
    test::TemporaryDirectory scratch;
    const fs::path root = scratch / "root";
    std::set<std::string> files;
    for (int i = 0; i < 20; ++i) {
        fs::create_directories(root / ("folder" + std::to_string(i)) / "inner");
        files.insert((root / ("file" + std::to_string(i))).string());
    }
    files.insert((root / ".hidden").string());
    for (const auto& file : files)
        test::writeFile(file, "x");
    fs::create_directories(scratch / "elsewhere");
    test::writeFile(scratch / "elsewhere" / "beyond.psd", "x");
    fs::create_symlink(scratch / "elsewhere", root / "link");

    std::set<std::string> visited;
    bool removed = false;
    walkFolderTree(root.string(), [&](const std::string& path, const struct stat& info) {
        visited.insert(path);
        if (!S_ISDIR(info.st_mode) || removed) return;
        removed = true;
        for (int i = 0; i < 20; ++i)
            if (root / ("folder" + std::to_string(i)) != path)
                fs::remove_all(root / ("folder" + std::to_string(i)));
    });
    for (const auto& file : files)
        EXPECT_TRUE(visited.count(file)) << file;
    EXPECT_TRUE(visited.count((root / "link").string()));
    EXPECT_FALSE(visited.count((root / "link" / "beyond.psd").string()));

    // Untouched, everything is visited, each folder before what it holds.
    std::vector<std::string> order;
    walkFolderTree(scratch.path().string(),
                   [&](const std::string& path, const struct stat&) { order.push_back(path); });
    const auto at = [&](const fs::path& path) {
        return std::find(order.begin(), order.end(), path.string()) - order.begin();
    };
    EXPECT_LT(at(scratch / "elsewhere"), at(scratch / "elsewhere" / "beyond.psd"));
    EXPECT_LT(at(scratch / "elsewhere" / "beyond.psd"), std::ssize(order));
    EXPECT_LT(at(root / "file7"), std::ssize(order));
}

// What the process may not read is refused by the item's own mode, not
// only by a folder on the way: a file it may not read, and a folder it may
// not list or may not enter (a folder that may be listed but not entered
// shows names, and nothing they name).
TEST(PathRefusal, AnItemsOwnModeRefusesWhatMayNotBeRead) {
    test::TemporaryDirectory scratch;
    const fs::path file = scratch / "d.psd", readable = scratch / "readable.psd";
    test::writeFile(file, "x");
    test::writeFile(readable, "x");
    for (const char* folder : {"listed-only", "entered-only", "open"})
        fs::create_directory(scratch / folder);
    const test::ScopedUnprivilegedUser user(scratch.path());
    const std::pair<fs::path, fs::perms> refused[] = {
        {file, fs::perms::none},
        {scratch / "listed-only", fs::perms::owner_read | fs::perms::owner_write},
        {scratch / "entered-only", fs::perms::owner_write | fs::perms::owner_exec},
    };
    for (const auto& [path, mode] : refused) {
        fs::permissions(path, mode);
        const auto refusal = PathRefusal::of(path.string());
        ASSERT_TRUE(refusal) << path;
        EXPECT_EQ(refusal->kind, PathRefusal::Kind::unreadable) << path;
        EXPECT_EQ(refusal->code, EACCES) << path;
        EXPECT_EQ(refusal->error(path.string()).localizedDescription(),
                  "open " + path.string() + ": Permission denied");
    }
    fs::permissions(readable, fs::perms::owner_read);
    fs::permissions(scratch / "open", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(PathRefusal::of(readable.string()));
    EXPECT_FALSE(PathRefusal::of((scratch / "open").string()));
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
