#pragma once
// The body of one export run: read every input document, check it, scan it
// for tags, run all recipes at once, and fill the output with one item per
// output path (the icon elements of one path merged into one ICNS file).
//
// Documents are read as the run needs their bytes, from their files
// (QFDocumentBytes.h), never whole: opening and scanning read a document's
// header and layer records, recipes its planes as they render them.
//
// A run ends with success or with one error: the error of opening an input
// as it is; the read error of a document a read of which failed, at any
// point of the run (QFDocumentReadError); ENOMEM as that read error when
// memory ran out while reading or rendering a document (std::bad_alloc, or
// std::length_error for a size past what can be allocated, on any thread
// of the run: what the run's workers throw is caught there and ends the
// run here; any other exception says what it says, in the read error's
// words); or an error of QFExportFlowErrorDomain (QFExportFlowError.h),
// which names the document it is about by its name in the run. Nothing a
// document holds ends the process. The first failing document ends the
// run before anything is added to the output, so a failed run leaves it
// empty.
//
// Each document's file is examined (QFFileStamp) before it is read and
// again before the outputs are added, and what was read of it is read
// again (QFDocumentBytes::readsAgainAsRead), which catches a write that
// was already under way when the file was examined: when one was written,
// replaced or removed meanwhile, what was read of it may mix two versions,
// so the run adds nothing and ends with the input-changed error of
// QFFlowRun.h instead of its result (of a failure too, which may be the
// mixed version's).
//
// Inputs are read in the order of their paths and outputs added in the
// order of theirs, so what a run writes does not depend on the order in
// which a set of inputs is handed over. An output name that would be
// written outside the output folder is refused with a log line, and the
// rest of the export goes on.
//
// Runs on the caller's thread (the run's background thread); recipes run
// on the default-priority global queue, at most as many at once as the
// machine has processors, while it waits.

#include "bytearray/BAByteArray.h"
#include "flows/runs/QFFlowOutput.h"
#include "platform/core/Result.h"

#include <functional>
#include <string>
#include <vector>

// One input document of a run.
struct QFExportInputItem {
    // Orders the inputs; names the document in log lines; the file whose
    // stamp tells whether it changed while the run read it.
    std::string path;
    // Opens the document: its bytes, as a slice of a source that reads
    // them when the run asks for them (QFOpenDocumentFile for a file); or
    // the error of opening it.
    std::function<lf::Result<BASlice>()> openBytes;
    // The document's name in errors (its path below the flow's folder,
    // say); its file name when empty.
    std::string name;

    // The file at `path`, opened with QFOpenDocumentFile.
    static QFExportInputItem forFile(std::string path);
};

// Empties `output`, then exports `inputItems` into it.
lf::Status QFExportRunBody(std::vector<QFExportInputItem> inputItems, QFFlowOutput& output);
