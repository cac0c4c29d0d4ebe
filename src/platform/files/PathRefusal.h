#pragma once
// PathRefusal: why a path that a user names cannot be opened for reading
// as a file or a folder. The command line, the flow windows and the flows
// all say it in these words, each reason written here once: "No such file
// or directory", "Is a link to nothing", "Leads into a loop of links",
// "Is a named pipe (FIFO), not a file or folder", "Permission denied".
//
// Finding the refusal examines the path without opening anything: opening
// a FIFO for reading waits until a writer comes, which may be never.
// Access is checked for the process's effective user, the one its opens
// run as. Any thread.

#include "platform/core/Error.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace lf {

struct PathRefusal {
    enum class Kind {
        missing,           // nothing is there, or a file stands on the way
        linkToNothing,     // a link whose target is missing
        linkLoop,          // links that lead round, or too many of them
        notAFileOrFolder,  // a FIFO, a socket, a device
        unreadable,        // permission denied (a folder on the way, or the item), and the rest
    };
    Kind kind = Kind::missing;
    // The errno value that stands for the refusal (EINVAL for an item that
    // is neither file nor folder).
    int code = 0;
    // What is wrong, as a sentence without subject: "Is a link to nothing".
    std::string reason;

    // Why `path`, a link followed, cannot be opened for reading; none when
    // it is a file that this process may read, or a folder that it may
    // both list and enter.
    static std::optional<PathRefusal> of(const std::string& path);
    // The refusal of an item of `mode` that is neither a file nor a folder.
    static PathRefusal notAFileOrFolder(mode_t mode);

    // The command line's line for it: "open PATH: REASON", in the POSIX
    // domain with the code, PATH under kFilePathErrorKey.
    Error error(const std::string& path) const;

    friend bool operator==(const PathRefusal&, const PathRefusal&) = default;
};

}  // namespace lf
