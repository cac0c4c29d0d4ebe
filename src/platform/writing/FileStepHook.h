#pragma once
// The steps of a file write that a file system may refuse, and the hook
// through which tests refuse them: set by a test, it is asked before each
// step and answers with the POSIX error that the step then fails with, as
// the file system would have, or 0 to let the step run.
//
// Threads: the hook may be set or cleared at any time; it is called on the
// thread of the write, by any number of writes at once.

#include <cerrno>
#include <functional>
#include <string>

namespace lf {

enum class FileStep {
    KeepPermissions,  // the new contents take the permissions of the file they replace
    Flush,            // the new contents go to the disk
    Exchange,         // the new contents and the target exchange names
    MoveAside,        // the replaced file takes a hidden name until the commit ends
    MoveIn,           // the new contents are renamed to the target
    MoveBack,         // a failed commit puts a replaced file back at its target
};

// `target` is the path of the file being replaced, whatever the step's
// own paths are.
using FileStepHook = std::function<int(FileStep step, const std::string& target)>;

void setFileStepHookForTesting(FileStepHook hook);

// The error that the hook gives `step` on `target`; 0 without a hook.
int injectedFileStepFailure(FileStep step, const std::string& target);

// Runs `call`, a system call's wrapper that returns 0 or -1 with errno set,
// unless the hook fails the step: 0, or the POSIX error of the step.
template <typename Call>
int runFileStep(FileStep step, const std::string& target, Call&& call) {
    if (const int injected = injectedFileStepFailure(step, target)) return injected;
    return call() == 0 ? 0 : errno;
}

}  // namespace lf
