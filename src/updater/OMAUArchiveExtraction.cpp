#include "updater/OMAUArchiveExtraction.h"

#include "updater/OMAUArchiveListing.h"
#include "updater/OMAUArchiveTool.h"
#include "updater/OMAUBundleReplacement.h"
#include "updater/OMAUFolderAccess.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

lf::Status requireWithin(const std::string& what, const OMAUUnpackedSize& size,
                         const OMAUUnpackingLimits& limits) {
    if (size.entries > limits.entries)
        return OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("{} holds {} entries, more than the {} an update may hold", what,
                        size.entries, limits.entries));
    if (size.diskUse() > limits.length)
        return OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("{} takes {} bytes on disk, more than the {} an update may unpack to", what,
                        size.diskUse(), limits.length));
    return {};
}

bool leavesFolder(std::string_view name) {
    if (name.starts_with('/')) return true;
    for (const auto& component : fs::path(name))
        if (component == "..") return true;
    return false;
}

lf::Status checkEntryNames(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (leavesFolder(name))
            return OMAUArchiveError(
                kOMAUArchiveHostileContents,
                fmt::format("the archive's entry \"{}\" leaves its folder", name));
    return {};
}

// Whether a link in `root` whose folder is `folder` and whose target is
// `target` leads to somewhere within `root`, its target taken one component
// at a time from the link's folder: it must be relative and never climb
// above `root`. The system takes a ".." after a link from where the link
// leads, not from the link's folder; so ".." may climb out of folders only,
// and a link it would climb out of is refused.
bool linkStaysWithin(const fs::path& root, const fs::path& folder, const fs::path& target) {
    if (target.is_absolute()) return false;
    std::vector<fs::path> at;
    for (const auto& component : folder.lexically_relative(root))
        if (component != ".") at.push_back(component);
    for (const auto& component : target) {
        if (component.empty() || component == ".") continue;
        if (component != "..") {
            at.push_back(component);
            continue;
        }
        if (at.empty()) return false;
        fs::path climbed = root;
        for (const auto& name : at)
            climbed /= name;
        const std::optional<struct stat> status = OMAUStatusOf(climbed);
        if (status && S_ISLNK(status->st_mode)) return false;
        at.pop_back();
    }
    return true;
}

uint64_t fileSize(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

std::vector<std::string> unpackingArguments(OMAUArchiveKind kind, const std::string& path,
                                            const fs::path& folder) {
    switch (kind) {
        // -n and -aos: an entry that comes twice never asks whether to
        // replace the first. An empty password: an entry that needs
        // another fails to unpack instead of asking for one.
        case OMAUArchiveKind::ZIP:
            return {"unzip", "-qq", "-n", "-P", "", path, "-d", folder.string()};
        case OMAUArchiveKind::DMG:
            return {"7z", "x", "-y", "-aos", "-bd", "-bso0", "-bsp0", "-p", "-o" + folder.string(),
                    "--", path};
        default: {
            // As root, tar would give files the owners the archive names;
            // the folder keeps its own owner and mode whatever the archive
            // says of ".".
            std::vector<std::string> arguments = {"tar", "-x", "-f", "-", "-C", folder.string()};
            arguments.insert(arguments.end(), {"--no-same-owner", "--no-overwrite-dir"});
            if (const char* option = OMAUTarCompressionOption(kind)) arguments.emplace_back(option);
            return arguments;
        }
    }
}

// How the tool ended, as a refusal naming the archive and the limits.
lf::Status requireUnpacked(const std::string& path, const std::string& tool,
                           const OMAUUnpackingOutcome& outcome, const OMAUUnpackingLimits& limits) {
    if (outcome.stoppedAtLimit)
        return OMAUArchiveError(
            kOMAUArchiveToolFailed,
            fmt::format("unpacking the archive {} was stopped as it passed {} entries or {} bytes",
                        path, limits.entries, limits.length));
    const int status = outcome.termination.status;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ)
        return OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("the archive {} holds a file longer than the {} bytes an update may "
                        "unpack to",
                        path, limits.length));
    return OMAURequireToolSuccess(tool, outcome.termination);
}

// Unpacks the archive into `folder`, held to `limits`, and checks what
// came out.
lf::Status unpackInto(OMAUArchiveKind kind, const std::string& path, const fs::path& folder,
                      const std::function<void(uint64_t)>& extractedLength,
                      const OMAUUnpackingLimits& limits) {
    OMAUUnpackingTool tool;
    tool.arguments = unpackingArguments(kind, path, folder);
    tool.folder = folder;
    tool.limits = limits;
    // tar is handed the archive a piece at a time, each piece counted as
    // extracted; the others read it themselves and count it whole at the end.
    lf::Result<lf::FileDescriptor> archive = lf::FileDescriptor::openForReading(path);
    if (!archive) return archive.error();
    const bool handedOver = kind != OMAUArchiveKind::ZIP && kind != OMAUArchiveKind::DMG;
    if (handedOver) {
        tool.input = &*archive;
        tool.fed = extractedLength;
    }
    lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
    if (!outcome) return outcome.error();
    LF_TRY(OMAUOpenFoldersToOwner(folder));
    // Counted again however the tool ended: the count, not how the tool
    // ended, tells when the archive is too large.
    lf::Result<OMAUUnpackedSize> unpacked = OMAUUnpackedSizeOf(folder.string());
    if (!unpacked) return unpacked.error();
    LF_TRY(requireWithin("the unpacked archive " + path, *unpacked, limits));
    LF_TRY(requireUnpacked(path, tool.arguments.front(), *outcome, limits));
    if (!handedOver && extractedLength) extractedLength(fileSize(path));
    return OMAUCheckExtractedContents(folder.string());
}

