#include "flows/QFFlowRun.h"

#include "platform/Assert.h"
#include "platform/DispatchQueue.h"
#include "platform/Log.h"

std::shared_ptr<QFFlowRun> QFFlowRun::create(StartBlock startBlock) {
    return std::shared_ptr<QFFlowRun>(new QFFlowRun(std::move(startBlock)));
}

void QFFlowRun::markStarted() {
    if (didStart_.exchange(true))
        lf::preconditionFailure("_didStart == NO", "a flow run starts at most once",
                                "Flows/QFFlowRun", __LINE__);
}

void QFFlowRun::start() {
    markStarted();
    startBlock_(*this);
}

void QFFlowRun::startWithCompletionHandler(CompletionHandler completionHandler) {
    markStarted();
    completionHandler_ = std::move(completionHandler);
    lf::DispatchQueue::global(lf::QueuePriority::Default)->async([self = shared_from_this()] {
        self->startBlock_(*self);
    });
}

void QFFlowRun::finish(bool success, std::optional<lf::Error> error) {
    if (didEnd_.exchange(true)) {
        lf::log("*** A flow run ended more than once; only its first end counts");
        return;
    }
    if (completionHandler_) completionHandler_(success, std::move(error));
}
