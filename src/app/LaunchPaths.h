#pragma once
// The check every launch makes of the paths it is given, before it exports
// or opens anything: a path that cannot be opened for reading (missing, a
// link to nothing, unreadable) is refused with one line on the error
// stream, "layerflow: DOMAIN CODE: description", which names it.

#include <ostream>
#include <string>
#include <vector>

// Whether `path` can be opened for reading, a link followed; when it
// cannot, prints why on `err`.
bool checkReadablePath(const std::string& path, std::ostream& err);

// The paths of `paths` that pass checkReadablePath, in their order.
std::vector<std::string> readablePaths(const std::vector<std::string>& paths, std::ostream& err);
