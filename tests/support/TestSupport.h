#pragma once
// Helpers for the tests of every subsystem.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace lf::test {

// How long a test waits for something that is expected to happen: as long
// as the test runner lets the test run, whose timeout catches a hang. A
// shorter limit would be a timing assertion that a loaded machine fails.
inline constexpr std::chrono::hours kPatience{24};

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The folder of shared test documents: $LF_SHARED_DIR, else the "shared"
// folder beside the checkout. Empty when neither exists.
std::filesystem::path sharedDirectory();

// The path of a shared document, e.g. sharedFile("psd/1layer.psd").
std::filesystem::path sharedFile(const std::string& relativePath);

void writeFile(const std::filesystem::path& path, const std::string& bytes);
// The bytes of the file at `path`; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// The fields of a process's or thread's stat file under /proc that follow
// its name, from the state letter on ("S 1234 1234 ..."); none once it has
// gone.
std::optional<std::string> procStatFields(const std::filesystem::path& statFile);

// Runs a shell command: its exit status and its output (standard output and
// standard error together).
std::pair<int, std::string> runCommand(const std::string& command);

// Sets an environment variable for the object's life (none unsets it).
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, std::optional<std::string> value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// While it lives, the whole process acts as uid and gid 65534 (nobody)
// when it runs as root, so that folder modes deny it what they deny a user
// (root passes them by): every thread does, so the work a test starts
// meanwhile (a run, a watcher) is refused as a user's would be. `folder`
// and what it holds are given to that user first, and it may enter
// `folder`. A process that is no root stays who it is.
class ScopedUnprivilegedUser {
public:
    explicit ScopedUnprivilegedUser(const std::filesystem::path& folder);
    ~ScopedUnprivilegedUser();
    ScopedUnprivilegedUser(const ScopedUnprivilegedUser&) = delete;
    ScopedUnprivilegedUser& operator=(const ScopedUnprivilegedUser&) = delete;

private:
    bool switched_ = false;
};

// Whether the tests run in CI: the environment variable CI is "true".
bool runningInCI();

}  // namespace lf::test

// Stops the current test when something that scripts/install-deps installs
// (a program, a locale) is missing: outside CI it skips, so a developer
// without it can still run the rest; in CI, where the install step has run,
// it fails, so that a missing install step cannot pass unnoticed.
#define LF_REQUIRE_INSTALLED(available, what)                                   \
    do {                                                                        \
        if (!(available)) {                                                     \
            if (::lf::test::runningInCI()) {                                    \
                GTEST_FAIL() << what << " is missing in CI (see install-deps)"; \
            } else {                                                            \
                GTEST_SKIP() << what << " is missing (see install-deps)";       \
            }                                                                   \
        }                                                                       \
    } while (0)

// Skips the current test when the shared documents are not on this machine.
#define LF_REQUIRE_SHARED_DOCUMENTS()                                              \
    do {                                                                           \
        if (::lf::test::sharedDirectory().empty())                                 \
            GTEST_SKIP() << "shared test documents not found (set LF_SHARED_DIR)"; \
    } while (0)
