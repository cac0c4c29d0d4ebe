#include "flows/QFLinkedDocument.h"

#include "flows/QFExportFlowError.h"
#include "platform/TypeIdentifier.h"

#include <cerrno>
#include <sys/stat.h>

std::string QFNotADocumentDescription(const std::string& path) {
    return path + " is not a Photoshop document (.psd or .psb)";
}

std::optional<lf::Error> QFLinkedDocumentError(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return std::nullopt;
    // The target is examined, never opened: a pipe there would block a read.
    if (::stat(path.c_str(), &info) != 0) return lf::Error::posix(errno, "open " + path);
    const auto type = lf::typeIdentifierForNamedPath(path);
    if (type == lf::kTypeFolder || type == lf::kTypePhotoshopImage) return std::nullopt;
    return lf::Error(QFExportFlowErrorDomain, QFExportFlowErrorInvalidDocument,
                     {{lf::kLocalizedDescriptionKey, QFNotADocumentDescription(path)},
                      {lf::kFilePathErrorKey, path}});
}
