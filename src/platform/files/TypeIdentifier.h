#pragma once
// Uniform type identifiers of files: the type names that flows accept and
// compare, read from the item itself (a folder) or its name's extension.

#include <optional>
#include <string>

namespace lf {

inline constexpr const char* kTypeFolder = "public.folder";
inline constexpr const char* kTypePhotoshopImage = "com.adobe.photoshop-image";
inline constexpr const char* kTypeSymbolicLink = "public.symlink";
inline constexpr const char* kTypeData = "public.data";
inline constexpr const char* kTypeItem = "public.item";

// The type of the item at `path` itself (a link is not followed): a folder
// is "public.folder"; a file ending in ".psd" or ".psb" in any case is
// "com.adobe.photoshop-image"; other files are "public.data"; links are
// "public.symlink"; anything else "public.item". None when the item cannot
// be reached.
std::optional<std::string> typeIdentifierForPath(const std::string& path);

// The type of what `path` stands for where a user names it: a link stands
// for the item it leads to and has that item's type, the extension coming
// from the target's name (a link "L.psd" to "notes.txt" is "public.data").
// None when the link leads to nothing.
std::optional<std::string> typeIdentifierForNamedPath(const std::string& path);

}  // namespace lf
