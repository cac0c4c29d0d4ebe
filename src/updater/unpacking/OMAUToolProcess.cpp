#include "updater/unpacking/OMAUToolProcess.h"

#include "platform/core/TestHook.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct ClockPlace;

lf::TestHook<std::chrono::steady_clock::time_point()>& clockHook() {
    return lf::sharedTestHook<ClockPlace, std::chrono::steady_clock::time_point()>();
}

std::chrono::steady_clock::time_point now() {
    if (const auto clock = clockHook().get()) return (*clock)();
    return std::chrono::steady_clock::now();
}

}  // namespace

lf::Result<OMAUPipe> OMAUPipe::make() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return lf::Error::posix(errno, "pipe");
    return OMAUPipe{lf::FileDescriptor(ends[0]), lf::FileDescriptor(ends[1])};
}

lf::Result<lf::FileDescriptor> OMAUOpenNull(int access) {
    lf::FileDescriptor null(::open("/dev/null", access | O_CLOEXEC));
    if (!null.isOpen()) return lf::Error::posix(errno, "open /dev/null");
    return null;
}

lf::Result<OMAUErrorOutput> OMAUErrorOutput::make() {
    lf::Result<OMAUPipe> pipe = OMAUPipe::make();
    if (!pipe) return pipe.error();
    return OMAUErrorOutput{std::move(pipe->write), OMAUToolErrorLine(std::move(pipe->read))};
}

lf::Result<lf::ChildProcess> OMAUStartTool(std::vector<std::string> arguments,
                                           std::vector<std::pair<int, int>> descriptors,
                                           OMAUToolPlace place, const OMAUToolTime& time,
                                           const std::string& tool) {
    lf::ChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.searchPath = true;
    options.newSession = place == OMAUToolPlace::OwnSession;
    options.newProcessGroup = true;
    options.diesWithParent = true;
    // A group within our session could outlive us held (a subreaper above
    // us adopts it unhung); one in a session of its own is never held.
    options.groupDiesWithParent = place == OMAUToolPlace::OwnGroup;
    options.descriptors = std::move(descriptors);
    // Messages in English whatever the user's language (LANGUAGE would
    // override the locale's), names in UTF-8 as the tools need them.
    options.environment = {"LC_ALL=C.UTF-8", "LANGUAGE="};
    std::optional<lf::Error> failure;
    options.keepWaitingForStart = [&] { return !(failure = time.givenUpStarting(tool)); };
    lf::Result<lf::ChildProcess> child = lf::ChildProcess::spawn(options);
    if (!child && failure) return *failure;
    return child;
}

OMAUToolTime::OMAUToolTime(std::chrono::milliseconds limit, std::stop_token stop)
    : deadline_(now() + limit), limit_(limit), stop_(std::move(stop)) {}

std::optional<lf::Error> OMAUToolTime::givenUp(const lf::ChildProcess& child,
                                               const std::string& tool) const {
    if (stop_.stop_requested()) return lf::Error::posix(ECANCELED, "run " + tool);
    if (child.stopped())
        return OMAUArchiveError(kOMAUArchiveToolFailed,
                                fmt::format("{} stopped before it ended", tool));
    return cancelledOrLate(tool, "end");
}

std::optional<lf::Error> OMAUToolTime::givenUpStarting(const std::string& tool) const {
    return cancelledOrLate(tool, "start");
}

std::optional<lf::Error> OMAUToolTime::cancelledOrLate(const std::string& tool,
                                                       const char* finish) const {
    if (stop_.stop_requested()) return lf::Error::posix(ECANCELED, "run " + tool);
    if (now() >= deadline_)
        return OMAUArchiveError(kOMAUArchiveToolFailed,
                                fmt::format("{} did not {} within {:g} seconds", tool, finish,
                                            std::chrono::duration<double>(limit_).count()));
    return std::nullopt;
}

void OMAUToolTime::setClockForTesting(
    std::function<std::chrono::steady_clock::time_point()> clock) {
    clockHook().set(std::move(clock));
}
