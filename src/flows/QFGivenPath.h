#pragma once
// Paths a user gives: what the command line and a flow window say of one
// they cannot take.
//
// A document the user names through a symbolic link stands for what the
// link leads to: it is taken when the link leads to a Photoshop document or
// a folder. A path that cannot be opened is refused in the words of
// lf::PathRefusal (missing, a link to nothing, a loop of links, not a file
// or folder, permission denied); a link to anything else with "PATH is not
// a Photoshop document (.psd or .psb)". Links found inside folders are not
// followed, and never reach this check.
//
// Any thread; reads the file system without opening anything.

#include "platform/core/Error.h"

#include <optional>
#include <string>

// "PATH is not a Photoshop document (.psd or .psb)": what the command line
// and a window say of a path they cannot take as a document.
std::string QFNotADocumentDescription(const std::string& path);

// Why `path` cannot be taken as a document or a folder of documents; none
// when it can, or when it is a file (not a link) that is no document,
// which the caller's own check of types refuses.
std::optional<lf::Error> QFGivenPathError(const std::string& path);
