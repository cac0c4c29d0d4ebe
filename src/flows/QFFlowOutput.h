#pragma once
// QFFlowOutput: the files one run produced, by their path relative to the
// output folder, until they are written into a folder.
//
// Threads: the run fills the output on its own thread after every recipe
// has finished, and the output is read and written only after the run has
// reported its end, so it takes no lock; one thread at a time uses it.

#include "flows/QFFlowOutputItem.h"
#include "platform/Result.h"

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

    // Writes every item atomically into the folder at `directoryPath`,
    // creating the folders on the way and overwriting existing files. Each
    // folder written into is first rid of the temporary files that writes
    // killed half way left there (lf::removeAbandonedTemporaryFiles). An
    // item that cannot be written, or whose path would lead outside the
    // folder, is logged and skipped, the others are still written, and the
    // answer is the error of the first such item. An output folder that
    // is a file, or cannot be made, fails the whole write before anything
    // is written. The errors say in words what could not be saved, why,
    // and name the output folder by its path.
    lf::Status writeOutputToDirectoryAtURL(const std::string& directoryPath) const;

private:
    std::map<std::string, std::shared_ptr<QFFlowOutputItem>> outputItems_;
};
