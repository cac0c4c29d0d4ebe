#pragma once
// QFFlowRun: one run of a flow. Its start block does the work on the
// thread that starts it and ends the run with didFinish or
// didFailWithError, which call the completion handler, when there is one,
// on that same thread.
//
// A run starts at most once: starting it again stops the program. A run
// started with a completion handler keeps itself alive until its block has
// returned, and is under way until then; its block and handler, with all
// they hold, are let go as soon as they are done. When the last run under
// way (of any flow, in a window or not) ends, the memory the runs freed is
// given back to the system, so an idle application comes back close to its
// idle size however many runs it made.
//
// A run that found one of its documents changed after reading it would
// give outputs that mix two versions of it: it writes nothing and fails
// with the input-changed error below, which is no failure of the flow:
// whoever started the run starts it again on a fresh snapshot.

#include "platform/core/Error.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

inline constexpr const char* QFFlowRunErrorDomain = "QFFlowRunErrorDomain";
enum QFFlowRunErrorCode : int64_t {
    QFFlowRunErrorInputChanged = 1,
};

// The input-changed error for the document at `path`, which it names.
lf::Error QFFlowRunInputChangedError(const std::string& path);
bool QFFlowRunErrorIsInputChanged(const std::optional<lf::Error>& error);

class QFFlowRun : public std::enable_shared_from_this<QFFlowRun> {
public:
    using StartBlock = std::function<void(QFFlowRun& run)>;
    // (true, none) for success, (false, the error) for failure.
    using CompletionHandler = std::function<void(bool success, std::optional<lf::Error> error)>;

    static std::shared_ptr<QFFlowRun> create(StartBlock startBlock);

    // Runs the start block now, on the calling thread.
    void start();
    // Stores the handler and starts the run on the default-priority global
    // concurrent queue.
    void startWithCompletionHandler(CompletionHandler completionHandler);
    bool didStart() const { return didStart_; }
    // Runs started with a completion handler whose block has not yet
    // returned.
    static int runsUnderWay() { return runsUnderWay_; }

    // The start block's two ways to end the run. Only the first end counts;
    // a later one is logged and ignored.
    void didFinish() { finish(true, std::nullopt); }
    void didFailWithError(lf::Error error) { finish(false, std::move(error)); }

private:
    explicit QFFlowRun(StartBlock startBlock) : startBlock_(std::move(startBlock)) {}
    void markStarted();
    void finish(bool success, std::optional<lf::Error> error);

    StartBlock startBlock_;
    CompletionHandler completionHandler_;
    std::atomic<bool> didStart_{false};
    std::atomic<bool> didEnd_{false};
    static inline std::atomic<int> runsUnderWay_{0};
};
