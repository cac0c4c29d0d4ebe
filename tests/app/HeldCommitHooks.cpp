// Built into the test copy of layerflow (layerflow_held_commit) alone.
// With LF_HELD_COMMIT_MARK naming a file, the first commit of outputs stops
// once its first file is moved in, creates that file, and goes on only when
// the process's exit waits for it: a test sends its signal in between. With
// LF_HELD_COMMIT_QUIT set as well, the held commit asks the application to
// quit, as its Quit item does, so that the quit is what waits for it. With
// LF_HELD_COMMIT_SETTINGS_SAVE set, an editor begins a save in place of
// the settings file as the commit holds, and never ends it: the file is
// emptied, and its stamps stay as recent as an editor's write, so that the
// end's write of the run's record finds it being written.

#include "platform/dispatch/MainQueue.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/UserDefaults.h"
#include "platform/writing/AtomicFileSet.h"
#include "ui/shell/QFApplication.h"

#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

namespace {

struct Hold {
    std::mutex mutex;
    std::condition_variable exitWaits;
    bool held = false;
    bool released = false;
};

void beginASaveOfTheSettings() {
    lf::setSettingsFileStampHookForTesting(
        [](lf::SettingsFileStamp& stamp) { stamp.settled = false; });
    std::ofstream(lf::UserDefaults::standardPath(), std::ios::trunc);
}

void holdTheFirstCommit(const std::string& mark, bool quits, bool savesSettings) {
    auto hold = std::make_shared<Hold>();
    lf::AtomicFileSet::setMoveInHookForTesting([hold, mark, quits, savesSettings](size_t movedIn) {
        std::unique_lock lock(hold->mutex);
        if (movedIn != 1 || hold->held) return;
        hold->held = true;
        if (savesSettings) beginASaveOfTheSettings();
        std::ofstream(mark) << "held\n";
        // The commit of a background run holds a thread of its own, so the
        // main thread takes the quit while it waits.
        if (quits)
            lf::MainQueue::shared()->async(
                [] { QFApplication::shared().performAction(QFAction::Terminate); });
        hold->exitWaits.wait(lock, [&] { return hold->released; });
    });
    lf::AtomicFileSet::setExitHookForTesting([hold] {
        std::lock_guard lock(hold->mutex);
        hold->released = true;
        hold->exitWaits.notify_all();
    });
}

// Before main runs, as the executable's own code would not know of it.
[[maybe_unused]] const bool installed = [] {
    const char* mark = std::getenv("LF_HELD_COMMIT_MARK");
    if (mark)
        holdTheFirstCommit(mark, std::getenv("LF_HELD_COMMIT_QUIT") != nullptr,
                           std::getenv("LF_HELD_COMMIT_SETTINGS_SAVE") != nullptr);
    return mark != nullptr;
}();

}  // namespace
