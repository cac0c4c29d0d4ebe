#pragma once
// How a helper program of ours tells us whether it started: through a
// close-on-exec pipe it writes the errno of the step that failed and exits
// with status 127 (HelperMain.h), and the pipe closes without a word once
// the helper runs the program it stands for, or closes the pipe itself.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <string>
#include <sys/types.h>

namespace lf {

// Waits on `report`, every writing end of ours closed, for the word of the
// child `pid`: its process id once it started; else the error it reported,
// naming `what`, the failed child reaped.
Result<pid_t> awaitStart(const FileDescriptor& report, pid_t pid, const std::string& what);

}  // namespace lf
