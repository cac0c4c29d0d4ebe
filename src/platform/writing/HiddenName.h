#pragma once
// Hidden names made from another name, for the files and folders that
// stand beside a file while it is written or unpacked (".NAME.tmp-…",
// ".NAME.unpacking-…"). A folder refuses names longer than its file
// system allows (255 bytes on most), and NAME may already be that long, so
// NAME is shortened where the whole would not fit: its first bytes, cut
// between characters, then "~" and a hash of the whole name, so that two
// long names that begin alike still make different hidden names. The same
// NAME always makes the same prefix, so that the leftovers of a name can
// be found again.

#include <cstddef>
#include <string>
#include <string_view>

namespace lf {

// The longest name, in bytes, that `folder` takes: what its file system
// says, or 255 where it does not say.
size_t longestNameIn(const std::string& folder);

// "." NAME `marker`, with NAME shortened where needed so that the prefix
// and `suffixLength` more bytes fit in `longestName` bytes.
std::string hiddenNamePrefix(std::string_view name, std::string_view marker, size_t suffixLength,
                             size_t longestName);

}  // namespace lf
