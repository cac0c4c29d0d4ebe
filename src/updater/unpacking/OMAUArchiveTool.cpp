#include "updater/unpacking/OMAUArchiveTool.h"

#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUToolErrors.h"
#include "updater/unpacking/OMAUToolRestraint.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"

#include <fmt/format.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr size_t kChunkLength = 32768;
// How often a tool that writes nothing is asked whether it has ended.
constexpr int kExitPollMilliseconds = 5;

// Both ends of a pipe, closed when they go.
struct Pipe {
    lf::FileDescriptor read, write;
    static lf::Result<Pipe> make() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return lf::Error::posix(errno, "pipe");
        return Pipe{lf::FileDescriptor(ends[0]), lf::FileDescriptor(ends[1])};
    }
};

// While alive, a broken pipe gives this thread EPIPE instead of ending the
// process; a signal raised meanwhile is taken back before it is unblocked.
class SIGPIPEBlocked {
public:
    SIGPIPEBlocked() {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous_);
    }
    ~SIGPIPEBlocked() {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t previous_;
};

// /dev/null, to read from (O_RDONLY) or write to (O_WRONLY).
lf::Result<lf::FileDescriptor> openNull(int access = O_RDONLY) {
    lf::FileDescriptor null(::open("/dev/null", access | O_CLOEXEC));
    if (!null.isOpen()) return lf::Error::posix(errno, "open /dev/null");
    return null;
}

// The pipe a tool writes its error output into, our end read for its
// first line.
struct ErrorOutput {
    lf::FileDescriptor toolEnd;
    OMAUToolErrorLine line;

    static lf::Result<ErrorOutput> make() {
        lf::Result<Pipe> pipe = Pipe::make();
        if (!pipe) return pipe.error();
        return ErrorOutput{std::move(pipe->write), OMAUToolErrorLine(std::move(pipe->read))};
    }
};

// `line` with every mention of `path` replaced by `name`.
std::string namingAs(std::string line, const std::string& path, const std::string& name) {
    if (path.empty() || name.empty()) return line;
    for (size_t at = line.find(path); at != std::string::npos;
         at = line.find(path, at + name.size()))
        line.replace(at, path.size(), name);
    return line;
}

// Where a tool runs: a listing tool in a session of its own, without a
// terminal; an unpacking tool in a process group of its own within ours,
// so that the kernel weighs it within our share of the processor.
enum class ToolPlace { OwnSession, OwnGroup };

lf::Result<lf::ChildProcess> startTool(std::vector<std::string> arguments,
                                       std::vector<std::pair<int, int>> descriptors,
                                       ToolPlace place = ToolPlace::OwnSession) {
    lf::ChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.searchPath = true;
    options.newSession = place == ToolPlace::OwnSession;
    options.newProcessGroup = true;
    options.descriptors = std::move(descriptors);
    // Ended early (an error), the child goes with its whole group.
    return lf::ChildProcess::spawn(options);
}

// When a tool is given up on.
struct ToolTime {
    std::chrono::steady_clock::time_point deadline;
    std::chrono::milliseconds limit;

    explicit ToolTime(std::chrono::milliseconds limit)
        : deadline(std::chrono::steady_clock::now() + limit), limit(limit) {}

    // Why the running `child` is given up on: it stopped (it may wait for
    // an answer it can never have), or its time is up. None while it may
    // go on.
    std::optional<lf::Error> givenUp(const lf::ChildProcess& child, const std::string& tool) const {
        if (child.stopped())
            return OMAUArchiveError(kOMAUArchiveToolFailed,
                                    fmt::format("{} stopped before it ended", tool));
        if (std::chrono::steady_clock::now() >= deadline)
            return OMAUArchiveError(kOMAUArchiveToolFailed,
                                    fmt::format("{} did not end within {:g} seconds", tool,
                                                std::chrono::duration<double>(limit).count()));
        return std::nullopt;
    }
};

// prlimit sets the limits and then becomes the tool, so they hold from its
// first write. A file may reach one byte more than the length: cut there,
// it counts as too long rather than as exactly the length.
std::vector<std::string> underFileSizeLimit(const std::vector<std::string>& arguments,
                                            uint64_t maximumLength) {
    const std::string limit =
        maximumLength < UINT64_MAX - 1 ? std::to_string(maximumLength + 1) : "unlimited";
    // A tool the kernel stops leaves no core dump behind.
    std::vector<std::string> limited = {"prlimit", "--fsize=" + limit, "--core=0", "--"};
    limited.insert(limited.end(), arguments.begin(), arguments.end());
    return limited;
}

