#pragma once
// A group of work items whose completion can be waited for or followed by
// other work. Copies share one group.

#include "platform/dispatch/DispatchQueue.h"

#include <chrono>
#include <memory>

namespace lf {

class DispatchGroup {
public:
    DispatchGroup();

    void enter();
    // Each leave matches one enter; leaving more often is a programming error.
    void leave();

    // Submits `work` to `queue` as a member of the group.
    void async(const std::shared_ptr<DispatchQueue>& queue, DispatchWork work);

    // Waits until every member has left.
    void wait();
    // False when `timeout` passed first.
    bool waitFor(std::chrono::nanoseconds timeout);

    // Submits `work` to `queue` once every member has left (at once when the
    // group is empty now).
    void notify(const std::shared_ptr<DispatchQueue>& queue, DispatchWork work);

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace lf
