#include "updater/OMAUArchiveExtraction.h"

#include "updater/OMAUArchiveListing.h"
#include "updater/OMAUArchiveTool.h"
#include "updater/OMAUBundleReplacement.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

lf::Error tooLarge(const std::string& what, uint64_t length, uint64_t maximum) {
    return OMAUArchiveError(
        kOMAUArchiveTooLarge,
        fmt::format("{} holds {} bytes, more than the {} an update may unpack to", what, length,
                    maximum));
}

bool leavesFolder(std::string_view name) {
    if (name.starts_with('/')) return true;
    for (const auto& component : fs::path(name))
        if (component == "..") return true;
    return false;
}

lf::Status checkEntryNames(OMAUArchiveKind kind, const std::string& path) {
    lf::Result<std::vector<std::string>> names = OMAUListedEntryNames(kind, path);
    if (!names) return names.error();
    for (const std::string& name : *names)
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
        case OMAUArchiveKind::ZIP:
            // -n and -aos: an entry that comes twice never asks whether to
            // replace the first.
            return {"unzip", "-qq", "-n", path, "-d", folder.string()};
        case OMAUArchiveKind::DMG:
            return {"7z", "x", "-y", "-aos", "-bd", "-bso0", "-bsp0", "-o" + folder.string(),
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

// Unpacks the archive into `folder`, held to `maximum` bytes, and checks
// what came out.
lf::Status unpackInto(OMAUArchiveKind kind, const std::string& path, const fs::path& folder,
                      const std::function<void(uint64_t)>& extractedLength, uint64_t maximum) {
    OMAUUnpackingTool tool;
    tool.arguments = unpackingArguments(kind, path, folder);
    tool.folder = folder;
    tool.maximumLength = maximum;
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
    // Counted again however the tool ended: the count, not how the tool
    // ended, tells when the archive is too large.
    LF_TRY(OMAUCheckUnpackedLength(folder.string(), maximum));
    if (outcome->stoppedAtLength)
        return OMAUArchiveError(kOMAUArchiveToolFailed,
                                fmt::format("{} was stopped as its files passed {} bytes",
                                            tool.arguments.front(), maximum));
    LF_TRY(OMAURequireToolSuccess(tool.arguments.front(), outcome->termination));
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
                              uint64_t maximumUnpackedLength) {
    const std::optional<OMAUArchiveKind> kind = OMAUArchiveKindOfPath(path);
    if (!kind)
        return OMAUArchiveError(kOMAUArchiveUnknownKind,
                                fmt::format("{} is not a tar, tgz, tbz, zip or dmg archive", path));
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return OMAUArchiveError(kOMAUArchiveUnreadable,
                                fmt::format("{} is not a readable file", path));
    LF_TRY(checkEntryNames(*kind, path));
    lf::Result<uint64_t> listed = OMAUListedLength(*kind, path);
    if (!listed) return listed.error();
    if (*listed > maximumUnpackedLength)
        return tooLarge("the archive " + path, *listed, maximumUnpackedLength);

    // A folder of its own holds what the tool writes until all is checked,
    // so that what fails leaves nothing behind and the archive is never
    // touched.
    lf::Result<fs::path> unpacking = OMAUReserveFolderBeside(path, "unpacking");
    if (!unpacking) return unpacking.error();
    lf::Status unpacked =
        unpackInto(*kind, path, *unpacking, extractedLength, maximumUnpackedLength);
    if (unpacked) unpacked = moveEntries(*unpacking, fs::path(path).parent_path());
    OMAURemoveQuietly(*unpacking);
    return unpacked;
}

lf::Status OMAUCheckExtractedContents(const std::string& folder) {
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    auto hostile = [](const fs::path& entry, const char* what) {
        return OMAUArchiveError(kOMAUArchiveHostileContents,
                                fmt::format("the archive's {} is {}", entry.string(), what));
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

lf::Status OMAUCheckUnpackedLength(const std::string& folder, uint64_t maximum) {
    uint64_t total = 0;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const std::optional<struct stat> status = OMAUStatusOf(walk->path());
        if (!status) return lf::Error::posix(errno, "examine " + walk->path().string());
        if (S_ISREG(status->st_mode))
            total += std::min(static_cast<uint64_t>(status->st_size), UINT64_MAX - total);
    }
    if (error) return lf::Error::posix(error.value(), "examine " + folder);
    if (total > maximum) return tooLarge("the unpacked folder " + folder, total, maximum);
    return {};
}
