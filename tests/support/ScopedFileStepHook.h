#pragma once
// Makes the file system refuse the steps of file writes that a hook fails
// (see FileStepHook), for the object's life.

#include "platform/writing/FileStepHook.h"

#include <utility>

namespace lf::test {

class ScopedFileStepHook {
public:
    explicit ScopedFileStepHook(FileStepHook hook) { setFileStepHookForTesting(std::move(hook)); }
    ~ScopedFileStepHook() { setFileStepHookForTesting(nullptr); }
    ScopedFileStepHook(const ScopedFileStepHook&) = delete;
    ScopedFileStepHook& operator=(const ScopedFileStepHook&) = delete;
};

}  // namespace lf::test
