#include "ui/iconview/QFTemporaryItemFolder.h"

#include "platform/core/Log.h"

#include <QUuid>

#include <cstdlib>
#include <string>

namespace {

// Owns the process's folder and removes it when the program exits.
struct ProcessFolder {
    std::filesystem::path path;

    ProcessFolder() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "layerflow-XXXXXX").string();
        if (error) return;
        if (char* made = mkdtemp(pattern.data()))
            path = made;
        else
            lf::log("*** no temporary folder for dragged files at {}", pattern);
    }
    ~ProcessFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

const std::filesystem::path& QFTemporaryItemFolder::processFolder() {
    static const ProcessFolder folder;
    return folder.path;
}

const std::filesystem::path& QFTemporaryItemFolder::path() {
    if (!path_) {
        const std::filesystem::path& base = processFolder();
        path_ = base.empty()
                    ? std::filesystem::path()
                    : base / QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    }
    return *path_;
}

void QFTemporaryItemFolder::remove() {
    if (!path_) return;
    std::error_code ignored;
    if (!path_->empty()) std::filesystem::remove_all(*path_, ignored);
    path_.reset();
}
