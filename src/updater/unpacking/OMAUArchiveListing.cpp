#include "updater/unpacking/OMAUArchiveListing.h"

#include "updater/shared/OMAUStringExtras.h"
#include "updater/unpacking/OMAUArchiveTool.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

// Hands every line of `text` to `line`, the last one too when it has no end.
void forEachLine(std::string_view text, const std::function<bool(std::string_view)>& line) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (!line(text.substr(0, end)) || end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
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

lf::Error withoutLength(std::string_view entry) {
    return OMAUArchiveError(kOMAUArchiveUnreadable,
                            fmt::format("the archive's listing gives no length for {}", entry));
}

bool leavesFolder(std::string_view name) {
    return name.starts_with('/') || !OMAUForEachPathComponent(name, [](std::string_view component) {
               return component != "..";
           });
}

// The folders a listed name lies in, and it when it is one: "a/b/" and
// "a/./b/c" lie 2 deep.
uint64_t foldersOf(std::string_view name, bool isFolder) {
    uint64_t components = 0;
    OMAUForEachPathComponent(name, [&](std::string_view) {
        ++components;
        return true;
    });
    return isFolder || components == 0 ? components : components - 1;
}

// The length of the entry on a line of "tar -tv"; 0 for a device, and for a
// line that names no entry.
lf::Result<uint64_t> tarLineLength(std::string_view line) {
    const std::vector<std::string_view> words = fields(line);
    if (words.size() < 3) return uint64_t{0};
    const bool device = words[0].starts_with('c') || words[0].starts_with('b');
    const std::optional<uint64_t> length = OMAUParseDecimal(words[2]);
    if (!length && !device) return withoutLength(fmt::format("\"{}\"", line));
    return length.value_or(0);
}

// "7z l -slt" as it prints it, read as its lines come: a heading and the
// archive's own properties up to a line of dashes, then a block of
// "Name = value" lines an entry, the blocks apart by an empty line, and a
// summary. Each entry, as its block ends, goes to `add`; the first error
// 7z lists under "ERRORS:" (among the archive's properties, where it ends
// early) goes to `fail`. Either says whether to read on.
class SevenZipListing {
public:
    struct Entry {
        std::optional<std::string> path;
        std::string length;
        bool isFolder = false;
        bool listed = false;

        // A compressed stream knows no length of its contents (bzip2), and
        // a file whose length is unknown could hold anything.
        lf::Result<uint64_t> listedLength() const {
            if (isFolder) return uint64_t{0};
            if (std::optional<uint64_t> parsed = OMAUParseDecimal(length)) return *parsed;
            return withoutLength(path ? fmt::format("\"{}\"", *path) : "an unnamed entry");
        }
    };

    SevenZipListing(std::function<bool(const Entry&)> add,
                    std::function<bool(std::string_view error)> fail)
        : add_(std::move(add)), fail_(std::move(fail)) {}

    // Whether to read on.
    bool take(std::string_view line) {
        if (errorsFollow_ && !line.empty()) return fail_(line);
        if (line == "ERRORS:") {
            errorsFollow_ = true;
            return true;
        }
        if (!inEntries_) {
            inEntries_ = line == "----------";
            return true;
        }
        if (line.empty()) return end();
        // The summary ("Warnings: 1"), or a value's further line.
        if (line.find(" = ") == std::string_view::npos) return true;
        entry_.listed = true;
        if (line.starts_with("Path = ")) entry_.path = std::string(line.substr(7));
        if (line.starts_with("Folder = ")) entry_.isFolder = line.substr(9) == "+";
        // A 7z archive marks its folders only among the attributes: "D" in
        // the Windows ones that come first ("D drwxr-xr-x", "RD ...").
        if (line.starts_with("Attributes = "))
            entry_.isFolder =
                entry_.isFolder ||
                line.substr(13, line.find(' ', 13) - 13).find('D') != std::string_view::npos;
        if (line.starts_with("Size = ")) entry_.length = line.substr(7);
        return true;
    }
    // Ends a last block that no empty line ended.
    bool end() {
        const Entry ended = std::exchange(entry_, Entry());
        return !ended.listed || add_(ended);
    }

private:
    std::function<bool(const Entry&)> add_;
    std::function<bool(std::string_view)> fail_;
    Entry entry_;
    bool inEntries_ = false;
    bool errorsFollow_ = false;
};

// A listing's count, an entry at a time, with the first failure.
class ListedCount {
public:
    explicit ListedCount(const OMAUUnpackingLimits& limits) : limits_(limits) {}

    // Whether the listing is still to be read: no failure, and within the
    // limits.
    bool readOn() const { return !failure_ && size_.within(limits_); }

    bool addEntry(std::string_view name, bool isFolder) {
        if (leavesFolder(name))
            failure_ =
                OMAUArchiveError(kOMAUArchiveHostileContents,
                                 fmt::format("the archive's entry \"{}\" leaves its folder", name));
        ++size_.entries;
        size_.depth = std::max(size_.depth, foldersOf(name, isFolder));
        return readOn();
    }
    bool addLength(const lf::Result<uint64_t>& length) {
        if (!length)
            failure_ = length.error();
        else
            size_.length += std::min(*length, UINT64_MAX - size_.length);
        return readOn();
    }
    bool fail(lf::Error error) {
        failure_ = std::move(error);
        return false;
    }

    lf::Result<OMAUUnpackedSize> result() const {
        if (failure_) return *failure_;
        return size_;
    }

private:
    OMAUUnpackingLimits limits_;
    OMAUUnpackedSize size_;
    std::optional<lf::Error> failure_;
};

// A 7z listing counted into `count`.
SevenZipListing sevenZipCounting(ListedCount& count) {
    return SevenZipListing(
        [&count](const SevenZipListing::Entry& entry) {
            return count.addEntry(entry.path.value_or(""), entry.isFolder) &&
                   count.addLength(entry.listedLength());
        },
        [&count](std::string_view error) {
            return count.fail(
                OMAUArchiveError(kOMAUArchiveToolFailed, fmt::format("7z: {}", error)));
        });
}

constexpr OMAUUnpackingLimits kUnlimited = {
    .length = UINT64_MAX, .entries = UINT64_MAX, .depth = UINT64_MAX};

lf::Result<uint64_t> lengthOf(const lf::Result<OMAUUnpackedSize>& size) {
    if (!size) return size.error();
    return size->length;
}

std::vector<std::string> tarListing(OMAUArchiveKind kind, const std::string& path,
                                    std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"-f", path});
    if (const char* option = OMAUTarCompressionOption(kind)) arguments.emplace_back(option);
    return arguments;
}

}  // namespace

