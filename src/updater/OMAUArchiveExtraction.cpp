#include "updater/OMAUArchiveExtraction.h"

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "updater/OMAUBundleReplacement.h"
#include "updater/OMAUStringExtras.h"

#include <fmt/format.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunkLength = 32768;

lf::Error archiveError(OMAUArchiveErrorCode code, std::string description) {
    return lf::Error(kOMAUArchiveErrorDomain, code,
                     {{lf::kLocalizedDescriptionKey, std::move(description)}});
}

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

lf::Status requireSuccess(const std::string& tool, const lf::ChildProcess::Termination& ended) {
    if (ended.exited() && ended.exitCode() == 0) return {};
    return archiveError(kOMAUArchiveToolFailed, fmt::format("{} {}", tool, ended.description()));
}

lf::Result<lf::ChildProcess::Termination> waitFor(lf::ChildProcess& child) {
    auto ended = child.waitUntil(std::chrono::steady_clock::time_point::max());
    if (!ended) return lf::Error::posix(EINTR, "wait for the archive tool");
    return *ended;
}

// Runs `arguments` with its standard output captured; the output when it
// exits with 0.
lf::Result<std::string> outputOf(const std::vector<std::string>& arguments) {
    lf::Result<Pipe> output = Pipe::make();
    if (!output) return output.error();
    lf::ChildProcess::Options options;
    options.arguments = arguments;
    options.searchPath = true;
    options.descriptors = {{output->write.get(), STDOUT_FILENO}};
    lf::Result<lf::ChildProcess> child = lf::ChildProcess::spawn(options);
    if (!child) return child.error();
    output->write = lf::FileDescriptor();
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(output->read.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) break;
        text.append(buffer, static_cast<size_t>(length));
    }
    lf::Result<lf::ChildProcess::Termination> ended = waitFor(*child);
    if (!ended) return ended.error();
    if (lf::Status status = requireSuccess(arguments.front(), *ended); !status)
        return status.error();
    return text;
}

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> result;
    while (!text.empty()) {
        const auto end = text.find('\n');
        result.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return result;
}

const char* compressionOption(OMAUArchiveKind kind) {
    switch (kind) {
        case OMAUArchiveKind::TGZ:
            return "-z";
        case OMAUArchiveKind::TBZ:
            return "-j";
        default:
            return nullptr;
    }
}

// The names the archive holds, as its tool lists them.
lf::Result<std::vector<std::string>> entryNames(OMAUArchiveKind kind, const std::string& path) {
    std::vector<std::string> arguments;
    switch (kind) {
        case OMAUArchiveKind::ZIP:
            arguments = {"unzip", "-Z1", path};
            break;
        case OMAUArchiveKind::DMG:
            arguments = {"7z", "l", "-ba", "-slt", "--", path};
            break;
        default:
            arguments = {"tar", "-t", "-f", path};
            if (const char* option = compressionOption(kind)) arguments.emplace_back(option);
    }
    lf::Result<std::string> listing = outputOf(arguments);
    if (!listing) return listing.error();
    std::vector<std::string> names;
    for (std::string& line : lines(*listing)) {
        if (kind != OMAUArchiveKind::DMG)
            names.push_back(std::move(line));
        else if (line.starts_with("Path = "))
            names.push_back(line.substr(7));
    }
    return names;
}

bool leavesFolder(std::string_view name) {
    if (name.starts_with('/')) return true;
    for (const auto& component : fs::path(name))
        if (component == "..") return true;
    return false;
}

// `total` + `length`, or the largest value where that does not fit.
uint64_t sumWithoutOverflow(uint64_t total, uint64_t length) {
    return length > UINT64_MAX - total ? UINT64_MAX : total + length;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    for (size_t start = line.find_first_not_of(' '); start != std::string_view::npos;) {
        const size_t end = line.find(' ', start);
        result.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(' ', end);
    }
    return result;
}

lf::Error unreadableListing(const std::string& path) {
    return archiveError(kOMAUArchiveUnreadable,
                        fmt::format("the listing of {} gives no entry lengths", path));
}

