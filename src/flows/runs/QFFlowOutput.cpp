#include "flows/runs/QFFlowOutput.h"

#include "flows/shared/QFConfinedPath.h"
#include "kit/OMLocalizer.h"
#include "platform/core/Log.h"
#include "platform/writing/AtomicFileSet.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// An output: its path relative to the output folder, and its file there.
struct OutputFile {
    std::string path;
    fs::path file;
    const QFFlowOutputItem* item;
};

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
lf::Status makeOutputFolder(lf::AtomicFileSet& files, const std::string& directory) {
    std::error_code error;
    if (fs::exists(directory, error) && !fs::is_directory(directory, error))
        return outputError(lf::Error::posix(ENOTDIR, "create the folder " + directory),
                           OMLocalizedString("flow.output.error.folder-is-a-file",
                                             {{"folder", directory}}, {"folder"}),
                           directory);
    lf::Status made = files.makeFolders(directory);
    if (made) return {};
    return outputError(
        made.error(),
        OMLocalizedString("flow.output.error.cannot-make-folder",
                          {{"folder", directory}, {"reason", reasonOf(made.error())}},
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
        (fs::path(directory) / path).string());
}

// The outputs' files inside `directory`, in the order of their paths. A
// path that would lead outside refuses the whole write: written without
// it, the folder would hold this run's outputs beside an earlier one's.
lf::Result<std::vector<OutputFile>> filesInside(
    const std::map<std::string, std::shared_ptr<QFFlowOutputItem>>& items,
    const std::string& directory) {
    std::vector<OutputFile> files;
    for (const auto& [path, item] : items) {
        auto components = QFConfinedPathComponents(path);
        if (!components) {
            lf::log("Refusing to write \"{}\": it is not a path inside the output folder", path);
            return lf::Error::posix(EINVAL, "write " + path);
        }
        fs::path file = fs::path(directory);
        for (const auto& component : *components)
            file /= component;
        files.push_back({path, std::move(file), item.get()});
    }
    return files;
}

// Logs why `output` could not be written and says it in words.
lf::Error failureToSave(const OutputFile& output, const std::string& directory,
                        const lf::Error& cause) {
    lf::log("Couldn't write to {}, error: {}", output.file.parent_path().string(),
            lf::describe(cause));
    return cannotSave(output.path, directory, cause);
}

// The output whose file a failed commit names.
const OutputFile& outputNamedBy(const lf::Error& error, const std::vector<OutputFile>& files) {
    const std::string file = error.stringForKey(lf::kFilePathErrorKey);
    auto named = std::find_if(files.begin(), files.end(),
                              [&](const OutputFile& output) { return output.file == file; });
    return named != files.end() ? *named : files.front();
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

lf::Status QFFlowOutput::writeOutputToDirectoryAtURL(const std::string& directoryPath,
                                                     const std::function<void()>& whenIn) const {
    auto files = filesInside(outputItems_, directoryPath);
    if (!files) return files.error();
    lf::AtomicFileSet set;
    LF_TRY(makeOutputFolder(set, directoryPath));
    for (const OutputFile& output : *files) {
        lf::Status staged = set.makeFolders(output.file.parent_path().string());
        if (staged) staged = set.stage(output.file.string(), output.item->data().span());
        if (!staged) return failureToSave(output, directoryPath, staged.error());
    }
    lf::Status committed = set.commit(whenIn);
    if (!committed)
        return failureToSave(outputNamedBy(committed.error(), *files), directoryPath,
                             committed.error());
    return {};
}
