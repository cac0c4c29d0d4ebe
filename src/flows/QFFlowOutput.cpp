#include "flows/QFFlowOutput.h"

#include "flows/QFConfinedPath.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

void QFFlowOutput::addOutputItem(std::shared_ptr<QFFlowOutputItem> item, bool replaceExisting) {
    std::string key = QFPathWithComponents(item->pathComponents());
    if (replaceExisting)
        outputItems_[key] = std::move(item);
    else
        outputItems_.emplace(std::move(key), std::move(item));
}

std::vector<std::shared_ptr<QFFlowOutputItem>> QFFlowOutput::items() const {
    std::vector<std::shared_ptr<QFFlowOutputItem>> items;
    items.reserve(outputItems_.size());
    for (const auto& [path, item] : outputItems_)
        items.push_back(item);
    return items;
}

lf::Status QFFlowOutput::writeOutputToDirectoryAtURL(const std::string& directoryPath) const {
    namespace fs = std::filesystem;
    lf::Status firstFailure;
    for (const auto& [path, item] : outputItems_) {
        auto components = QFConfinedPathComponents(path);
        if (!components) {
            lf::log("Refusing to write \"{}\": it is not a path inside the output folder", path);
            if (firstFailure) firstFailure = lf::Error::posix(EINVAL, "write " + path);
            continue;
        }
        fs::path file = fs::path(directoryPath);
        for (const auto& component : *components)
            file /= component;
        std::error_code ignored;
        fs::create_directories(file.parent_path(), ignored);
        if (auto written = lf::writeFileAtomically(file.string(), item->data()); !written) {
            lf::log("Couldn't write to {}, error: {}", file.parent_path().string(),
                    lf::describe(written.error()));
            if (firstFailure) firstFailure = written;
        }
    }
    return firstFailure;
}
