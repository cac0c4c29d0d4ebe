#include "support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <sys/prctl.h>
#include <unistd.h>

namespace lf::test {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "layerflow-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path sharedDirectory() {
    static const std::filesystem::path directory = [] {
        if (const char* env = std::getenv("LF_SHARED_DIR"); env && *env) {
            if (std::filesystem::is_directory(env)) return std::filesystem::path(env);
        }
        std::filesystem::path beside(LF_DEFAULT_SHARED_DIR);
        if (std::filesystem::is_directory(beside / "psd"))
            return std::filesystem::canonical(beside);
        return std::filesystem::path();
    }();
    return directory;
}

std::filesystem::path sharedFile(const std::string& relativePath) {
    return sharedDirectory() / relativePath;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::optional<std::string> procStatFields(const std::filesystem::path& statFile) {
    std::ifstream in(statFile);
    std::string stat;
    if (!std::getline(in, stat)) return std::nullopt;
    // "pid (name) state ...": the name may hold anything.
    const size_t name = stat.rfind(')');
    if (name == std::string::npos || name + 2 >= stat.size()) return std::nullopt;
    return stat.substr(name + 2);
}

std::pair<int, std::string> runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, ""};
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    return {pclose(pipe), output};
}

ScopedEnvironment::ScopedEnvironment(std::string name, std::optional<std::string> value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    if (value) {
        ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_) {
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

namespace {

constexpr uid_t kUnprivilegedID = 65534;

// Changing the effective user makes a process undumpable, and its /proc/self
// unreadable to itself, which the tests and the sanitizers read.
void keepProcReadable() {
    ::prctl(PR_SET_DUMPABLE, 1);
}

}  // namespace

ScopedUnprivilegedUser::ScopedUnprivilegedUser(const std::filesystem::path& folder) {
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                    std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                    std::filesystem::perms::others_exec);
    if (::geteuid() != 0) return;
    const auto give = [](const std::filesystem::path& path) {
        if (::lchown(path.c_str(), kUnprivilegedID, kUnprivilegedID) != 0)
            throw std::runtime_error("cannot give " + path.string() + " away");
    };
    give(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        give(entry.path());
    // glibc changes the credentials of every thread of the process.
    if (::setegid(kUnprivilegedID) != 0 || ::seteuid(kUnprivilegedID) != 0)
        throw std::runtime_error("cannot act as uid 65534");
    switched_ = true;
    keepProcReadable();
}

ScopedUnprivilegedUser::~ScopedUnprivilegedUser() {
    if (!switched_) return;
    if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();
    keepProcReadable();
}

bool runningInCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string_view(ci) == "true";
}

}  // namespace lf::test
