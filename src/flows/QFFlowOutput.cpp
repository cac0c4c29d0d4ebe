#include "flows/QFFlowOutput.h"

#include "flows/QFConfinedPath.h"
#include "kit/OMLocalizer.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace {

// Why a step failed, as the end of a sentence.
std::string reasonOf(const lf::Error& error) {
    if (error.domain != lf::kPOSIXErrorDomain) return error.localizedDescription();
    if (error.code == ENOTDIR)
        return OMLocalizedString("flow.output.error.reason.file-instead-of-folder");
    return std::strerror(static_cast<int>(error.code));
}

// An error of `cause`'s domain and code that `description` tells the
// user; `cause` stays below it for the log.
lf::Error outputError(const lf::Error& cause, std::string description, const std::string& path) {
    lf::Error error = cause;
    error.userInfo = {{lf::kLocalizedDescriptionKey, std::move(description)},
                      {lf::kFilePathErrorKey, path},
                      {lf::kUnderlyingErrorKey, std::make_shared<lf::Error>(cause)}};
    return error;
}

// Makes the output folder, or says in words why it cannot be one.
lf::Status makeOutputFolder(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(directory, error) && !fs::is_directory(directory, error))
        return outputError(lf::Error::posix(ENOTDIR, "create the folder " + directory),
                           OMLocalizedString("flow.output.error.folder-is-a-file",
                                             {{"folder", directory}}, {"folder"}),
                           directory);
    fs::create_directories(directory, error);
    if (!error) return {};
    const lf::Error cause = lf::Error::posix(error.value(), "create the folder " + directory);
    return outputError(cause,
                       OMLocalizedString("flow.output.error.cannot-make-folder",
                                         {{"folder", directory}, {"reason", reasonOf(cause)}},
                                         {"folder", "reason"}),
                       directory);
}

// The failure to save the item at `path` (relative to `directory`).
lf::Error cannotSave(const std::string& path, const std::string& directory,
                     const lf::Error& cause) {
    return outputError(
        cause,
        OMLocalizedString("flow.output.error.cannot-save",
                          {{"file", path}, {"folder", directory}, {"reason", reasonOf(cause)}},
                          {"file", "folder", "reason"}),
        (std::filesystem::path(directory) / path).string());
}

}  // namespace

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
    LF_TRY(makeOutputFolder(directoryPath));
    std::set<fs::path> swept;
    auto sweep = [&swept](const fs::path& folder) {
        if (swept.insert(folder).second) lf::removeAbandonedTemporaryFiles(folder);
    };
    sweep(directoryPath);
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
        std::error_code madeFolders;
        fs::create_directories(file.parent_path(), madeFolders);
        lf::Status written;
        if (madeFolders) {
            written =
                lf::Error::posix(madeFolders.value(), "create the folders of " + file.string());
        } else {
            sweep(file.parent_path());
            written = lf::writeFileAtomically(file.string(), item->data());
        }
        if (!written) {
            lf::log("Couldn't write to {}, error: {}", file.parent_path().string(),
                    lf::describe(written.error()));
            if (firstFailure) firstFailure = cannotSave(path, directoryPath, written.error());
        }
    }
    return firstFailure;
}