// The length of the archive's entries added up, as its tool lists them.
lf::Result<uint64_t> listedLength(OMAUArchiveKind kind, const std::string& path) {
    switch (kind) {
        case OMAUArchiveKind::ZIP: {
            // "2 files, 8388608 bytes uncompressed, 8144 bytes compressed: 99.9%".
            lf::Result<std::string> totals = outputOf({"unzip", "-Zt", path});
            if (!totals) return totals.error();
            const std::string_view text = *totals;
            const size_t end = text.find(" bytes uncompressed");
            if (end == std::string_view::npos || end == 0) return unreadableListing(path);
            const size_t start = text.find_last_of(' ', end - 1) + 1;
            if (std::optional<uint64_t> length = OMAUParseDecimal(text.substr(start, end - start)))
                return *length;
            return unreadableListing(path);
        }
        case OMAUArchiveKind::DMG: {
            lf::Result<std::string> listing = outputOf({"7z", "l", "-ba", "-slt", "--", path});
            if (!listing) return listing.error();
            uint64_t total = 0;
            for (const std::string& line : lines(*listing)) {
                if (!line.starts_with("Size = ") || line.size() == 7) continue;
                std::optional<uint64_t> length = OMAUParseDecimal(std::string_view(line).substr(7));
                if (!length) return unreadableListing(path);
                total = sumWithoutOverflow(total, *length);
            }
            return total;
        }
        default: {
            // "-rw-r--r-- 1000/1000 8388608 2026-01-01 00:00 name": the
            // third field, a device's "major,minor" aside (it is refused
            // once unpacked).
            std::vector<std::string> arguments = {"tar", "-tv", "--numeric-owner", "-f", path};
            if (const char* option = compressionOption(kind)) arguments.emplace_back(option);
            lf::Result<std::string> listing = outputOf(arguments);
            if (!listing) return listing.error();
            uint64_t total = 0;
            for (const std::string& line : lines(*listing)) {
                const std::vector<std::string_view> words = fields(line);
                if (words.size() < 3) continue;
                const bool device = words[0].starts_with('c') || words[0].starts_with('b');
                std::optional<uint64_t> length = OMAUParseDecimal(words[2]);
                if (!length && !device) return unreadableListing(path);
                total = sumWithoutOverflow(total, length.value_or(0));
            }
            return total;
        }
    }
}

lf::Error tooLarge(const std::string& what, uint64_t length, uint64_t maximum) {
    return archiveError(kOMAUArchiveTooLarge,
                        fmt::format("{} holds {} bytes, more than the {} an update may unpack to",
                                    what, length, maximum));
}

lf::Status checkEntryNames(OMAUArchiveKind kind, const std::string& path) {
    lf::Result<std::vector<std::string>> names = entryNames(kind, path);
    if (!names) return names.error();
    for (const std::string& name : *names)
        if (leavesFolder(name))
            return archiveError(kOMAUArchiveHostileContents,
                                fmt::format("the archive's entry \"{}\" leaves its folder", name));
    return {};
}

// Feeds the archive to a tar reading its standard input, `extractedLength`
// told after each chunk.
lf::Status pipeToTar(OMAUArchiveKind kind, const std::string& path, const std::string& folder,
                     const std::function<void(uint64_t)>& extractedLength) {
    lf::Result<lf::FileDescriptor> archive = lf::FileDescriptor::openForReading(path);
    if (!archive) return archive.error();
    lf::Result<Pipe> input = Pipe::make();
    if (!input) return input.error();
    // As root, tar would give files the owners the archive names.
    lf::ChildProcess::Options options;
    // The folder keeps its own owner and mode whatever the archive says of ".".
    options.arguments = {
        "tar", "-x", "-f", "-", "-C", folder, "--no-same-owner", "--no-overwrite-dir"};
    options.searchPath = true;
    if (const char* option = compressionOption(kind)) options.arguments.emplace_back(option);
    options.descriptors = {{input->read.get(), STDIN_FILENO}};
    lf::Result<lf::ChildProcess> tar = lf::ChildProcess::spawn(options);
    if (!tar) return tar.error();
    input->read = lf::FileDescriptor();

    std::optional<lf::Error> failure;
    {
        SIGPIPEBlocked quietBrokenPipe;
        std::vector<uint8_t> chunk(kChunkLength);
        for (uint64_t offset = 0;;) {
            lf::Result<size_t> read = archive->readUncached(chunk.data(), chunk.size(), offset);
            if (!read) {
                failure = read.error();
                break;
            }
            if (*read == 0) break;
            size_t written = 0;
            while (written < *read) {
                const ssize_t n =
                    ::write(input->write.get(), chunk.data() + written, *read - written);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) break;
                written += static_cast<size_t>(n);
            }
            // tar stops reading where the archive ends; whether it got
            // everything it needed its exit status tells.
            if (written < *read) {
                if (errno != EPIPE) failure = lf::Error::posix(errno, "write to tar");
                break;
            }
            offset += *read;
            if (extractedLength) extractedLength(*read);
        }
    }
    input->write = lf::FileDescriptor();
    lf::Result<lf::ChildProcess::Termination> ended = waitFor(*tar);
    if (!ended) return ended.error();
    if (failure) return *failure;
    return requireSuccess("tar", *ended);
}

