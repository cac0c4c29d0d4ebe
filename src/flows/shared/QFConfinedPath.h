#pragma once
// Output names come from layer names, which anyone who hands us a document
// chose. Every output is written inside the output folder, the way
// appending a path component to the folder does: a leading "/" and empty
// components ("a//b") are dropped, "." components too, and ".." goes up
// one component. A name that would leave the folder on the way or at its
// end ("../x.png", "a/../../x.png"), that names the folder itself (an
// empty name, ".", "a/..") or that holds a NUL character is refused.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The components of `path` inside the folder, or none for a refused name.
std::optional<std::vector<std::string>> QFConfinedPathComponents(std::string_view path);

// The components joined with "/".
std::string QFPathWithComponents(const std::vector<std::string>& components);
