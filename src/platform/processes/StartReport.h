#pragma once
// How a helper program of ours tells us whether it started: through a
// close-on-exec pipe it writes the errno of the step that failed and exits
// with status 127 (HelperMain.h), and the pipe closes without a word once
// the helper runs the program it stands for, or closes the pipe itself.
//
// The helper's program may be another's all the same (the variable of
// HelperPrograms.h names it): one that runs the program in its place
// without closing the pipe hands it on, and the word comes only as that
// program ends, if ever, as it may wait for us to read what it writes.
// So the wait can be given up on; and a child that reports a failure, or
// what no helper of ours writes, is not waited out but ended.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <functional>
#include <string>
#include <sys/types.h>

namespace lf {

// Waits on `report`, every writing end of ours closed, for the word of the
// child `pid`: its process id once it started. Else the start failed: the
// child is killed (with its process group when it `leadsGroup`) and
// reaped, whatever it would do next, and the error names `what`: the one
// it reported; EPROTO for a report that is no error number, which no
// helper of ours writes; ECANCELED once `keepWaiting`, when given, answers
// false, asked every few milliseconds while no word has come.
Result<pid_t> awaitStart(const FileDescriptor& report, pid_t pid, const std::string& what,
                         const std::function<bool()>& keepWaiting = {}, bool leadsGroup = false);

}  // namespace lf
