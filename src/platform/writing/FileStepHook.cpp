#include "platform/writing/FileStepHook.h"

#include <memory>
#include <mutex>
#include <utility>

namespace lf {
namespace {

struct HookSlot {
    std::mutex mutex;
    std::shared_ptr<const FileStepHook> hook;
};

// Never destroyed: writes of threads that outlive main may still ask it.
HookSlot& slot() {
    static HookSlot* const shared = new HookSlot;
    return *shared;
}

}  // namespace

void setFileStepHookForTesting(FileStepHook hook) {
    auto installed = hook ? std::make_shared<const FileStepHook>(std::move(hook)) : nullptr;
    std::lock_guard lock(slot().mutex);
    slot().hook = std::move(installed);
}

// The hook runs outside the lock, so that it may block or write files.
int injectedFileStepFailure(FileStep step, const std::string& target) {
    std::shared_ptr<const FileStepHook> hook;
    {
        std::lock_guard lock(slot().mutex);
        hook = slot().hook;
    }
    return hook ? (*hook)(step, target) : 0;
}

}  // namespace lf
