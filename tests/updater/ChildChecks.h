#pragma once
// Checks that must run apart from the test process: as an unprivileged
// user (folder modes mean nothing to root, and the tests may run as root),
// or with a terminal of their own to ask from.

#include <filesystem>
#include <functional>

namespace lf::test {

struct ChildSetting {
    // Run as uid and gid 65534 (nobody) when this process runs as root.
    bool unprivileged = false;
    // Run with a pseudo-terminal as the controlling terminal, in the
    // foreground, as when started from a shell.
    bool withTerminal = false;
};

// Runs `checks` (gtest assertions) in a forked child of this process. The
// current test fails when one of them failed there, when the child
// crashed, or when it has not ended within a minute: it is then killed,
// so that checks that would hang fail instead.
void expectInChild(const std::function<void()>& checks, ChildSetting setting);

// A temporary folder that the checks of expectInChild, unprivileged, may
// write: for root, a folder in /tmp given to uid 65534; for anyone else,
// their own. Removed with everything in it, read-only folders too.
class UnprivilegedFolder {
public:
    UnprivilegedFolder();
    ~UnprivilegedFolder();
    UnprivilegedFolder(const UnprivilegedFolder&) = delete;
    UnprivilegedFolder& operator=(const UnprivilegedFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Copies `file` into the folder, given to that user too.
    std::filesystem::path copyIn(const std::filesystem::path& file) const;

private:
    std::filesystem::path path_;
};

}  // namespace lf::test
