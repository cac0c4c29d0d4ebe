#pragma once
// Copying an unpacked application folder onto another file system, as it
// is: folders with their modes, plain files with their contents and modes,
// links as links, never followed. A file its owner may not read (mode 0000:
// archives hold such files, and a rename within one file system moves them
// all the same) is opened to the owner for the moment it takes to open it,
// and given its mode back at once; root needs no such opening. Anything
// else (a device, a pipe) fails the copy. Walks from descriptors down
// (OMAUFolderWalk.h); errors name entries by their path below the source.

#include "platform/core/Result.h"

// Copies what the folder open as `source` holds into the empty folder open
// as `destination`, and gives the destination the source's mode.
lf::Status OMAUCopyFolder(int source, int destination);
