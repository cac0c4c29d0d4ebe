#include "flows/runs/QFFlowRun.h"

#include "platform/core/Assert.h"
#include "platform/core/Log.h"
#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchQueue.h"

#include <filesystem>

lf::Error QFFlowRunInputChangedError(const std::string& path) {
    return lf::Error(
        QFFlowRunErrorDomain, QFFlowRunErrorInputChanged,
        {{lf::kLocalizedDescriptionKey,
          "“" + std::filesystem::path(path).filename().string() + "” changed while it was read"},
         {lf::kFilePathErrorKey, path}});
}

bool QFFlowRunErrorIsInputChanged(const std::optional<lf::Error>& error) {
    return error && error->is(QFFlowRunErrorDomain, QFFlowRunErrorInputChanged);
}

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
    ++runsUnderWay_;
    lf::DispatchQueue::global(lf::QueuePriority::Default)->async([self = shared_from_this()] {
        self->startBlock_(*self);
        // The documents the run read and the outputs it made go with the
        // block; what they took is given back once no other run needs the
        // allocator's spare memory.
        self->startBlock_ = nullptr;
        if (--runsUnderWay_ == 0) lf::releaseFreedMemory();
    });
}

void QFFlowRun::finish(bool success, std::optional<lf::Error> error) {
    if (didEnd_.exchange(true)) {
        lf::log("*** A flow run ended more than once; only its first end counts");
        return;
    }
    if (CompletionHandler handler = std::move(completionHandler_))
        handler(success, std::move(error));
}
