#pragma once
// Helpers for the tests of every subsystem.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

namespace lf::test {

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

// Runs a shell command: its exit status and its output (standard output and
// standard error together).
std::pair<int, std::string> runCommand(const std::string& command);

}  // namespace lf::test

// Skips the current test when the shared documents are not on this machine.
#define LF_REQUIRE_SHARED_DOCUMENTS()                                              \
    do {                                                                           \
        if (::lf::test::sharedDirectory().empty())                                 \
            GTEST_SKIP() << "shared test documents not found (set LF_SHARED_DIR)"; \
    } while (0)
