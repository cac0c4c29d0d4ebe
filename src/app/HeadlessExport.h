#pragma once
// The headless road: exports documents into a folder without windows, the
// way a flow window does it: a flow of the export plug-in over the
// documents, its run controller, the first run, and Save into the folder.
// The main queue is drained on the calling thread, which becomes the main
// thread, until the export has ended.

#include <ostream>
#include <string>
#include <vector>

enum HeadlessExportStatus : int {
    HeadlessExportSucceeded = 0,
    // The run or the save failed; the error was printed.
    HeadlessExportFailed = 1,
    // The documents cannot be exported as given; the reason was printed.
    HeadlessExportBadInput = 2,
};

// Prints each file written (its path in `directory`) on `out`, one a line,
// and any error on `err` with its domain and code.
HeadlessExportStatus runHeadlessExport(const std::vector<std::string>& documents,
                                       const std::string& directory, std::ostream& out,
                                       std::ostream& err);
