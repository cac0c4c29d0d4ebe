#pragma once
// The launch sweep: what applications ended mid-way left in the temporary
// folder, cleared away as the next one launches. A download folder (named
// as the engine names them: its prefix and a random ending of six letters
// and digits) that no process holds (OMAUHeldFolder.h: no unpacking under
// way, no update waiting to be installed, no installer at work) goes
// whole, with the archive and whatever was unpacked beside it; in one
// still held, the unpacking folders that no unpacking holds go.
// Only this user's own folders are touched, never through a link nor on
// another file system mounted among them (OMAURemoveQuietly); what fails
// is passed over, left to the next launch.
//
// A folder may hold a hundred thousand entries, so the sweep runs on a
// thread of its own; quitting stops it where it is (OMAUEndUnpackings),
// and the next launch goes on from there.

#include <filesystem>
#include <future>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

class OMAULaunchSweep {
public:
    // Starts sweeping the download folders named `prefix`... in
    // `temporaryFolder`, on a thread of its own.
    static std::shared_ptr<OMAULaunchSweep> start(std::filesystem::path temporaryFolder,
                                                  std::string prefix);

    // Waits until the sweep has ended, done or stopped; any thread.
    void waitUntilEnded() const { ended_.wait(); }

private:
    explicit OMAULaunchSweep(std::shared_future<void> ended) : ended_(std::move(ended)) {}

    std::shared_future<void> ended_;
};

// The sweep itself, on the calling thread; it ends where it is once `stop`
// is asked for.
void OMAUSweepAbandonedFolders(const std::filesystem::path& temporaryFolder,
                               std::string_view prefix, std::stop_token stop = {});
