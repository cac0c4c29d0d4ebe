#pragma once
// The body of one export run: read every input document, check it, scan it
// for tags, run all recipes at once, and fill the output with one item per
// output path (the icon elements of one path merged into one ICNS file).
//
// A run ends with success or with one error: the read error of an input
// that cannot be read, as it is, or an error of QFExportFlowErrorDomain
// (QFExportFlowError.h), which names the document it is about by its name
// in the run. The first failing document ends the run before anything is
// added to the output, so a failed run leaves it empty.
//
// Each document's file is examined (QFFileStamp) before it is read and
// again before the outputs are added: when one was written, replaced or
// removed meanwhile, what was read of it may mix two versions, so the run
// adds nothing and ends with the input-changed error of QFFlowRun.h instead
// of its result (of a failure too, which may be the mixed version's).
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

#include "flows/QFFlowOutput.h"
#include "platform/Data.h"
#include "platform/Result.h"

#include <functional>
#include <string>
#include <vector>

// One input document of a run.
struct QFExportInputItem {
    // Orders the inputs; names the document in log lines; the file whose
    // stamp tells whether it changed while the run read it.
    std::string path;
    // The whole file, read without keeping it in the system's cache; or
    // the read error.
    std::function<lf::Result<lf::Data>()> readData;
    // The document's name in errors (its path below the flow's folder,
    // say); its file name when empty.
    std::string name;

    // The file at `path`, read with lf::Data::readFile.
    static QFExportInputItem forFile(std::string path);
};

// Empties `output`, then exports `inputItems` into it.
lf::Status QFExportRunBody(std::vector<QFExportInputItem> inputItems, QFFlowOutput& output);