lf::Status runTool(const std::vector<std::string>& arguments) {
    lf::Result<std::string> output = outputOf(arguments);
    if (!output) return output.error();
    return {};
}

uint64_t fileSize(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

std::optional<OMAUArchiveKind> OMAUArchiveKindOfPath(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    if (extension == ".tar") return OMAUArchiveKind::TAR;
    if (extension == ".tgz") return OMAUArchiveKind::TGZ;
    if (extension == ".tbz") return OMAUArchiveKind::TBZ;
    if (extension == ".zip") return OMAUArchiveKind::ZIP;
    if (extension == ".dmg") return OMAUArchiveKind::DMG;
    return std::nullopt;
}

lf::Status OMAUExtractArchive(const std::string& path,
                              const std::function<void(uint64_t)>& extractedLength,
                              uint64_t maximumUnpackedLength) {
    const std::optional<OMAUArchiveKind> kind = OMAUArchiveKindOfPath(path);
    if (!kind)
        return archiveError(kOMAUArchiveUnknownKind,
                            fmt::format("{} is not a tar, tgz, tbz, zip or dmg archive", path));
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return archiveError(kOMAUArchiveUnreadable, fmt::format("{} is not a readable file", path));
    const std::string folder = fs::path(path).parent_path().string();
    LF_TRY(checkEntryNames(*kind, path));
    lf::Result<uint64_t> listed = listedLength(*kind, path);
    if (!listed) return listed.error();
    if (*listed > maximumUnpackedLength)
        return tooLarge("the archive " + path, *listed, maximumUnpackedLength);
    switch (*kind) {
        case OMAUArchiveKind::ZIP:
            // -n: nothing already there (the archive itself) is replaced.
            LF_TRY(runTool({"unzip", "-qq", "-n", path, "-d", folder}));
            if (extractedLength) extractedLength(fileSize(path));
            break;
        case OMAUArchiveKind::DMG:
            LF_TRY(runTool(
                {"7z", "x", "-y", "-aos", "-bd", "-bso0", "-bsp0", "-o" + folder, "--", path}));
            if (extractedLength) extractedLength(fileSize(path));
            break;
        default:
            LF_TRY(pipeToTar(*kind, path, folder, extractedLength));
    }
    LF_TRY(OMAUCheckExtractedContents(folder));
    return OMAUCheckUnpackedLength(folder, path, maximumUnpackedLength);
}

lf::Status OMAUCheckExtractedContents(const std::string& folder) {
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    auto hostile = [](const fs::path& entry, const char* what) {
        return archiveError(kOMAUArchiveHostileContents,
                            fmt::format("the archive's {} is {}", entry.string(), what));
    };
    fs::recursive_directory_iterator walk(root, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::path& entry = walk->path();
        struct stat status {};
        if (::lstat(entry.c_str(), &status) != 0)
            return lf::Error::posix(errno, "examine " + entry.string());
        if (S_ISLNK(status.st_mode)) {
            const fs::path target = fs::read_symlink(entry, error);
            if (error) break;
            if (target.is_absolute()) return hostile(entry, "a link to an absolute path");
            const fs::path resolved = fs::weakly_canonical(entry.parent_path() / target, error);
            if (error) break;
            const auto [rootEnd, ignored] =
                std::mismatch(root.begin(), root.end(), resolved.begin(), resolved.end());
            if (rootEnd != root.end()) return hostile(entry, "a link that leads out of its folder");
        } else if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
            if (status.st_mode & (S_ISUID | S_ISGID)) return hostile(entry, "set-id");
        } else {
            return hostile(entry, "a special file");
        }
    }
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    return {};
}

lf::Status OMAUCheckUnpackedLength(const std::string& folder, const std::string& archive,
                                   uint64_t maximum) {
    const std::optional<struct stat> archiveStatus = OMAUStatusOf(archive);
    uint64_t total = 0;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const std::optional<struct stat> status = OMAUStatusOf(walk->path());
        if (!status) return lf::Error::posix(errno, "examine " + walk->path().string());
        const bool isArchive = archiveStatus && status->st_dev == archiveStatus->st_dev &&
                               status->st_ino == archiveStatus->st_ino;
        if (S_ISREG(status->st_mode) && !isArchive)
            total = sumWithoutOverflow(total, static_cast<uint64_t>(status->st_size));
    }
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    if (total > maximum) return tooLarge("the unpacked folder " + folder, total, maximum);
    return {};
}
