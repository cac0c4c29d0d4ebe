#pragma once
// QFPendingOutputRecords: what the flows are still to note of their writes,
// in the order the writes ended: a write's record (the date and number of
// files written, the documents the folder now holds, the recents in the
// user defaults) or its failure. Flows are main-thread objects, so a write
// that ends on another thread (a background run's) adds its record here,
// and the main queue notes it soon after.
//
// A write adds its record once its files are in and before its commit
// ends, which the end of the application waits for; the end then notes
// what is still pending before the process goes (noteAllBeforeExit), so
// that the user defaults hold the record of every write whose files are
// in, however the application ends. A write on the main thread (a
// window's Save) notes every record before its own at once, so that the
// latest write decides.
//
// A record must not commit files of its own (lf::AtomicFileSet): it may
// run within another write's commit.
//
// Threads: add from any thread; noteAll on the main thread;
// noteAllBeforeExit from any thread.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

class QFPendingOutputRecords {
public:
    // How long the end of the application, on a thread of its own, waits
    // for the main thread to note the records. Noting takes a moment; a main
    // thread that does not get to it within this is held elsewhere (by the
    // exit, in a window's Save that came to its commit too late) or hangs,
    // and must not keep a signal from ending the process.
    static constexpr std::chrono::seconds kExitPatience{2};

    // The records of the application's flows; never destroyed, as the
    // threads that end the process use it while static objects go.
    static QFPendingOutputRecords& shared();

    // Keeps `record`, to run once on the main thread after those added
    // before it, and asks the main queue to note it.
    void add(std::function<void()> record);
    // Runs every record added and not yet run, in the order added. Main
    // thread.
    void noteAll();
    // On the main thread, notes them all; on another, waits until the main
    // thread has noted those added so far, at most `patience`. Whether none
    // is left pending.
    bool noteAllBeforeExit(std::chrono::nanoseconds patience = kExitPatience);

private:
    std::mutex mutex_;
    std::condition_variable noted_;
    std::deque<std::function<void()>> records_;
    // Added and not yet done running: a record taken out to run still
    // counts until it returns, with what it wrote.
    size_t unfinished_ = 0;
};
