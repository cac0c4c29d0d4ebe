#pragma once
// A document the user names through a symbolic link stands for what the
// link leads to: it is taken when the link leads to a Photoshop document or
// a folder. A link that leads to nothing, or to anything else, is refused
// with the error the command line gives for it: the open error of the
// missing target, or "PATH is not a Photoshop document (.psd or .psb)".
// Links found inside folders are not followed, and never reach this check.
//
// Any thread; reads the file system without opening anything.

#include "platform/Error.h"

#include <optional>
#include <string>

// "PATH is not a Photoshop document (.psd or .psb)": what the command line
// and a window say of a path they cannot take as a document.
std::string QFNotADocumentDescription(const std::string& path);

// Why the link at `path` cannot be taken as a document; none when `path`
// is no link, or one that can.
std::optional<lf::Error> QFLinkedDocumentError(const std::string& path);
