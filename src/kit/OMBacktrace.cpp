#include "kit/OMBacktrace.h"

#include "platform/files/FileDescriptor.h"

#include <fmt/format.h>

#include <cerrno>
#include <execinfo.h>
#include <fcntl.h>
#include <filesystem>
#include <link.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kMaxFrames = 128;

// Where an address lies: the file of its module and its address as that
// file counts (the module's load address taken off).
struct ModuleAddress {
    std::string file;
    uintptr_t address = 0;
};

ModuleAddress moduleAddress(uintptr_t address, const std::string& programFile) {
    struct Search {
        uintptr_t address;
        const std::string& programFile;
        ModuleAddress found;
    } search{address, programFile, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* search = static_cast<Search*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (segment.p_type != PT_LOAD || search->address < start ||
                    search->address >= start + segment.p_memsz)
                    continue;
                // The program itself has no name in the loader's list.
                const char* name = info->dlpi_name;
                search->found = {name && *name ? std::string(name) : search->programFile,
                                 search->address - info->dlpi_addr};
                return 1;
            }
            return 0;
        },
        &search);
    return search.found;
}

// addr2line's answer for `addresses` of `file`, one line per address;
// nullopt when it cannot be started.
std::optional<std::vector<std::string>> symbolise(const std::string& file,
                                                  const std::vector<uintptr_t>& addresses) {
    std::vector<std::string> arguments = {"addr2line", "-f", "-C", "-p", "-e", file};
    for (uintptr_t address : addresses)
        arguments.push_back(fmt::format("{:#x}", address));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
    lf::FileDescriptor readEnd(pipeEnds[0]), writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "addr2line", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::nullopt;
    writeEnd = lf::FileDescriptor();

    std::string output;
    char piece[512];
    for (ssize_t n; (n = read(readEnd.get(), piece, sizeof piece)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        output.append(piece, size_t(n));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // A child that could not run the tool exits with 127.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return std::nullopt;

    std::vector<std::string> lines;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::optional<std::string> OMBacktraceString() {
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);

    // Frames above the first hold return addresses, which point after the
    // call; one byte back lies inside it, on the line of the call.
    std::error_code ignored;
    const std::string programFile = std::filesystem::read_symlink("/proc/self/exe", ignored);
    std::vector<ModuleAddress> located;
    std::map<std::string, std::vector<uintptr_t>> addressesByModule;
    for (int i = 0; i < count; ++i) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(frames[i]) - (i > 0 ? 1 : 0);
        located.push_back(moduleAddress(address, programFile));
        if (!located.back().file.empty())
            addressesByModule[located.back().file].push_back(located.back().address);
    }

    std::map<std::string, std::vector<std::string>> linesByModule;
    for (const auto& [file, addresses] : addressesByModule) {
        auto lines = symbolise(file, addresses);
        if (!lines) return std::nullopt;
        linesByModule[file] = std::move(*lines);
    }

    std::string text;
    std::map<std::string, size_t> nextLine;
    for (int i = 0; i < count; ++i) {
        const ModuleAddress& frame = located[size_t(i)];
        if (frame.file.empty()) {
            text += fmt::format("{} ??\n", frames[i]);
            continue;
        }
        const std::vector<std::string>& lines = linesByModule[frame.file];
        const size_t line = nextLine[frame.file]++;
        text += fmt::format("{} (in {})\n", line < lines.size() ? lines[line] : "??",
                            frame.file.substr(frame.file.rfind('/') + 1));
    }
    return text;
}
