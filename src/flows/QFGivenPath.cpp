#include "flows/QFGivenPath.h"

#include "flows/runs/QFExportFlowError.h"
#include "platform/files/PathRefusal.h"
#include "platform/files/TypeIdentifier.h"

#include <sys/stat.h>

std::string QFNotADocumentDescription(const std::string& path) {
    return path + " is not a Photoshop document (.psd or .psb)";
}

std::optional<lf::Error> QFGivenPathError(const std::string& path) {
    if (auto refusal = lf::PathRefusal::of(path)) return refusal->error(path);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return std::nullopt;
    const auto type = lf::typeIdentifierForNamedPath(path);
    if (type == lf::kTypeFolder || type == lf::kTypePhotoshopImage) return std::nullopt;
    return lf::Error(QFExportFlowErrorDomain, QFExportFlowErrorInvalidDocument,
                     {{lf::kLocalizedDescriptionKey, QFNotADocumentDescription(path)},
                      {lf::kFilePathErrorKey, path}});
}
