#pragma once
// How a child of ours tells its parent whether it started: through a
// close-on-exec pipe it writes the errno of the step that failed and exits
// (reportStartFailure), and the pipe closes without a word once the child
// runs its program, or closes the pipe itself.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <functional>
#include <string>
#include <sys/types.h>

namespace lf {

// Forks with every signal blocked, so that no handler of ours runs in the
// child before it has reset them; the child runs `child`, which must not
// return. The parent then closes `reporting`, its copy of the pipe's
// writing end, and waits on `report` for the child's word. The child's
// process id once it started; else the POSIX error of fork, or the one
// reported, naming `what`, the failed child reaped.
Result<pid_t> forkAndAwaitStart(const FileDescriptor& report, FileDescriptor& reporting,
                                const std::function<void()>& child, const std::string& what);

// Waits on `report`, every writing end of ours closed, for the word of the
// child `pid`: its process id once it started; else the error it reported,
// naming `what`, the failed child reaped.
Result<pid_t> awaitStart(const FileDescriptor& report, pid_t pid, const std::string& what);

// In the child: writes errno to `report` and exits with status 127.
[[noreturn]] void reportStartFailure(int report);

}  // namespace lf
