#include "compositing/tiling/QFTileDispatcher.h"

#include "platform/core/SystemInfo.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

struct Dispatcher {
    std::mutex mutex;  // guards pending
    std::vector<lf::DispatchWork> pending;
    std::atomic<int32_t> inFlight{0};
};

Dispatcher& dispatcher() {
    static auto* shared = new Dispatcher;  // lives as long as the tile workers
    return *shared;
}

void addBlocksToQueue() {
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    int64_t room = int64_t{lf::activeProcessorCount()} - d.inFlight.load();
    int64_t count = std::min<int64_t>(room, static_cast<int64_t>(d.pending.size()));
    for (int64_t i = 0; i < count; ++i) {
        lf::DispatchQueue::tileWorkers()->async(std::move(d.pending.back()));
        d.pending.pop_back();
    }
    if (count > 0) d.inFlight += static_cast<int32_t>(count);
}

}  // namespace

void QFAddTilingBlock(lf::DispatchWork block) {
    Dispatcher& d = dispatcher();
    {
        std::lock_guard lock(d.mutex);
        d.pending.push_back([block = std::move(block)] {
            block();
            dispatcher().inFlight -= 1;
            addBlocksToQueue();
        });
    }
    addBlocksToQueue();
}
