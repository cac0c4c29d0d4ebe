// Quit while the application's background run moves its outputs into a
// folder that holds another version: the application ends once they are
// all in, with a success status, and its recents hold the run's record,
// which the run hands to the main thread only once its files are in, after
// the event loop has ended. The test copy of the executable
// (layerflow_held_commit) holds the commit after its first file, asks the
// application to quit as its Quit item does, and lets the commit go on
// once the exit waits for it. An editor saving the settings file at that
// moment holds up the record's write until the end, which makes it.

#include "EndDuringACommit.h"

#include <gtest/gtest.h>

#include <sys/types.h>
#include <sys/wait.h>

namespace {

using ApplicationQuit = EndDuringACommit;

}  // namespace

TEST_F(ApplicationQuit, EndsOnceItsBackgroundRunsOutputsAreInAndKeepsTheirRecord) {
    storeARepeatingFlow();
    runs.quitOnceHeld();
    const pid_t pid = runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH, {});
    int status = 0;
    ASSERT_TRUE(runs.waitUntilHeld(pid, status)) << describe(status);
    ASSERT_TRUE(runs.waitUntilEnded(pid, status)) << "the quit did not end it";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describe(status);
    EXPECT_EQ(filesWithBytesBelow(out), exported) << "mixed versions or temporary files";
    expectTheRunRecorded();
}

TEST_F(ApplicationQuit, WritesTheRecordAtTheEndThoughAnEditorSavesTheSettings) {
    storeARepeatingFlow();
    runs.quitOnceHeld();
    runs.saveTheSettingsOnceHeld();
    const pid_t pid = runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH, {});
    int status = 0;
    ASSERT_TRUE(runs.waitUntilHeld(pid, status)) << describe(status);
    ASSERT_TRUE(runs.waitUntilEnded(pid, status)) << "the quit did not end it";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describe(status);
    expectTheRunRecordedBesideTheEditorsSave();
}
