#pragma once
// The work of the updater's own threads that quitting must not cut off
// half done: unpackings (each kills its tool and removes what it unpacked
// as it stops) and the launch sweep (which stops where it is). Each piece
// is registered while it runs, with the means to stop it; quitting stops
// them all and waits until each has ended (OMAUEndUnpackings).
//
// Any thread.

#include <cstdint>
#include <stop_token>

class OMAUWorkUnderWay {
public:
    // Registers work that `stop` stops, until this goes: the work then
    // touches nothing of the updater's any more. The first registration
    // has quitting end all work under way.
    explicit OMAUWorkUnderWay(std::stop_source stop);
    OMAUWorkUnderWay(OMAUWorkUnderWay&& other) noexcept;
    OMAUWorkUnderWay(const OMAUWorkUnderWay&) = delete;
    OMAUWorkUnderWay& operator=(const OMAUWorkUnderWay&) = delete;
    OMAUWorkUnderWay& operator=(OMAUWorkUnderWay&&) = delete;
    ~OMAUWorkUnderWay();

private:
    // 0 once moved from.
    uint64_t work_;
};

// Stops all work under way and waits until each piece has ended: every
// unpacking's tool killed and private folder removed, the launch sweep
// stopped. Registered with atexit as the first piece starts, so that
// quitting (a return from main, exit) runs it.
void OMAUEndUnpackings();
