#include "updater/unpacking/OMAUToolProcess.h"

#include "updater/unpacking/OMAUArchiveExtraction.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
                                           OMAUToolPlace place) {
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
    return lf::ChildProcess::spawn(options);
}

OMAUToolTime::OMAUToolTime(std::chrono::milliseconds limit, std::stop_token stop)
    : deadline_(std::chrono::steady_clock::now() + limit), limit_(limit), stop_(std::move(stop)) {}

std::optional<lf::Error> OMAUToolTime::givenUp(const lf::ChildProcess& child,
                                               const std::string& tool) const {
    if (stop_.stop_requested()) return lf::Error::posix(ECANCELED, "run " + tool);
    if (child.stopped())
        return OMAUArchiveError(kOMAUArchiveToolFailed,
                                fmt::format("{} stopped before it ended", tool));
    if (std::chrono::steady_clock::now() >= deadline_)
        return OMAUArchiveError(kOMAUArchiveToolFailed,
                                fmt::format("{} did not end within {:g} seconds", tool,
                                            std::chrono::duration<double>(limit_).count()));
    return std::nullopt;
}
