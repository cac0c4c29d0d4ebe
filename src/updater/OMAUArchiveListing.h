#pragma once
// What an archive's listing says, as its tool prints it: the names of its
// entries, and their lengths added up. The lengths are a first check only,
// since a listing can lie (OMAUArchiveExtraction.h); an entry that is no
// folder and gives no length is refused, as it could hold anything.
//
// The readers of the printed listings stand apart so that tests can hand
// them lines that no tool at hand prints.

#include "platform/Result.h"
#include "updater/OMAUArchiveExtraction.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

lf::Result<std::vector<std::string>> OMAUListedEntryNames(OMAUArchiveKind kind,
                                                          const std::string& path);
lf::Result<uint64_t> OMAUListedLength(OMAUArchiveKind kind, const std::string& path);

// "unzip -Zt": "2 files, 8388608 bytes uncompressed, 8144 bytes compressed:  99.9%".
lf::Result<uint64_t> OMAUZipTotalsLength(std::string_view totals);
// "tar -tv --numeric-owner", a line an entry:
// "-rw-r--r-- 1000/1000 8388608 2026-01-01 00:00 name"; a device gives
// "major,minor" in place of its length (it is refused once unpacked).
lf::Result<uint64_t> OMAUTarListingLength(std::string_view listing);
// "7z l -ba -slt": a block of "Name = value" lines an entry ("Path",
// "Folder" as "+" or "-", "Size"), the blocks apart by an empty line.
lf::Result<uint64_t> OMAU7zListingLength(std::string_view listing);
