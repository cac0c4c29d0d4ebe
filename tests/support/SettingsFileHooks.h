#pragma once
// For tests of the settings file: its text, an editor's save in place, and
// the moments that real clocks give only now and then, held by hooks.

#include "platform/files/FileDescriptor.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/UserDefaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace lf::test {

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// While it lives, the file system's clock stands still for the stamps of
// settings files, and every look at one falls within a step of that clock:
// two writes of one size in a row leave the same stamp.
class StillFileClock {
public:
    StillFileClock() {
        setSettingsFileStampHookForTesting([](SettingsFileStamp& stamp) {
            stamp.modified = stamp.changed = {1'000'000'000, 0};
            stamp.settled = false;
        });
    }
    ~StillFileClock() { setSettingsFileStampHookForTesting(nullptr); }
    StillFileClock(const StillFileClock&) = delete;
    StillFileClock& operator=(const StillFileClock&) = delete;
};

// While it lives, a write that waits for the settings file to settle waits
// until the test makes it.
class HeldSettleWaits {
public:
    HeldSettleWaits() {
        UserDefaults::setSettleWaitHookForTesting([this](std::function<void()> write) {
            std::lock_guard lock(mutex_);
            writes_.push_back(std::move(write));
        });
    }
    ~HeldSettleWaits() { UserDefaults::setSettleWaitHookForTesting(nullptr); }
    HeldSettleWaits(const HeldSettleWaits&) = delete;
    HeldSettleWaits& operator=(const HeldSettleWaits&) = delete;

    // Makes the writes that wait now: how many there were.
    size_t makeWaitingWrites() {
        std::vector<std::function<void()>> writes;
        {
            std::lock_guard lock(mutex_);
            writes.swap(writes_);
        }
        for (const auto& write : writes)
            write();
        return writes.size();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> writes_;
};

// The file system's clock as the test moves it: a stamp of the settings
// file is settled once kSettingsFileSettlesWithin has passed since the file
// last changed, which the test tells when it writes the file itself.
class TestFileClock {
public:
    TestFileClock() {
        setSettingsFileStampHookForTesting([this](SettingsFileStamp& stamp) {
            std::lock_guard lock(mutex_);
            stamp.modified = stamp.changed = {1'000'000'000 + changedAt_.count(), 0};
            stamp.settled = now_ - changedAt_ >= kSettingsFileSettlesWithin;
        });
    }
    ~TestFileClock() { setSettingsFileStampHookForTesting(nullptr); }
    TestFileClock(const TestFileClock&) = delete;
    TestFileClock& operator=(const TestFileClock&) = delete;

    std::chrono::seconds now() const {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void advance(std::chrono::seconds by) {
        std::lock_guard lock(mutex_);
        now_ += by;
    }
    // The file was written now.
    void fileChanged() {
        std::lock_guard lock(mutex_);
        changedAt_ = now_;
    }

private:
    mutable std::mutex mutex_;
    std::chrono::seconds now_{0};
    std::chrono::seconds changedAt_{0};
};

// An editor's save in place: the file truncated now, written whole later
// through the same descriptor, as an editor writes, whatever has become of
// the file's name meanwhile.
class SaveInPlace {
public:
    SaveInPlace(const std::filesystem::path& path, TestFileClock& clock)
        : clock_(clock), file_(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)) {
        EXPECT_TRUE(file_.isOpen()) << path;
        clock_.fileChanged();
    }
    void finish(const std::string& text) {
        EXPECT_EQ(::write(file_.get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
        clock_.fileChanged();
    }

private:
    TestFileClock& clock_;
    FileDescriptor file_;
};

}  // namespace lf::test
