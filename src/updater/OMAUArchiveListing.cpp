#include "updater/OMAUArchiveListing.h"

#include "updater/OMAUArchiveTool.h"
#include "updater/OMAUStringExtras.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

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

std::vector<std::string> tarListing(OMAUArchiveKind kind, const std::string& path,
                                    std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"-f", path});
    if (const char* option = OMAUTarCompressionOption(kind)) arguments.emplace_back(option);
    return arguments;
}

std::vector<std::string> sevenZipListing(const std::string& path) {
    // An empty password: headers that need another fail to list instead
    // of asking for one.
    return {"7z", "l", "-ba", "-slt", "-p", "--", path};
}

}  // namespace

lf::Result<std::vector<std::string>> OMAUListedEntryNames(OMAUArchiveKind kind,
                                                          const std::string& path) {
    std::vector<std::string> arguments;
    switch (kind) {
        case OMAUArchiveKind::ZIP:
            arguments = {"unzip", "-Z1", path};
            break;
        case OMAUArchiveKind::DMG:
            arguments = sevenZipListing(path);
            break;
        default:
            arguments = tarListing(kind, path, {"tar", "-t"});
    }
    lf::Result<std::string> listing = OMAUToolOutput(arguments);
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

lf::Result<uint64_t> OMAUListedLength(OMAUArchiveKind kind, const std::string& path) {
    switch (kind) {
        case OMAUArchiveKind::ZIP: {
            lf::Result<std::string> totals = OMAUToolOutput({"unzip", "-Zt", path});
            if (!totals) return totals.error();
            return OMAUZipTotalsLength(*totals);
        }
        case OMAUArchiveKind::DMG: {
            lf::Result<std::string> listing = OMAUToolOutput(sevenZipListing(path));
            if (!listing) return listing.error();
            return OMAU7zListingLength(*listing);
        }
        default: {
            lf::Result<std::string> listing =
                OMAUToolOutput(tarListing(kind, path, {"tar", "-tv", "--numeric-owner"}));
            if (!listing) return listing.error();
            return OMAUTarListingLength(*listing);
        }
    }
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
    uint64_t total = 0;
    for (const std::string& line : lines(listing)) {
        const std::vector<std::string_view> words = fields(line);
        if (words.size() < 3) continue;
        const bool device = words[0].starts_with('c') || words[0].starts_with('b');
        std::optional<uint64_t> length = OMAUParseDecimal(words[2]);
        if (!length && !device) return withoutLength(fmt::format("\"{}\"", line));
        total += std::min(length.value_or(0), UINT64_MAX - total);
    }
    return total;
}

lf::Result<uint64_t> OMAU7zListingLength(std::string_view listing) {
    struct Entry {
        std::string path = "an unnamed entry";
        std::string length;
        bool isFolder = false;
        bool listed = false;
    };
    uint64_t total = 0;
    Entry entry;
    std::vector<std::string> listingLines = lines(listing);
    listingLines.emplace_back();  // the last block ends too
    for (const std::string& line : listingLines) {
        if (!line.empty()) {
            entry.listed = true;
            if (line.starts_with("Path = ")) entry.path = fmt::format("\"{}\"", line.substr(7));
            if (line.starts_with("Folder = ")) entry.isFolder = line.substr(9) == "+";
            if (line.starts_with("Size = ")) entry.length = line.substr(7);
            continue;
        }
        const Entry ended = std::exchange(entry, Entry());
        if (!ended.listed || ended.isFolder) continue;
        // A compressed stream knows no length of its contents (bzip2), and
        // a file whose length is unknown could hold anything.
        std::optional<uint64_t> length = OMAUParseDecimal(ended.length);
        if (!length) return withoutLength(ended.path);
        total += std::min(*length, UINT64_MAX - total);
    }
    return total;
}
