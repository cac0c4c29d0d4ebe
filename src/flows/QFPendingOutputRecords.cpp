#include "flows/QFPendingOutputRecords.h"

#include "platform/dispatch/MainQueue.h"

#include <utility>

QFPendingOutputRecords& QFPendingOutputRecords::shared() {
    static auto* const records = new QFPendingOutputRecords;
    return *records;
}

void QFPendingOutputRecords::add(std::function<void()> record) {
    {
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
        ++unfinished_;
    }
    lf::MainQueue::shared()->async([this] { noteAll(); });
}

void QFPendingOutputRecords::noteAll() {
    lf::assertMainThread("QFPendingOutputRecords::noteAll");
    for (;;) {
        std::function<void()> record;
        {
            std::lock_guard lock(mutex_);
            if (records_.empty()) return;
            record = std::move(records_.front());
            records_.pop_front();
        }
        record();
        std::lock_guard lock(mutex_);
        --unfinished_;
        noted_.notify_all();
    }
}

bool QFPendingOutputRecords::noteAllBeforeExit(std::chrono::nanoseconds patience) {
    if (lf::isMainThread()) {
        noteAll();
        return true;
    }
    std::unique_lock lock(mutex_);
    return noted_.wait_for(lock, patience, [this] { return unfinished_ == 0; });
}
