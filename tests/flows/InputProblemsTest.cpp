// Export flows whose paths yield no documents: each run says what is wrong
// with the path it was given, in the words of the command line, in the
// status line of its recents row (its tooltip too) and in a window;
// something that cannot be read ends a run of other documents too, while
// nothing at a path only ends a run that has no document at all.

#include "FlowTestSupport.h"
#include "RecordingController.h"
#include "flows/QFExportFlow.h"
#include "flows/runs/QFExportFlowError.h"
#include "support/TestSupport.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace lf;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class ConcurrentInputProblems : public ::testing::Test {
protected:
    // The error of a background run of a flow of `given`, made before
    // `change`, which must also be the one a window shows and the one the
    // status line says.
    std::optional<Error> failureOfRuns(
        const std::vector<fs::path>& given, const std::function<void()>& change = [] {}) {
        auto flow = std::make_shared<QFExportFlow>();
        flow->setInitialInput(photoshopInput(given));
        flow->setOutputDirectoryURL(out.string());
        change();
        flow->startBackgroundRunIfNeeded();
        EXPECT_TRUE(MainQueue::shared()->runUntil(
            [&] { return flow->status() == QFFlowStatusIdle; }, lf::test::kPatience));
        const std::optional<Error> failure = flow->lastRunError();
        if (!failure) return std::nullopt;
        EXPECT_EQ(flow->localizedStatusDescription(), "Failed: " + failure->localizedDescription());

        auto window = std::make_shared<RecordingController>(flow);
        window->willAppearInUI();
        window->runFlowForInitialInput();
        EXPECT_TRUE(MainQueue::shared()->runUntil([&] { return !window->errors.empty(); },
                                                  lf::test::kPatience));
        if (!window->errors.empty() && window->errors[0])
            EXPECT_EQ(window->errors[0]->localizedDescription(), failure->localizedDescription());
        else
            ADD_FAILURE() << "the window's run did not fail";
        window->willDisappearFromUI();
        return failure;
    }

    test::TemporaryDirectory folder;
    FlowTestEnvironment environment{folder.path(), {}};
    const fs::path out = folder / "out";
};

// Makes a socket file at `path`.
void makeSocket(const fs::path& path) {
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(socket);
}

}  // namespace

TEST_F(ConcurrentInputProblems, EachRunSaysWhatIsWrongWithItsDocument) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& document)> breakIt;
        std::string said;  // after "“NAME” "
        int64_t code;
    };
    const auto replaceBy = [](std::function<void(const fs::path&)> make) {
        return [make](const fs::path& document) {
            fs::remove(document);
            make(document);
        };
    };
    const Case cases[] = {
        {"a link whose target is removed",
         [](const fs::path& link) { fs::remove(link.string() + ".target"); },
         "cannot be opened: Is a link to nothing", QFExportFlowErrorMissingDocument},
        {"a link switched to nothing",
         replaceBy([](const fs::path& at) { fs::create_symlink("nowhere.psd", at); }),
         "cannot be opened: Is a link to nothing", QFExportFlowErrorMissingDocument},
        {"a loop of links", replaceBy([](const fs::path& at) { fs::create_symlink(at, at); }),
         "cannot be opened: Leads into a loop of links", QFExportFlowErrorInvalidDocument},
        {"a FIFO", replaceBy([](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }),
         "cannot be opened: Is a named pipe (FIFO), not a file or folder",
         QFExportFlowErrorInvalidDocument},
        {"a socket", replaceBy(makeSocket), "cannot be opened: Is a socket, not a file or folder",
         QFExportFlowErrorInvalidDocument},
        {"a device", replaceBy([](const fs::path& at) { fs::create_symlink("/dev/null", at); }),
         "cannot be opened: Is a character device, not a file or folder",
         QFExportFlowErrorInvalidDocument},
        {"a folder in its place", replaceBy([](const fs::path& at) { fs::create_directory(at); }),
         "holds no Photoshop documents", QFExportFlowErrorMissingDocument},
    };
    int made = 0;
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        const fs::path document = folder / fmt::format("d{}.psd", ++made);
        test::writeFile(document.string() + ".target", "a document");
        fs::create_symlink(document.string() + ".target", document);
        const auto failure = failureOfRuns({document}, [&] { each.breakIt(document); });
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->is(QFExportFlowErrorDomain, each.code)) << describe(*failure);
        EXPECT_EQ(failure->localizedDescription(),
                  fmt::format("“{}” {}", document.filename().string(), each.said));
        EXPECT_EQ(failure->stringForKey(kFilePathErrorKey), document.string());
    }
    EXPECT_FALSE(fs::exists(out));
}

// Behind a folder the application may not enter, or after its folder
// became empty, a document is named as the command line names it; so is a
// document it may not read, and a folder given that it may list but not
// enter, whose names lead nowhere.
TEST_F(ConcurrentInputProblems, AFolderItMayNotEnterOrThatBecameEmptySaysSo) {
    const fs::path locked = folder / "locked", document = locked / "x.psd",
                   documents = folder / "documents", unreadable = folder / "z.psd",
                   listedOnly = folder / "listed-only";
    fs::create_directories(locked);
    fs::create_directories(documents);
    fs::create_directories(listedOnly);
    test::writeFile(document, "a document");
    test::writeFile(documents / "y.psd", "a document");
    test::writeFile(unreadable, "a document");
    test::writeFile(listedOnly / "w.psd", "a document");
    const auto empty = failureOfRuns({documents}, [&] { fs::remove(documents / "y.psd"); });
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->localizedDescription(), "“documents” holds no Photoshop documents");

    const test::ScopedUnprivilegedUser user(folder.path());
    const std::pair<fs::path, std::function<void()>> deniedCases[] = {
        {document, [&] { fs::permissions(locked, fs::perms::none); }},
        {unreadable, [&] { fs::permissions(unreadable, fs::perms::owner_write); }},
        {listedOnly,
         [&] { fs::permissions(listedOnly, fs::perms::owner_read | fs::perms::owner_write); }},
    };
    for (const auto& [given, deny] : deniedCases) {
        const auto denied = failureOfRuns({given}, deny);
        ASSERT_TRUE(denied) << given;
        EXPECT_TRUE(denied->is(QFExportFlowErrorDomain, QFExportFlowErrorInvalidDocument));
        EXPECT_EQ(
            denied->localizedDescription(),
            fmt::format("“{}” cannot be opened: Permission denied", given.filename().string()));
    }
}

// Among other documents, one that cannot be read ends the run, as a
// damaged one does; a document that is gone leaves the others to export.
TEST_F(ConcurrentInputProblems, OnlyWhatCannotBeReadEndsARunOfOtherDocuments) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    const fs::path document = folder / "a.psd", fifo = folder / "b.psd",
                   dangling = folder / "c.psd";
    fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), document);
    test::writeFile(fifo, "a document");
    test::writeFile(dangling, "a document");
    const auto replace = [&] {
        fs::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        fs::remove(dangling);
        fs::create_symlink("nowhere.psd", dangling);
    };

    const auto failure = failureOfRuns({document, fifo, dangling}, replace);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->localizedDescription(),
              "“b.psd” cannot be opened: Is a named pipe (FIFO), not a file or folder");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(failureOfRuns({document, dangling}));
    EXPECT_TRUE(fs::is_regular_file(out / "pixel.png"));
}
