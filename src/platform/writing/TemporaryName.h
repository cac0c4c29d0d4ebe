#pragma once
// The hidden names that stand beside a file while it is replaced, made from
// the file's own name (see HiddenName, which shortens a long one) and 16
// random lower-case hexadecimal digits:
//   ".NAME.tmp-…"       its new contents, from their first byte until they
//                       are moved in; where the commit exchanges the two
//                       files, the replaced file takes this name until the
//                       commit ends;
//   ".NAME.replaced-…"  where the file system cannot exchange two files,
//                       the replaced file, moved aside until the commit
//                       ends.
// Leftovers are recognised by these names alone, so that no other file,
// whoever wrote it, is ever taken for one.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lf {

enum class TemporaryRole { NewContents, ReplacedFile };

inline constexpr size_t kTemporaryDigits = 16;

// What every hidden name of `name` (a bare file name) in `role` begins
// with, in a folder whose names take at most `longestName` bytes.
std::string temporaryNamePrefix(std::string_view name, TemporaryRole role, size_t longestName);

// 16 random digits, to follow a prefix.
std::string randomTemporaryDigits();

// The prefix of `name` if it ends in 16 lower-case hexadecimal digits after
// a hidden name's beginning, as the writers make them; none otherwise.
std::optional<std::string_view> temporaryPrefixOf(std::string_view name);

}  // namespace lf
