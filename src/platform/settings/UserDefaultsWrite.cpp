#include "platform/core/Log.h"
#include "platform/core/TestHook.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/settings/DamagedCopies.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/UserDefaultsState.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lf {

namespace {

// How many times a write gives a file that is being written the time to
// settle before it takes it for damaged: an editor saves in far less.
constexpr int kSettleWaits = 3;
// How many times in a row a write reads and merges again a file that
// changed just before its new contents moved in, before it takes the file
// for being written.
constexpr int kMergesPerWrite = 4;

struct SettleWaitPlace;
TestHook<void(std::function<void()>)>& settleWaitHook() {
    return sharedTestHook<SettleWaitPlace, void(std::function<void()>)>();
}

}  // namespace

void UserDefaults::setSettleWaitHookForTesting(std::function<void(std::function<void()>)> hook) {
    settleWaitHook().set(std::move(hook));
}

// A file being written (an editor's save in place, truncated and not yet
// written again) is not written over: the editor would go on writing into
// the file replaced, and what it saves would be lost, with every edit made
// since this store last read the file. The changes wait for it in memory,
// where reads find them, and are written once it is whole; a file still
// not whole after kSettleWaits such waits, settled or not, is kept aside,
// as a second name of the file itself so that the editor's late write
// lands there, and written over. Just before the new contents move in, a
// file that changed since it was read is read and merged again (an edit
// saved by rename in the meantime); one that changes every time,
// kMergesPerWrite times in a row, is being written too, and waited for in
// the same way. Past the waits, or with Wait::Never, a last merge moves in
// whatever comes.
std::vector<std::string> UserDefaults::save(Wait wait) {
    std::lock_guard writing(state_->fileMutex);
    std::vector<std::string> changed;
    const bool mayWait = wait == Wait::ForAFileBeingWritten;
    bool lastMerge = false;
    for (int merge = 1;; ++merge) {
        const SettingsFileReading reading = readSettingsFile(path_);
        for (const std::string& key : takeIn(reading))
            if (std::find(changed.begin(), changed.end(), key) == changed.end())
                changed.push_back(key);
        const bool beingWritten = isBeingWritten(reading);
        if (mayWait && beingWritten && waitForFileToSettle()) return changed;
        const std::optional<Write> write = nextWrite();
        // None when another thread's write took these changes in already.
        if (!write || !keepFileAside(beingWritten)) return changed;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
        const Result<bool> replaced = replaceSettingsFileIf(
            path_, write->text, [&] { return lastMerge || settingsFileIsAsRead(path_, reading); });
        if (replaced && !*replaced) {
            if (merge < kMergesPerWrite) continue;
            if (mayWait && waitForFileToSettle()) return changed;
            lastMerge = true;
            continue;
        }
        noteWrite(replaced, *write);
        return changed;
    }
}

bool UserDefaults::isBeingWritten(const SettingsFileReading& reading) const {
    if (!reading.contents || settingsFileObject(*reading.contents)) return false;
    if (!reading.stamp.settled) return true;
    // Still not whole, however long it has rested, while the waits that
    // began when it was found so last.
    std::lock_guard lock(state_->mutex);
    return state_->settleWaits > 0;
}

std::optional<UserDefaults::Write> UserDefaults::nextWrite() const {
    std::lock_guard lock(state_->mutex);
    if (state_->unwritten.empty()) return std::nullopt;
    return Write{state_->stored.dump(2), state_->stored, state_->unwritten};
}

bool UserDefaults::keepFileAside(bool beingWritten) {
    std::optional<State::KeptFile> file;
    {
        std::lock_guard lock(state_->mutex);
        if (beingWritten || state_->fileIsDamaged) file = state_->fileReadLocked();
        if (!file || file == state_->keptAside) return true;
    }
    const auto kept = linkToDamagedCopy(damagedFilePath(), path_, file->bytes);
    if (!kept) {
        // Written over, the file's contents would be lost: the values stay
        // in memory until they can be kept.
        log("Couldn't write the user defaults to {}: it is {}, and couldn't be kept: {}", path_,
            beingWritten ? "still being written" : "damaged", describe(kept.error()));
        return false;
    }
    if (beingWritten)
        log("The user defaults at {} are still being written ({} bytes); kept as {}, with what "
            "is written into them later, before writing them",
            path_, file->bytes.size(), *kept);
    else
        log("The user defaults at {} are damaged; kept as {} before writing them", path_, *kept);
    std::lock_guard lock(state_->mutex);
    state_->keptAside = std::move(file);
    return true;
}

void UserDefaults::noteWrite(const Result<bool>& replaced, const Write& write) {
    if (!replaced) {
        log("Couldn't write the user defaults to {}: {}", path_, describe(replaced.error()));
    } else {
        std::lock_guard lock(state_->mutex);
        // A change made during the write waits for the next one.
        for (const auto& [key, value] : write.changes)
            if (auto it = state_->unwritten.find(key);
                it != state_->unwritten.end() && it->second == value) {
                state_->unwritten.erase(it);
                state_->unwrittenBases.erase(key);
            }
        // What the file holds now is what those changes are made over.
        for (auto& [key, base] : state_->unwrittenBases)
            base = write.values.value(key, nlohmann::json());
        state_->fileBytes = Data::fromString(write.text);
        state_->fileIsDamaged = false;
        state_->fileStamp.reset();
        state_->settleWaits = 0;
    }
    // Written the same way, so that whatever becomes of the file, the copy
    // holds the last settings written whole.
    if (Status status = writeSettingsFileWhole(lastGoodCopyPath(), write.text); !status)
        log("Couldn't write the user defaults to {}: {}", lastGoodCopyPath(),
            describe(status.error()));
}

bool UserDefaults::waitForFileToSettle() {
    {
        std::lock_guard lock(state_->mutex);
        // The write that waits already takes this change with it.
        if (state_->writeWaits) return true;
        if (state_->settleWaits == kSettleWaits) return false;
        ++state_->settleWaits;
        state_->writeWaits = true;
    }
    log("The user defaults at {} are being written; writing them once they settle", path_);
    std::function<void()> again = [weak = std::weak_ptr<State>(state_)] {
        const auto state = weak.lock();
        if (!state) return;
        std::lock_guard owning(state->ownerMutex);
        if (state->owner) state->owner->writeOnceSettled();
    };
    if (auto hook = settleWaitHook().get())
        (*hook)(std::move(again));
    else
        DispatchQueue::global(QueuePriority::Low)
            ->asyncAfter(kSettingsFileSettlesWithin, std::move(again));
    return true;
}

void UserDefaults::writeOnceSettled() {
    {
        std::lock_guard lock(state_->mutex);
        state_->writeWaits = false;
    }
    notify(save(Wait::ForAFileBeingWritten));
}

void UserDefaults::writeWaitingChanges() {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->writeWaits) return;
        state_->writeWaits = false;
    }
    notify(save(Wait::Never));
}

}  // namespace lf
