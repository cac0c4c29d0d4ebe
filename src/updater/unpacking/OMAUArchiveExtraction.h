#pragma once
// Unpacking an update archive with the system's tools, chosen by the
// archive's extension exactly as written: "tar", "tgz" and "tbz" with tar
// (the archive fed through its standard input), "zip" with unzip, "dmg" (a
// disk image) with 7z. The contents land in the archive's own folder, which
// must be a private folder of the updater's.
//
// An archive's contents are not trusted, and a small archive can unpack to
// far more. Before unpacking, its listing, counted as the tool prints it,
// must hold no absolute name and no ".." component, give a length for
// every entry other than a folder, and stay within the limits
// (OMAUUnpackingLimits.h: 100,000 entries, 4 GiB on disk and folders 128
// deep unless told otherwise). A listing can lie, so the tool then unpacks
// into a folder of its own beside the archive under a bound
// (OMAUUnpackingTool.h): no file may grow past the limit, and the tool is
// stopped once its entries pass a limit, by kOMAUUnpackingSlack at most.
// Once the tool has ended, its folders are opened to their owner (the
// archive may have made them read-only), and its entries counted again;
// they must be only plain files, folders and links, with no set-id bit and
// no link that leads out of the folder, nor, inside the application's
// folder when one is named, out of it (OMAUCheckExtractedContents); only
// then do they join the archive. A tool that cannot start, that exits with
// a status other than 0 (or whose status cannot be read), that stops or
// does not end in time, or that is not given the whole archive fails the
// extraction (a truncated archive makes the tools fail); so does a zip or
// disk image of which an entry its listing names is not there as what it
// is listed as, a file a file and a folder a folder, and a zip of which
// an entry named in UTF-8 is not there under that name (unzip converts
// some names: OMAUZipEntryNames.h), and one that names an entry twice; so
// does an archive that needs a password, and one that needs more memory
// than there is. A refusal says why in words: the tool's first error line, the
// private folder named by the archive's name (OMAUToolErrors.h), or the
// updater's own reason. Whatever fails, nothing unpacked is left behind,
// and no message names the private folder; nor is anything left when the
// unpacking is cancelled, whatever step it is at. The archive's folder is
// held meanwhile (OMAUHeldFolder.h), so that no launch takes it for one an
// ended application left.
//
// Runs on the calling thread (the unarchiver's); the tools run as children
// of ours, started by argument vector, without a shell, and die with the
// calling thread.

#include "platform/core/Result.h"
#include "updater/unpacking/OMAUUnpackedContents.h"
#include "updater/unpacking/OMAUUnpackingLimits.h"
#include "updater/unpacking/OMAUUnpackingTool.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

enum class OMAUArchiveKind { TAR, TGZ, TBZ, ZIP, DMG };

inline constexpr const char* kOMAUArchiveErrorDomain = "OMAUArchiveErrorDomain";

enum OMAUArchiveErrorCode : int64_t {
    kOMAUArchiveUnknownKind = 1,
    kOMAUArchiveUnreadable = 2,
    kOMAUArchiveToolFailed = 3,
    kOMAUArchiveHostileContents = 4,
    kOMAUArchiveTooLarge = 5,
};

// How far past the limit the unpacked files may go while a tool writes
// them, before it is stopped.
inline constexpr uint64_t kOMAUUnpackingSlack = uint64_t{16} << 20;

lf::Error OMAUArchiveError(OMAUArchiveErrorCode code, std::string description);

// tar's option that keeps its warnings (an unknown keyword of another
// system's tar, a lone zero block) from its error output, which is read for
// the first error.
inline constexpr const char* kOMAUTarQuietOption = "--warning=none";

// tar's option for the kind's compression ("-z", "-j"); none for the others.
const char* OMAUTarCompressionOption(OMAUArchiveKind kind);

// The kind of "App 1.2.tgz" is TGZ; "App.tar.gz" (extension "gz") and
// "App.ZIP" have none.
std::optional<OMAUArchiveKind> OMAUArchiveKindOfPath(const std::string& path);

// The steps of an unpacking once its tool has ended, in order: its
// folders opened to their owner, its entries counted, its contents
// checked, and its entries moved beside the archive.
enum class OMAUUnpackingStep { ToolEnded, FoldersOpened, Counted, Checked, Moved };

// One archive to unpack.
struct OMAUUnpackingRequest {
    std::string path;
    // Told of each piece of the archive handed to the tool, together the
    // archive's size.
    std::function<void(uint64_t)> extractedLength;
    // What the archive may unpack to.
    OMAUUnpackingLimits limits;
    // The links inside the outermost folder of this name ("layerflow.app"),
    // when given, must stay within it: it is installed alone.
    std::string applicationFolder;
    // Once asked for, the unpacking ends at the step under way (the tool is
    // killed, a walk ends where it is) with ECANCELED, leaving nothing
    // behind: neither its private folder nor what it moved.
    std::stop_token stop;
    // Called after each step once the tool has ended, with `stop`, just
    // before the stop is looked at: tests have a quit come then.
    std::function<void(OMAUUnpackingStep, std::stop_token)> afterStep;
};

// What an unpacking moved beside its archive, removed as this goes unless
// it is kept: it is the unpacking's own until its caller takes it.
// Move-only; one thread at a time.
class OMAUUnpackedEntries {
public:
    OMAUUnpackedEntries() = default;
    OMAUUnpackedEntries(OMAUUnpackedEntries&& other) noexcept;
    OMAUUnpackedEntries& operator=(OMAUUnpackedEntries&&) = delete;
    ~OMAUUnpackedEntries();

    // Records `path`, moved in.
    void add(std::filesystem::path path) { paths_.push_back(std::move(path)); }
    const std::vector<std::filesystem::path>& paths() const { return paths_; }
    // The entries stay: they are the caller's now.
    void keep() { paths_.clear(); }

private:
    std::vector<std::filesystem::path> paths_;
};

// Unpacks `request.path` into its folder, as the header says; what it
// moved there, which stays once kept. The error's texts are safe to show:
// control characters and the like, which names in the archive and the
// tools' messages may carry, are written out (OMAUEscapedForDisplay).
lf::Result<OMAUUnpackedEntries> OMAUUnpackArchive(const OMAUUnpackingRequest& request);

// OMAUUnpackArchive for one who keeps whatever it unpacks.
lf::Status OMAUExtractArchive(const std::string& path,
                              const std::function<void(uint64_t)>& extractedLength,
                              const OMAUUnpackingLimits& limits = {},
                              const std::string& applicationFolder = {}, std::stop_token stop = {});

// The tool that unpacks an archive of `kind` at `path` into `folder`.
std::vector<std::string> OMAUUnpackingArguments(OMAUArchiveKind kind, const std::string& path,
                                                const std::string& folder);

// How an unpacking tool ended, and what it left (`unpacked`, counted
// again), as a refusal naming the archive and the limit: a file the kernel
// cut at the length limit first, then a count past a limit, then a stop at
// the limits and the tool's own status.
lf::Status OMAURequireUnpacked(const std::string& path, const std::string& tool,
                               const OMAUUnpackingOutcome& outcome,
                               const OMAUUnpackedSize& unpacked, const OMAUUnpackingLimits& limits);
