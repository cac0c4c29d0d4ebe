#pragma once
// The names a zip archive gives its entries, read from its central
// directory as they are written there, byte for byte. unzip does not
// always write an entry under its name: it takes a name from an archive
// made on MS-DOS (or a system like it) for one in that system's code page
// and converts it, even where the entry is flagged as named in UTF-8, and
// lists it converted too. So the names it wrote are checked against these
// (OMAUArchiveExtraction.h).
//
// The central directory is found as unzip finds it: from the end record
// (its Zip64 form where the numbers need it), the directory ending where
// that record begins, so that bytes before the first entry (a
// self-extracting archive's) move nothing. And it is read as unzip reads
// it, entry after entry as long as their signatures go on, whatever number
// the end record states: that number must then agree, modulo 65,536 where
// it has no Zip64 form (written so, a zip of more entries states fewer).
// A name that comes twice could be written under two names (unzip
// converts one and not the other), or one copy kept: it is refused.
//
// Runs on the calling thread; reads a piece of the directory at a time,
// and keeps a digest of each name.

#include "platform/core/Result.h"

#include <functional>
#include <stop_token>
#include <string>

struct OMAUZipEntryName {
    // As the archive gives it: a folder's ends with "/".
    std::string name;
    // General purpose bit 11: the name is UTF-8, whatever system made the
    // entry.
    bool flaggedUTF8 = false;
};

// Hands the name of each entry in the central directory of the zip
// archive at `path` to `entry`, in order, until it answers false. An error
// of kOMAUArchiveUnreadable where the directory is not what the end
// record says, of kOMAUArchiveHostileContents where it names an entry
// twice (the second time, before handing it); ECANCELED once `stop` is
// asked for.
lf::Status OMAUForEachZipEntryName(const std::string& path,
                                   const std::function<bool(const OMAUZipEntryName&)>& entry,
                                   std::stop_token stop = {});
