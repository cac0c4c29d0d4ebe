#pragma once
// The check every launch makes of the paths it is given, before it exports
// or opens anything: a path that cannot be opened for reading (missing, a
// link to nothing, a loop of links, unreadable), or that is neither a file
// nor a folder (a FIFO, a socket, a device), is refused with one line on
// the error stream, "layerflow: DOMAIN CODE: open PATH: REASON", in the
// words of lf::PathRefusal, which windows and flows use too. The check
// never waits: a FIFO is refused without being opened for reading.

#include <ostream>
#include <string>
#include <vector>

// Whether `path` is a file or folder that can be opened for reading, a
// link followed; when it is not, prints why on `err`.
bool checkReadablePath(const std::string& path, std::ostream& err);

// The paths of `paths` that pass checkReadablePath, in their order.
std::vector<std::string> readablePaths(const std::vector<std::string>& paths, std::ostream& err);
