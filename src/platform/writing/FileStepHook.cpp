#include "platform/writing/FileStepHook.h"

#include "platform/core/TestHook.h"

namespace lf {
namespace {

struct FileStepPlace;

TestHook<int(FileStep, const std::string&)>& hook() {
    return sharedTestHook<FileStepPlace, int(FileStep, const std::string&)>();
}

}  // namespace

void setFileStepHookForTesting(FileStepHook hook) {
    lf::hook().set(std::move(hook));
}

int injectedFileStepFailure(FileStep step, const std::string& target) {
    const auto hook = lf::hook().get();
    return hook ? (*hook)(step, target) : 0;
}

}  // namespace lf
