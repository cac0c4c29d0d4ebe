#pragma once
// TestHook: a function that tests set to make a moment happen where real
// timing gives it only now and then (a step of a write that fails, a wait
// that begins, a clock that stands still), asked by the code at that
// moment. Unset, it costs a lock and a look.
//
// Each hook is one object for the whole process, made on first use and
// never destroyed, since threads that outlive main (a commit at the exit)
// may still ask it.
//
// Threads: set and cleared at any time from any thread; the hook runs
// outside the lock, on the thread that asks, so that it may block, write
// files or set another hook.

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace lf {

template <typename Signature>
class TestHook {
public:
    using Function = std::function<Signature>;

    // Null clears it.
    void set(Function hook) {
        auto installed = hook ? std::make_shared<const Function>(std::move(hook)) : nullptr;
        std::lock_guard lock(mutex_);
        hook_ = std::move(installed);
    }

    // The hook set now, or null.
    std::shared_ptr<const Function> get() const {
        std::lock_guard lock(mutex_);
        return hook_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const Function> hook_;
};

// The process's one hook of `Signature` for the place `Tag` names.
template <typename Tag, typename Signature>
TestHook<Signature>& sharedTestHook() {
    static auto* const hook = new TestHook<Signature>;
    return *hook;
}

}  // namespace lf