// Moves everything in `from` into `to`, replacing nothing there.
lf::Status moveEntries(const fs::path& from, const fs::path& to) {
    std::vector<fs::path> names;
    std::error_code error;
    for (fs::directory_iterator entry(from, error), end; !error && entry != end;
         entry.increment(error))
        names.push_back(entry->path().filename());
    if (error) return lf::Error::posix(error.value(), "examine " + from.string());
    std::vector<fs::path> moved;
    for (const fs::path& name : names) {
        int failure = 0;
        if (OMAUStatusOf(to / name))
            failure = EEXIST;
        else if (::rename((from / name).c_str(), (to / name).c_str()) != 0)
            failure = errno;
        if (failure != 0) {
            for (const fs::path& done : moved)
                OMAURemoveQuietly(done);
            return lf::Error::posix(failure,
                                    "move the unpacked " + name.string() + " to " + to.string());
        }
        moved.push_back(to / name);
    }
    return {};
}

}  // namespace

const char* OMAUTarCompressionOption(OMAUArchiveKind kind) {
    switch (kind) {
        case OMAUArchiveKind::TGZ:
            return "-z";
        case OMAUArchiveKind::TBZ:
            return "-j";
        default:
            return nullptr;
    }
}

lf::Error OMAUArchiveError(OMAUArchiveErrorCode code, std::string description) {
    return lf::Error(kOMAUArchiveErrorDomain, code,
                     {{lf::kLocalizedDescriptionKey, std::move(description)}});
}

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
                              const OMAUUnpackingLimits& limits) {
    const std::optional<OMAUArchiveKind> kind = OMAUArchiveKindOfPath(path);
    if (!kind)
        return OMAUArchiveError(kOMAUArchiveUnknownKind,
                                fmt::format("{} is not a tar, tgz, tbz, zip or dmg archive", path));
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return OMAUArchiveError(kOMAUArchiveUnreadable,
                                fmt::format("{} is not a readable file", path));
    lf::Result<std::vector<std::string>> names = OMAUListedEntryNames(*kind, path);
    if (!names) return names.error();
    LF_TRY(checkEntryNames(*names));
    lf::Result<uint64_t> listed = OMAUListedLength(*kind, path);
    if (!listed) return listed.error();
    LF_TRY(requireWithin("the archive " + path, {*listed, names->size()}, limits));

    // A folder of its own holds what the tool writes until all is checked,
    // so that what fails leaves nothing behind and the archive is never
    // touched.
    lf::Result<fs::path> unpacking = OMAUReserveFolderBeside(path, "unpacking");
    if (!unpacking) return unpacking.error();
    lf::Status unpacked = unpackInto(*kind, path, *unpacking, extractedLength, limits);
    if (unpacked) unpacked = moveEntries(*unpacking, fs::path(path).parent_path());
    OMAURemoveQuietly(*unpacking);
    return unpacked;
}

lf::Status OMAUCheckExtractedContents(const std::string& folder) {
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    auto hostile = [&](const fs::path& entry, const char* what) {
        return OMAUArchiveError(kOMAUArchiveHostileContents,
                                fmt::format("the archive's entry {} is {}",
                                            entry.lexically_relative(root).string(), what));
    };
    fs::recursive_directory_iterator walk(root, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::path& entry = walk->path();
        const std::optional<struct stat> status = OMAUStatusOf(entry);
        if (!status) return lf::Error::posix(errno, "examine " + entry.string());
        if (S_ISLNK(status->st_mode)) {
            const fs::path target = fs::read_symlink(entry, error);
            if (error) break;
            if (!linkStaysWithin(root, entry.parent_path(), target))
                return hostile(entry, "a link that leads out of its folder");
        } else if (S_ISREG(status->st_mode) || S_ISDIR(status->st_mode)) {
            if (status->st_mode & (S_ISUID | S_ISGID)) return hostile(entry, "set-id");
        } else {
            return hostile(entry, "a special file");
        }
    }
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    return {};
}

lf::Result<OMAUUnpackedSize> OMAUUnpackedSizeOf(const std::string& folder) {
    OMAUUnpackedSize size;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const std::optional<struct stat> status = OMAUStatusOf(walk->path());
        if (!status) return lf::Error::posix(errno, "examine " + walk->path().string());
        ++size.entries;
        if (S_ISREG(status->st_mode))
            size.length +=
                std::min(static_cast<uint64_t>(status->st_size), UINT64_MAX - size.length);
    }
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    return size;
}
