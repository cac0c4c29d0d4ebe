// An unchanged document exports the same bytes whenever it is exported: in
// particular its icons, which embed the colour profile that the export
// builds itself (a document without a profile of its own stores its icons
// in Generic RGB), and whose bytes must not carry the moment it was built.
//
// The profile is built once per process, so each export runs in a process
// of its own, as two launches of the application do. The clock is moved
// through the C library's time(), which this program replaces, rather
// than waited for.

#include "FlowsTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// How far this process's clock is moved ahead, in seconds.
std::atomic<time_t> clockAhead{0};

}  // namespace

// The clock that Little CMS stamps into the profiles it builds, moved ahead
// by `clockAhead`. The coarse real-time clock is the one the C library's
// own time() reads.
extern "C" time_t time(time_t* out) noexcept {
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    const time_t moved = now.tv_sec + clockAhead.load();
    if (out) *out = moved;
    return moved;
}

namespace {

using namespace flows_test;

// Exports `document` into `folder` from a new process whose clock is
// `ahead` seconds ahead; whether every file was written.
bool exportInNewProcess(const lf::Data& document, const std::filesystem::path& folder,
                        time_t ahead) {
    const pid_t child = fork();
    if (child == 0) {
        clockAhead = ahead;
        bool written = false;
        {
            ScopedUserDefaults defaults;
            QFFlowOutput output;
            written = QFExportRunBody({inputOf("icons.psd", document)}, output) &&
                      output.writeOutputToDirectoryAtURL(folder.string());
        }
        _exit(written ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST(ExportClock, AnUnchangedDocumentExportsTheSameBytesAtAnotherTime) {
    // Icons of every kind of payload (planes at 32, PNG at 256) and the
    // image formats, from a document without a profile; exported now, and
    // a day and a second later, which changes the day and the second a
    // profile built then would say it was built.
    const lf::Data document =
        documentData(300, 300,
                     {layer("small.icns", 0, 0, 32, 32), layer("large.icns", 0, 0, 256, 256),
                      layer("art.png, art.jpg, art.tif", 10, 10, 60, 40, {20, 140, 220, 200})});
    lf::test::TemporaryDirectory now, later;
    ASSERT_TRUE(exportInNewProcess(document, now.path(), 0));
    ASSERT_TRUE(exportInNewProcess(document, later.path(), 86400 + 1));
    const std::vector<std::string> files = filesBelow(now.path());
    EXPECT_EQ(files, (std::vector<std::string>{"art.jpg", "art.png", "art.tif", "large.icns",
                                               "small.icns"}));
    EXPECT_EQ(filesBelow(later.path()), files);
    for (const std::string& file : files)
        EXPECT_TRUE(lf::test::readFile(now / file) == lf::test::readFile(later / file))
            << file << " differs";
}

}  // namespace