// Hands an archive to a tool's standard input a chunk at a time, as far as
// the pipe takes it without waiting.
class ArchiveFeed {
public:
    ArchiveFeed(const lf::FileDescriptor& archive, lf::FileDescriptor pipe,
                const std::function<void(uint64_t)>& fed)
        : archive_(archive), pipe_(std::move(pipe)), fed_(fed), chunk_(kChunkLength) {}

    // The pipe's end, or -1 once everything is handed over (or the tool
    // stopped reading): poll() then leaves it aside.
    int descriptor() const { return pipe_.get(); }

    // Hands over what the pipe takes now; closes it at the archive's end.
    lf::Status feed() {
        while (pipe_.isOpen()) {
            if (written_ == length_) {
                lf::Result<size_t> read =
                    archive_.readUncached(chunk_.data(), chunk_.size(), offset_);
                if (!read) return read.error();
                // The end: closing the pipe tells the tool.
                if (*read == 0) break;
                length_ = *read;
                written_ = 0;
            }
            const ssize_t n = ::write(pipe_.get(), chunk_.data() + written_, length_ - written_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return {};
            // The tool stops reading where the archive ends; whether it
            // got everything it needed its exit status tells.
            if (n < 0 && errno == EPIPE) break;
            if (n < 0) return lf::Error::posix(errno, "hand the archive to its tool");
            written_ += static_cast<size_t>(n);
            if (written_ == length_) {
                offset_ += length_;
                if (fed_) fed_(length_);
            }
        }
        pipe_ = lf::FileDescriptor();
        return {};
    }

private:
    const lf::FileDescriptor& archive_;
    lf::FileDescriptor pipe_;
    const std::function<void(uint64_t)>& fed_;
    std::vector<uint8_t> chunk_;
    size_t length_ = 0, written_ = 0;
    uint64_t offset_ = 0;
};

// Runs the tool, handing its standard output to `take` a piece at a time
// as it comes. When `take` says not to read on, the tool is given up on
// there, stopped with its group; else it is to exit with 0 within its time.
lf::Status readOutput(const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeLimit,
                      const std::function<bool(std::string_view)>& take) {
    const ToolTime time(timeLimit);
    lf::Result<Pipe> output = Pipe::make();
    if (!output) return output.error();
    lf::Result<ErrorOutput> errors = ErrorOutput::make();
    if (!errors) return errors.error();
    lf::Result<lf::FileDescriptor> null = openNull();
    if (!null) return null.error();
    lf::Result<lf::ChildProcess> child =
        startTool(arguments, {{null->get(), STDIN_FILENO},
                              {output->write.get(), STDOUT_FILENO},
                              {errors->toolEnd.get(), STDERR_FILENO}});
    if (!child) return child.error();
    output->write = lf::FileDescriptor();
    errors->toolEnd = lf::FileDescriptor();
    char buffer[4096];
    for (;;) {
        pollfd ready[] = {{output->read.get(), POLLIN, 0}, {errors->line.descriptor(), POLLIN, 0}};
        if (::poll(ready, 2, kExitPollMilliseconds) > 0) {
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
    // The output has ended; the tool is to end too, unless it stops or its
    // time runs out first, which the wait gives up on.
    std::optional<lf::Error> failure;
    const std::optional<lf::ChildProcess::Termination> ended =
        child->waitUntil(std::chrono::steady_clock::time_point::max(), [&] {
            errors->line.read();
            return !(failure = time.givenUp(*child, arguments.front()));
        });
    if (!ended) return *failure;
    errors->line.read();
    return OMAURequireToolSuccess(arguments.front(), *ended, errors->line.line());
}

}  // namespace

lf::Result<std::string> OMAUToolOutput(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds timeLimit) {
    std::string text;
    LF_TRY(readOutput(arguments, timeLimit, [&](std::string_view piece) {
        text.append(piece);
        return true;
    }));
    return text;
}

lf::Status OMAUReadToolLines(const std::vector<std::string>& arguments,
                             const std::function<bool(std::string_view)>& line,
                             std::chrono::milliseconds timeLimit) {
    std::string pending;
    bool readOn = true;
    LF_TRY(readOutput(arguments, timeLimit, [&](std::string_view piece) {
        pending.append(piece);
        size_t start = 0;
        for (size_t end; readOn && (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1)
            readOn = line(std::string_view(pending).substr(start, end - start));
        pending.erase(0, start);
        return readOn && pending.size() <= kOMAUToolLineLimit;
    }));
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
    if (ended.exited() && ended.exitCode() == 0) return {};
    return OMAUArchiveError(kOMAUArchiveToolFailed, OMAUToolFailureReason(tool, ended, errorLine));
}

lf::Result<OMAUUnpackingOutcome> OMAURunUnpackingTool(const OMAUUnpackingTool& tool) {
    const ToolTime time(tool.timeLimit);
    // Watched before the tool starts, so no write escapes the count.
    lf::Result<OMAUUnpackedLengthWatch> watch =
        OMAUUnpackedLengthWatch::start(tool.folder, tool.limits);
    if (!watch) return watch.error();

    lf::FileDescriptor standardInput;
    std::optional<ArchiveFeed> feed;
    if (tool.input) {
        lf::Result<Pipe> pipe = Pipe::make();
        if (!pipe) return pipe.error();
        if (::fcntl(pipe->write.get(), F_SETFL, O_NONBLOCK) != 0)
            return lf::Error::posix(errno, "pipe");
        standardInput = std::move(pipe->read);
        feed.emplace(*tool.input, std::move(pipe->write), tool.fed);
    } else {
        lf::Result<lf::FileDescriptor> null = openNull();
        if (!null) return null.error();
        standardInput = std::move(*null);
    }
    if (tool.changeHook) watch->setChangeHook(tool.changeHook);
    lf::Result<lf::FileDescriptor> discarded = openNull(O_WRONLY);
    if (!discarded) return discarded.error();
    lf::Result<ErrorOutput> errors = ErrorOutput::make();
    if (!errors) return errors.error();

    // Started from this thread, the tool shares its processor.
    const OMAUProcessorPin pin;
    lf::Result<lf::ChildProcess> child =
        startTool(underFileSizeLimit(tool.arguments, tool.limits.length),
                  {{standardInput.get(), STDIN_FILENO},
                   {discarded->get(), STDOUT_FILENO},
                   {errors->toolEnd.get(), STDERR_FILENO}},
                  ToolPlace::OwnGroup);
    if (!child) return child.error();
    standardInput = lf::FileDescriptor();
    errors->toolEnd = lf::FileDescriptor();
    auto outcome = [&](lf::ChildProcess::Termination ended, bool stoppedAtLimit) {
        errors->line.read();
        return OMAUUnpackingOutcome{
            ended, stoppedAtLimit,
            namingAs(errors->line.line(), tool.folder.string(), tool.folderName)};
    };

    SIGPIPEBlocked quietBrokenPipe;
    for (;;) {
        if (auto ended = child->waitUntil(std::chrono::steady_clock::now()))
            return outcome(*ended, false);
        if (std::optional<lf::Error> failure = time.givenUp(*child, tool.arguments.front()))
            return *failure;
        pollfd ready[] = {{watch->descriptor(), POLLIN, 0},
                          {feed ? feed->descriptor() : -1, POLLOUT, 0},
                          {errors->line.descriptor(), POLLIN, 0}};
        if (::poll(ready, 3, kExitPollMilliseconds) < 0 && errno != EINTR)
            return lf::Error::posix(errno, "wait for the archive tool");
        if (ready[2].revents) errors->line.read();
        if (ready[0].revents & POLLIN) {
            // The tool writes nothing while its changes are taken in; one
            // that has stopped by itself is left so, to be given up on.
            std::optional<OMAUGroupHold> hold;
            if (!child->stopped()) hold.emplace(child->pid());
            lf::Result<OMAUUnpackedSize> size = watch->update();
            if (!size) return size.error();
            if (!size->within(tool.limits)) {
                if (hold) hold->keepHeld();
                return outcome(child->terminate(std::chrono::milliseconds(0)), true);
            }
        }
        if (feed) LF_TRY(feed->feed());
    }
}
