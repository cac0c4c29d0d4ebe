#include "updater/unpacking/OMAUArchiveTool.h"

#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUToolErrors.h"
#include "updater/unpacking/OMAUToolProcess.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace {

// Waits for a tool whose output has ended to end too, unless it stops or
// its time runs out first, which the wait gives up on; reads its error
// output meanwhile.
lf::Status awaitEnd(lf::ChildProcess& child, const std::string& tool, const OMAUToolTime& time,
                    OMAUToolErrorLine& errors) {
    std::optional<lf::Error> failure;
    const std::optional<lf::ChildProcess::Termination> ended =
        child.waitUntil(std::chrono::steady_clock::time_point::max(), [&] {
            errors.read();
            return !(failure = time.givenUp(child, tool));
        });
    if (!ended) return *failure;
    errors.read();
    return OMAURequireToolSuccess(tool, *ended, errors.line());
}

// Runs the tool, handing its standard output to `take` a piece at a time
// as it comes. When `take` says not to read on, the tool is given up on
// there, stopped with its group; else it is to exit with 0 within its time.
lf::Status readOutput(const std::vector<std::string>& arguments, const OMAUToolTime& time,
                      const std::function<bool(std::string_view)>& take) {
    lf::Result<OMAUPipe> output = OMAUPipe::make();
    if (!output) return output.error();
    lf::Result<OMAUErrorOutput> errors = OMAUErrorOutput::make();
    if (!errors) return errors.error();
    lf::Result<lf::FileDescriptor> null = OMAUOpenNull(O_RDONLY);
    if (!null) return null.error();
    lf::Result<lf::ChildProcess> child =
        OMAUStartTool(arguments,
                      {{null->get(), STDIN_FILENO},
                       {output->write.get(), STDOUT_FILENO},
                       {errors->toolEnd.get(), STDERR_FILENO}},
                      OMAUToolPlace::OwnSession, time, arguments.front());
    if (!child) return child.error();
    output->write = lf::FileDescriptor();
    errors->toolEnd = lf::FileDescriptor();
    char buffer[4096];
    for (;;) {
        pollfd ready[] = {{output->read.get(), POLLIN, 0}, {errors->line.descriptor(), POLLIN, 0}};
        if (::poll(ready, 2, kOMAUToolPollMilliseconds) > 0) {
            if (ready[1].revents) errors->line.read();
            if (ready[0].revents) {
                const ssize_t length = ::read(output->read.get(), buffer, sizeof buffer);
                if (length < 0 && errno == EINTR) continue;
                // The end, once every writer has closed the pipe.
                if (length <= 0) break;
                // The child goes with its group as it is dropped.
                if (!take(std::string_view(buffer, static_cast<size_t>(length)))) return {};
            }
        }
        if (std::optional<lf::Error> failure = time.givenUp(*child, arguments.front()))
            return *failure;
    }
    return awaitEnd(*child, arguments.front(), time, errors->line);
}

}  // namespace

lf::Result<std::string> OMAUToolOutput(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds timeLimit, std::stop_token stop) {
    std::string text;
    const auto takePiece = [&](std::string_view piece) {
        text.append(piece);
        return true;
    };
    LF_TRY(readOutput(arguments, OMAUToolTime(timeLimit, std::move(stop)), takePiece));
    return text;
}

lf::Status OMAUReadToolLines(const std::vector<std::string>& arguments,
                             const std::function<bool(std::string_view)>& line,
                             std::chrono::milliseconds timeLimit, std::stop_token stop) {
    std::string pending;
    bool readOn = true;
    const auto takePiece = [&](std::string_view piece) {
        pending.append(piece);
        size_t start = 0;
        for (size_t end; readOn && (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1)
            readOn = line(std::string_view(pending).substr(start, end - start));
        pending.erase(0, start);
        return readOn && pending.size() <= kOMAUToolLineLimit;
    };
    LF_TRY(readOutput(arguments, OMAUToolTime(timeLimit, std::move(stop)), takePiece));
    if (pending.size() > kOMAUToolLineLimit)
        return OMAUArchiveError(kOMAUArchiveUnreadable,
                                fmt::format("{} printed a line longer than {} bytes",
                                            arguments.front(), kOMAUToolLineLimit));
    if (readOn && !pending.empty()) line(pending);
    return {};
}

lf::Status OMAURequireToolSuccess(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine) {
    if (ended.succeeded() || OMAUToolOnlyWarned(tool, ended, errorLine)) return {};
    return OMAUArchiveError(kOMAUArchiveToolFailed, OMAUToolFailureReason(tool, ended, errorLine));
}