std::vector<std::vector<std::string>> OMAUListingArguments(OMAUArchiveKind kind,
                                                           const std::string& path) {
    switch (kind) {
        case OMAUArchiveKind::ZIP:
            return {{"unzip", "-Z1", path}, {"unzip", "-Zt", path}};
        case OMAUArchiveKind::DMG:
            // An empty password: headers that need another fail to list
            // instead of asking for one. Not bare (-ba): 7z lists an
            // archive's errors with its properties, which -ba leaves out.
            return {{"7z", "l", "-slt", "-p", "--", path}};
        default:
            return {tarListing(kind, path, {"tar", "-t", kOMAUTarQuietOption}),
                    tarListing(kind, path, {"tar", "-tv", "--numeric-owner", kOMAUTarQuietOption})};
    }
}

lf::Result<OMAUUnpackedSize> OMAUListedSize(OMAUArchiveKind kind, const std::string& path,
                                            const OMAUUnpackingLimits& limits,
                                            std::stop_token stop) {
    const std::vector<std::vector<std::string>> listings = OMAUListingArguments(kind, path);
    const auto readLines = [&](const std::vector<std::string>& arguments, const auto& take) {
        return OMAUReadToolLines(arguments, take, kOMAUToolTimeLimit, stop);
    };
    ListedCount count(limits);
    if (kind == OMAUArchiveKind::DMG) {
        SevenZipListing listing = sevenZipCounting(count);
        LF_TRY(readLines(listings[0], [&](std::string_view line) { return listing.take(line); }));
        if (count.readOn()) listing.end();
        return count.result();
    }
    // Names first, a line an entry; a folder's ends with "/".
    LF_TRY(readLines(listings[0], [&](std::string_view name) {
        return count.addEntry(name, name.ends_with('/'));
    }));
    if (!count.readOn()) return count.result();
    if (kind == OMAUArchiveKind::ZIP) {
        lf::Result<std::string> totals = OMAUToolOutput(listings[1], kOMAUToolTimeLimit, stop);
        if (!totals) return totals.error();
        count.addLength(OMAUZipTotalsLength(*totals));
        return count.result();
    }
    LF_TRY(readLines(listings[1],
                     [&](std::string_view line) { return count.addLength(tarLineLength(line)); }));
    return count.result();
}

lf::Status OMAUForEachListedName(OMAUArchiveKind kind, const std::string& path,
                                 const std::function<bool(std::string_view)>& name,
                                 std::stop_token stop) {
    const std::vector<std::string> listing = OMAUListingArguments(kind, path).front();
    if (kind != OMAUArchiveKind::DMG)
        return OMAUReadToolLines(listing, name, kOMAUToolTimeLimit, std::move(stop));
    bool readOn = true;
    std::optional<lf::Error> failure;
    SevenZipListing entries(
        [&](const SevenZipListing::Entry& entry) {
            return readOn = name(entry.path.value_or("") + (entry.isFolder ? "/" : ""));
        },
        [&](std::string_view error) {
            failure = OMAUArchiveError(kOMAUArchiveToolFailed, fmt::format("7z: {}", error));
            return readOn = false;
        });
    LF_TRY(OMAUReadToolLines(
        listing, [&](std::string_view line) { return entries.take(line); }, kOMAUToolTimeLimit,
        std::move(stop)));
    if (readOn) entries.end();
    if (failure) return *failure;
    return {};
}

lf::Result<uint64_t> OMAUZipTotalsLength(std::string_view totals) {
    const size_t end = totals.find(" bytes uncompressed");
    if (end != std::string_view::npos && end != 0) {
        const size_t start = totals.find_last_of(' ', end - 1) + 1;
        if (std::optional<uint64_t> length = OMAUParseDecimal(totals.substr(start, end - start)))
            return *length;
    }
    return withoutLength("its entries");
}

lf::Result<uint64_t> OMAUTarListingLength(std::string_view listing) {
    ListedCount count(kUnlimited);
    forEachLine(listing,
                [&](std::string_view line) { return count.addLength(tarLineLength(line)); });
    return lengthOf(count.result());
}

lf::Result<uint64_t> OMAU7zListingLength(std::string_view listing) {
    ListedCount count(kUnlimited);
    SevenZipListing lines = sevenZipCounting(count);
    forEachLine(listing, [&](std::string_view line) { return lines.take(line); });
    if (count.readOn()) lines.end();
    return lengthOf(count.result());
}
