#pragma once
// QFFlowOutput: the files one run produced, by their path relative to the
// output folder, until they are written into a folder.
//
// Threads: the run fills the output on its own thread after every recipe
// has finished, and the output is read and written only after the run has
// reported its end, so it takes no lock; one thread at a time uses it.

#include "flows/runs/QFFlowOutputItem.h"
#include "platform/core/Result.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QFFlowOutput {
public:
    // Stores `item` under its path (its components joined with "/") when
    // the path is free or `replaceExisting` is set; otherwise the item
    // already stored stays.
    void addOutputItem(std::shared_ptr<QFFlowOutputItem> item, bool replaceExisting);
    void removeAllItems() { outputItems_.clear(); }
    // Every item, in the order of their paths.
    std::vector<std::shared_ptr<QFFlowOutputItem>> items() const;

    // Writes every item into the folder at `directoryPath`, creating the
    // folders on the way and overwriting existing files, all of them or
    // none (lf::AtomicFileSet): every item is first written beside its file
    // and flushed, and only then are they all moved in (the process's exit
    // waits for that step, once begun). An item that cannot be written, or
    // a path that would lead outside the folder, fails the whole write; the
    // folder is then left as it was, without the temporary files and the
    // folders the write made. Each item's write first removes the
    // temporary files that writes of the same file killed half way left
    // (each folder is listed once a write); no other file is touched. The
    // errors say in words what could not be saved, why, and name the
    // output folder by its path; an output folder that is a file, or
    // cannot be made, has words of its own. `whenIn`, when given, runs on
    // the calling thread once every file is in, before the process's exit
    // may go on (see lf::AtomicFileSet::commit).
    lf::Status writeOutputToDirectoryAtURL(const std::string& directoryPath,
                                           const std::function<void()>& whenIn = {}) const;

private:
    std::map<std::string, std::shared_ptr<QFFlowOutputItem>> outputItems_;
};
