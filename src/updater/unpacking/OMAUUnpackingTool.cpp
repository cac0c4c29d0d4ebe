#include "updater/unpacking/OMAUUnpackingTool.h"

#include "updater/unpacking/OMAUToolProcess.h"
#include "updater/unpacking/OMAUToolRestraint.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr size_t kChunkLength = 32768;

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

// `line` with every mention of `path` replaced by `name`.
std::string namingAs(std::string line, const std::string& path, const std::string& name) {
    if (path.empty() || name.empty()) return line;
    for (size_t at = line.find(path); at != std::string::npos;
         at = line.find(path, at + name.size()))
        line.replace(at, path.size(), name);
    return line;
}

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

// What the tool reads: the archive through a pipe, fed as the tool takes
// it, or else /dev/null.
struct ToolInput {
    lf::FileDescriptor standardInput;
    std::optional<ArchiveFeed> feed;

    static lf::Result<ToolInput> of(const OMAUUnpackingTool& tool) {
        ToolInput input;
        if (!tool.input) {
            lf::Result<lf::FileDescriptor> null = OMAUOpenNull(O_RDONLY);
            if (!null) return null.error();
            input.standardInput = std::move(*null);
            return input;
        }
        lf::Result<OMAUPipe> pipe = OMAUPipe::make();
        if (!pipe) return pipe.error();
        if (::fcntl(pipe->write.get(), F_SETFL, O_NONBLOCK) != 0)
            return lf::Error::posix(errno, "pipe");
        input.standardInput = std::move(pipe->read);
        input.feed.emplace(*tool.input, std::move(pipe->write), tool.fed);
        return input;
    }
};

// Takes in the changes the watch reports while the tool's group is held;
// whether its entries stay within the limits. Past them the group is left
// held, to be killed so.
lf::Result<bool> takeInChanges(const lf::ChildProcess& child, OMAUUnpackedLengthWatch& watch,
                               const OMAUUnpackingLimits& limits) {
    // A tool that has stopped by itself is left so, to be given up on.
    std::optional<OMAUGroupHold> hold;
    if (!child.stopped()) hold.emplace(child.pid());
    lf::Result<OMAUUnpackedSize> size = watch.update();
    if (!size) return size.error();
    if (size->within(limits)) return true;
    if (hold) hold->keepHeld();
    return false;
}

// Follows the started tool until it ends or its entries pass the limits,
// feeding it the archive and reading its error output meanwhile.
lf::Result<OMAUUnpackingOutcome> watchUntilEnded(
    const OMAUUnpackingTool& tool, lf::ChildProcess& child, OMAUUnpackedLengthWatch& watch,
    std::optional<ArchiveFeed>& feed, OMAUToolErrorLine& errors, const OMAUToolTime& time) {
    const auto outcome = [&](lf::ChildProcess::Termination ended, bool stoppedAtLimit) {
        errors.read();
        return OMAUUnpackingOutcome{ended, stoppedAtLimit,
                                    namingAs(errors.line(), tool.folder.string(), tool.folderName)};
    };
    SIGPIPEBlocked quietBrokenPipe;
    for (;;) {
        if (auto ended = child.waitUntil(std::chrono::steady_clock::now()))
            return outcome(*ended, false);
        if (std::optional<lf::Error> failure = time.givenUp(child, tool.arguments.front()))
            return *failure;
        pollfd ready[] = {{watch.descriptor(), POLLIN, 0},
                          {feed ? feed->descriptor() : -1, POLLOUT, 0},
                          {errors.descriptor(), POLLIN, 0}};
        if (::poll(ready, 3, kOMAUToolPollMilliseconds) < 0 && errno != EINTR)
            return lf::Error::posix(errno, "wait for the archive tool");
        if (ready[2].revents) errors.read();
        if (ready[0].revents & POLLIN) {
            lf::Result<bool> within = takeInChanges(child, watch, tool.limits);
            if (!within) return within.error();
            if (!*within) return outcome(child.terminate(std::chrono::milliseconds(0)), true);
        }
        if (feed) LF_TRY(feed->feed());
    }
}

}  // namespace

lf::Result<OMAUUnpackingOutcome> OMAURunUnpackingTool(const OMAUUnpackingTool& tool) {
    // Watched before the tool starts, so no write escapes the count.
    lf::Result<OMAUUnpackedLengthWatch> watch =
        OMAUUnpackedLengthWatch::start(tool.folder, tool.limits);
    if (!watch) return watch.error();
    if (tool.changeHook) watch->setChangeHook(tool.changeHook);
    lf::Result<ToolInput> input = ToolInput::of(tool);
    if (!input) return input.error();
    lf::Result<lf::FileDescriptor> discarded = OMAUOpenNull(O_WRONLY);
    if (!discarded) return discarded.error();
    lf::Result<OMAUErrorOutput> errors = OMAUErrorOutput::make();
    if (!errors) return errors.error();

    // Started from this thread, the tool shares its processor.
    const OMAUProcessorPin pin;
    const OMAUToolTime time(tool.timeLimit, tool.stop);
    lf::Result<lf::ChildProcess> child =
        OMAUStartTool(underFileSizeLimit(tool.arguments, tool.limits.length),
                      {{input->standardInput.get(), STDIN_FILENO},
                       {discarded->get(), STDOUT_FILENO},
                       {errors->toolEnd.get(), STDERR_FILENO}},
                      OMAUToolPlace::OwnGroup, time, tool.arguments.front());
    if (!child) return child.error();
    input->standardInput = lf::FileDescriptor();
    errors->toolEnd = lf::FileDescriptor();
    return watchUntilEnded(tool, *child, *watch, input->feed, errors->line, time);
}
