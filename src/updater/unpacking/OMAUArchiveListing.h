#pragma once
// What an archive's listing says, as its tool prints it: its entries, their
// lengths added up and its deepest folder. The listing is read and counted
// an entry at a time as the tool prints it, and the tool stopped at the
// first entry past a limit, so a listing of any length takes the memory of
// a line. The lengths are a first check only, since a listing can lie
// (OMAUArchiveExtraction.h); an entry that is no folder and gives no
// length is refused, as it could hold anything, and so is an entry that
// leaves the archive's folder (an absolute name, or a ".." component).
//
// The readers of the printed listings stand apart so that tests can hand
// them lines that no tool at hand prints.

#include "platform/core/Result.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// The archive's entries, lengths and depth as listed; once they pass
// `limits`, as far as the entry that passed them. Once `stop` is asked
// for, the tool under way is killed and the listing fails with ECANCELED.
lf::Result<OMAUUnpackedSize> OMAUListedSize(OMAUArchiveKind kind, const std::string& path,
                                            const OMAUUnpackingLimits& limits,
                                            std::stop_token stop = {});

// Hands the name of each entry the archive's listing holds to `name`, as a
// listing of names gives it (a folder's ending with "/"), until it answers
// false. Once `stop` is asked for, the tool under way is killed and the
// reading fails with ECANCELED.
lf::Status OMAUForEachListedName(OMAUArchiveKind kind, const std::string& path,
                                 const std::function<bool(std::string_view)>& name,
                                 std::stop_token stop = {});

// The listing tools that OMAUListedSize runs on the archive, in order.
std::vector<std::vector<std::string>> OMAUListingArguments(OMAUArchiveKind kind,
                                                           const std::string& path);

// "unzip -Zt": "2 files, 8388608 bytes uncompressed, 8144 bytes compressed:  99.9%".
lf::Result<uint64_t> OMAUZipTotalsLength(std::string_view totals);
// "tar -tv --numeric-owner", a line an entry:
// "-rw-r--r-- 1000/1000 8388608 2026-01-01 00:00 name"; a device gives
// "major,minor" in place of its length (it is refused once unpacked).
lf::Result<uint64_t> OMAUTarListingLength(std::string_view listing);
// "7z l -slt": a heading and the archive's properties up to a line of
// dashes ("----------"), then a block of "Name = value" lines an entry
// ("Path", "Folder" as "+" or "-", or "Attributes" with a "D", "Size"), the
// blocks apart by an empty line. An error listed under "ERRORS:" refuses the archive.
lf::Result<uint64_t> OMAU7zListingLength(std::string_view listing);
