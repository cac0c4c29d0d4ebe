#include "updater/unpacking/OMAUArchiveExtraction.h"

#include "updater/shared/OMAUStringExtras.h"
#include "updater/unpacking/OMAUArchiveListing.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUToolErrors.h"
#include "updater/unpacking/OMAUUnpackingFolder.h"
#include "updater/unpacking/OMAUZipEntryNames.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUHeldFolder.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <variant>
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
    if (size.depth > limits.depth)
        return OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("{} holds a path {} folders deep, more than the {} an update may hold",
                        what, size.depth, limits.depth));
    if (size.diskUse() > limits.length)
        return OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("{} takes {} bytes on disk, more than the {} an update may unpack to", what,
                        size.diskUse(), limits.length));
    return {};
}

uint64_t fileSize(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

lf::Status cancelled(const OMAUUnpackingRequest& request) {
    return lf::Error::posix(ECANCELED, "unpack " + request.path);
}

// Whether the unpacking goes on after `step`, the hook told first.
lf::Status goOnAfter(OMAUUnpackingStep step, const OMAUUnpackingRequest& request) {
    if (request.afterStep) request.afterStep(step, request.stop);
    return request.stop.stop_requested() ? cancelled(request) : lf::Status();
}

// The tool that unpacks the archive open as `archive` into `folder`. tar
// is handed the archive a piece at a time, each piece counted as
// extracted; the others read it themselves.
OMAUUnpackingTool toolFor(OMAUArchiveKind kind, const OMAUUnpackingRequest& request,
                          const OMAUUnpackingFolder& folder, const lf::FileDescriptor& archive) {
    OMAUUnpackingTool tool;
    tool.arguments = OMAUUnpackingArguments(kind, request.path, folder.path().string());
    tool.folder = folder.path();
    tool.folderName = fs::path(request.path).filename().string();
    tool.limits = request.limits;
    tool.stop = request.stop;
    if (kind != OMAUArchiveKind::ZIP && kind != OMAUArchiveKind::DMG) {
        tool.input = &archive;
        tool.fed = request.extractedLength;
    }
    return tool;
}

// The refusal of an entry that `tool` wrote under another name than
// `name`, the archive's; `how`, where known, says how.
lf::Error notUnderItsName(const std::string& tool, const std::string& name,
                          std::string_view how = {}) {
    return OMAUArchiveError(
        kOMAUArchiveToolFailed,
        fmt::format("{} did not unpack the archive's entry \"{}\" under the name the archive "
                    "gives it{}",
                    tool, name, how));
}

// unzip and 7z, told never to replace what an earlier entry made (-n,
// -aos), pass entries over without failing: a file whose name a folder
// took, with status 0; and unzip one it cannot decrypt, with status 1 and,
// under -qq, no word (OMAUToolOnlyWarned). So every entry the listing
// names must be there as what it was listed as, a file a file and a folder
// a folder.
lf::Status requireEveryEntry(OMAUArchiveKind kind, const OMAUUnpackingRequest& request,
                             const OMAUUnpackingFolder& folder, const std::string& tool,
                             const OMAUUnpackingOutcome& outcome) {
    std::optional<std::string> passedOver;
    LF_TRY(OMAUForEachListedName(
        kind, request.path,
        [&](std::string_view name) {
            if (!OMAUHoldsEntry(folder.descriptor(), name)) passedOver = std::string(name);
            return !passedOver;
        },
        request.stop));
    if (!passedOver) return {};
    // unzip takes the backslashes in a name from MS-DOS for folder
    // separators, and ends as it does for an entry it passed over.
    std::string withSlashes = *passedOver;
    std::replace(withSlashes.begin(), withSlashes.end(), '\\', '/');
    if (kind == OMAUArchiveKind::ZIP && withSlashes != *passedOver &&
        OMAUHoldsEntry(folder.descriptor(), withSlashes))
        return notUnderItsName(tool, *passedOver, ", taking its backslashes for folder separators");
    if (!outcome.termination.succeeded())
        return OMAUArchiveError(
            kOMAUArchiveToolFailed,
            OMAUToolFailureReason(tool, outcome.termination, outcome.errorLine));
    const bool isFolder = passedOver->ends_with('/');
    return OMAUArchiveError(
        kOMAUArchiveToolFailed,
        fmt::format("{} did not unpack the archive's entry \"{}\" as the {} it is listed as", tool,
                    isFolder ? passedOver->substr(0, passedOver->size() - 1) : *passedOver,
                    isFolder ? "folder" : "file"));
}

// unzip may write an entry under another name than the archive gives it
// (OMAUZipEntryNames.h), and list it so; a name flagged UTF-8 is the one
// name the entry has, and that is where it must be, as what it is.
lf::Status requireNamesAsGiven(const OMAUUnpackingRequest& request,
                               const OMAUUnpackingFolder& folder, const std::string& tool) {
    std::optional<std::string> misnamed;
    LF_TRY(OMAUForEachZipEntryName(
        request.path,
        [&](const OMAUZipEntryName& entry) {
            if (entry.flaggedUTF8 && !OMAUHoldsEntry(folder.descriptor(), entry.name))
                misnamed = entry.name;
            return !misnamed;
        },
        request.stop));
    if (!misnamed) return {};
    return notUnderItsName(tool, *misnamed);
}

// Unpacks the archive into `folder`, held to its limits, and checks what
// came out, step by step.
lf::Status unpackInto(OMAUArchiveKind kind, const OMAUUnpackingRequest& request,
                      const OMAUUnpackingFolder& folder) {
    lf::Result<lf::FileDescriptor> archive = lf::FileDescriptor::openForReading(request.path);
    if (!archive) return archive.error();
    const OMAUUnpackingTool tool = toolFor(kind, request, folder, *archive);
    lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
    if (!outcome) return outcome.error();
    LF_TRY(goOnAfter(OMAUUnpackingStep::ToolEnded, request));
    LF_TRY(OMAUOpenFoldersToOwner(folder.descriptor(), request.stop));
    LF_TRY(goOnAfter(OMAUUnpackingStep::FoldersOpened, request));
    // Counted again however the tool ended: the count, not how the tool
    // ended, tells when the archive is too large.
    lf::Result<OMAUUnpackedSize> unpacked = OMAUUnpackedSizeOf(folder.descriptor(), request.stop);
    if (!unpacked) return unpacked.error();
    LF_TRY(goOnAfter(OMAUUnpackingStep::Counted, request));
    LF_TRY(OMAURequireUnpacked(request.path, tool.arguments.front(), *outcome, *unpacked,
                               request.limits));
    if (kind == OMAUArchiveKind::ZIP || kind == OMAUArchiveKind::DMG)
        LF_TRY(requireEveryEntry(kind, request, folder, tool.arguments.front(), *outcome));
    if (kind == OMAUArchiveKind::ZIP)
        LF_TRY(requireNamesAsGiven(request, folder, tool.arguments.front()));
    if (!tool.input && request.extractedLength) request.extractedLength(fileSize(request.path));
    LF_TRY(
        OMAUCheckExtractedContents(folder.descriptor(), request.applicationFolder, request.stop));
    return goOnAfter(OMAUUnpackingStep::Checked, request);
}

// Moves everything in `from` into `to`, replacing nothing there; what was
// moved goes again should a move fail.
lf::Result<OMAUUnpackedEntries> moveEntries(const fs::path& from, const fs::path& to) {
    std::vector<fs::path> names;
    std::error_code error;
    for (fs::directory_iterator entry(from, error), end; !error && entry != end;
         entry.increment(error))
        names.push_back(entry->path().filename());
    if (error) return lf::Error::posix(error.value(), "examine the unpacked archive");
    OMAUUnpackedEntries moved;
    for (const fs::path& name : names) {
        int failure = 0;
        if (OMAUStatusOf(to / name))
            failure = EEXIST;
        else if (::rename((from / name).c_str(), (to / name).c_str()) != 0)
            failure = errno;
        if (failure != 0)
            return lf::Error::posix(failure,
                                    "move the unpacked " + name.string() + " to " + to.string());
        moved.add(to / name);
    }
    return moved;
}

lf::Result<OMAUUnpackedEntries> unpack(const OMAUUnpackingRequest& request) {
    const std::string& path = request.path;
    const std::optional<OMAUArchiveKind> kind = OMAUArchiveKindOfPath(path);
    if (!kind)
        return OMAUArchiveError(kOMAUArchiveUnknownKind,
                                fmt::format("{} is not a tar, tgz, tbz, zip or dmg archive", path));
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return OMAUArchiveError(kOMAUArchiveUnreadable,
                                fmt::format("{} is not a readable file", path));
    // Held while the unpacking is under way, so that no launch takes it
    // for abandoned; one this user may not read, no launch can take.
    const fs::path into = fs::path(path).has_parent_path() ? fs::path(path).parent_path() : ".";
    lf::Result<OMAUHeldFolder> held = OMAUHeldFolder::hold(into);
    if (!held && !held.error().is(lf::kPOSIXErrorDomain, EACCES)) return held.error();
    lf::Result<OMAUUnpackedSize> listed = OMAUListedSize(*kind, path, request.limits, request.stop);
    if (!listed) return listed.error();
    LF_TRY(requireWithin("the archive " + path, *listed, request.limits));

    // A folder of its own holds what the tool writes until all is checked,
    // so that what fails leaves nothing behind and the archive is never
    // touched.
    lf::Result<OMAUUnpackingFolder> unpacking = OMAUUnpackingFolder::reserveBeside(path);
    if (!unpacking) return unpacking.error();
    LF_TRY(unpackInto(*kind, request, *unpacking));
    lf::Result<OMAUUnpackedEntries> moved =
        moveEntries(unpacking->path(), fs::path(path).parent_path());
    if (!moved) return moved.error();
    // Stopped now, what was moved goes as `moved` does.
    LF_TRY(goOnAfter(OMAUUnpackingStep::Moved, request));
    return moved;
}

// `error` with its texts safe to show (OMAUEscapedForDisplay): the names of
// entries and the tools' messages come from the archive.
lf::Error escaped(lf::Error error) {
    for (auto& [key, value] : error.userInfo) {
        if (auto* text = std::get_if<std::string>(&value)) *text = OMAUEscapedForDisplay(*text);
        if (auto* texts = std::get_if<std::vector<std::string>>(&value))
            for (std::string& text : *texts)
                text = OMAUEscapedForDisplay(text);
        if (auto* underlying = std::get_if<std::shared_ptr<const lf::Error>>(&value))
            if (*underlying) *underlying = std::make_shared<const lf::Error>(escaped(**underlying));
    }
    return error;
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

std::vector<std::string> OMAUUnpackingArguments(OMAUArchiveKind kind, const std::string& path,
                                                const std::string& folder) {
    switch (kind) {
        // -n and -aos: an entry that comes twice never asks whether to
        // replace the first. An empty password: an entry that needs
        // another fails to unpack instead of asking for one.
        case OMAUArchiveKind::ZIP:
            return {"unzip", "-qq", "-n", "-P", "", path, "-d", folder};
        case OMAUArchiveKind::DMG:
            return {"7z",    "x",  "-y",          "-aos", "-bd", "-bso0",
                    "-bsp0", "-p", "-o" + folder, "--",   path};
        default: {
            // As root, tar would give files the owners the archive names;
            // the folder keeps its own owner and mode whatever the archive
            // says of ".".
            std::vector<std::string> arguments = {
                "tar", "-x", "-f", "-", "-C", folder, kOMAUTarQuietOption};
            arguments.insert(arguments.end(), {"--no-same-owner", "--no-overwrite-dir"});
            if (const char* option = OMAUTarCompressionOption(kind)) arguments.emplace_back(option);
            return arguments;
        }
    }
}

lf::Status OMAURequireUnpacked(const std::string& path, const std::string& tool,
                               const OMAUUnpackingOutcome& outcome,
                               const OMAUUnpackedSize& unpacked,
                               const OMAUUnpackingLimits& limits) {
    // The cut file weighs past the limit too; what stopped it says more.
    if (outcome.termination.killedBy(SIGXFSZ))
        return OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("the archive {} holds a file longer than the {} bytes an update may "
                        "unpack to",
                        path, limits.length));
    LF_TRY(requireWithin("the unpacked archive " + path, unpacked, limits));
    if (outcome.stoppedAtLimit)
        return OMAUArchiveError(
            kOMAUArchiveToolFailed,
            fmt::format("unpacking the archive {} was stopped as it passed {} entries, {} bytes "
                        "or {} folders deep",
                        path, limits.entries, limits.length, limits.depth));
    return OMAURequireToolSuccess(tool, outcome.termination, outcome.errorLine);
}

OMAUUnpackedEntries::OMAUUnpackedEntries(OMAUUnpackedEntries&& other) noexcept
    : paths_(std::exchange(other.paths_, {})) {}

OMAUUnpackedEntries::~OMAUUnpackedEntries() {
    for (const fs::path& path : paths_)
        OMAURemoveQuietly(path);
}

lf::Result<OMAUUnpackedEntries> OMAUUnpackArchive(const OMAUUnpackingRequest& request) {
    // Whatever it holds, an archive may not end the application: what it
    // unpacked goes as the failure unwinds.
    try {
        lf::Result<OMAUUnpackedEntries> unpacked = unpack(request);
        if (unpacked) return unpacked;
        return escaped(unpacked.error());
    } catch (const std::bad_alloc&) {
        return escaped(OMAUArchiveError(
            kOMAUArchiveTooLarge,
            fmt::format("the archive {} needs more memory to unpack than there is", request.path)));
    }
}

lf::Status OMAUExtractArchive(const std::string& path,
                              const std::function<void(uint64_t)>& extractedLength,
                              const OMAUUnpackingLimits& limits,
                              const std::string& applicationFolder, std::stop_token stop) {
    OMAUUnpackingRequest request;
    request.path = path;
    request.extractedLength = extractedLength;
    request.limits = limits;
    request.applicationFolder = applicationFolder;
    request.stop = std::move(stop);
    lf::Result<OMAUUnpackedEntries> unpacked = OMAUUnpackArchive(request);
    if (!unpacked) return unpacked.error();
    unpacked->keep();
    return {};
}
