#pragma once
// Checks that must run apart from the test process: as an unprivileged
// user (folder modes mean nothing to root, and the tests may run as root),
// with a terminal of their own to ask from, in a process that may be
// killed, or in a fresh process that no other test ran in before.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace lf::test {

struct ChildSetting {
    // Run as uid and gid 65534 (nobody) when this process runs as root.
    bool unprivileged = false;
    // Run with a pseudo-terminal as the controlling terminal, in the
    // foreground, as when started from a shell.
    bool withTerminal = false;
};

// Runs `checks` (gtest assertions) in a forked child of this process. The
// current test fails when one of them failed there, or when the child
// crashed. Checks that hang are left to the test runner's time limit; the
// child dies with this process.
void expectInChild(const std::function<void()>& checks, ChildSetting setting);

// Starts `work` in a forked child of this process, which dies with it,
// and returns the child's process id at once: for a child the test ends
// itself. Nothing `work` asserts reaches the test.
pid_t startInChild(const std::function<void()>& work);

// Runs the current test again in a fresh process of this test program,
// handing it `argument` (freshProcessArgument()); the current test fails
// unless that run passes. For checks that need a process of their own
// from its start: its heap untouched by other tests, or its exit.
void expectInFreshProcess(const std::string& argument);
// In a test run by expectInFreshProcess, the argument it was handed.
std::optional<std::string> freshProcessArgument();

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
