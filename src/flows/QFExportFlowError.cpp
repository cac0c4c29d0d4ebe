#include "flows/QFExportFlowError.h"

#include "kit/OMLocalizer.h"

#include <filesystem>
#include <string>

namespace {

struct FailureEntry {
    QFExportFlowErrorCode code;
    const char* textKey;           // "export-flow.error.<key>.description" and ".failure-reason"
    const char* placeholderImage;  // resource name, or null
};

FailureEntry entryForFailure(QFExportFlowFailure failure) {
    switch (failure) {
        case QFExportFlowFailure::invalidDocument:
            return {QFExportFlowErrorInvalidDocument, "invalid-psd", "DocumentErrorPlaceholder"};
        case QFExportFlowFailure::unsupportedColorMode:
            return {QFExportFlowErrorUnsupportedDocument, "unsupported-color-mode",
                    "DocumentErrorPlaceholder"};
        case QFExportFlowFailure::unsupportedColorDepth:
            return {QFExportFlowErrorUnsupportedDocument, "unsupported-color-depth",
                    "DocumentErrorPlaceholder"};
        case QFExportFlowFailure::missingDocument:
            return {QFExportFlowErrorMissingDocument, "missing-document",
                    "DocumentErrorPlaceholder"};
        case QFExportFlowFailure::noTaggedLayers:
            return {QFExportFlowErrorNoTaggedLayers, "no-tagged-layers", "TaggingPlaceholder"};
        case QFExportFlowFailure::scanFailed:
            break;
    }
    return {QFExportFlowErrorScanFailed, nullptr, nullptr};
}

}  // namespace

lf::Error QFExportFlowError(QFExportFlowFailure failure,
                            std::shared_ptr<const lf::Error> underlying,
                            const std::optional<std::string>& documentPath,
                            const std::string& documentName) {
    FailureEntry entry = entryForFailure(failure);
    lf::ErrorUserInfo userInfo;
    if (entry.textKey) {
        std::string prefix = std::string("export-flow.error.") + entry.textKey;
        userInfo[lf::kLocalizedDescriptionKey] =
            documentPath
                ? OMLocalizedString(
                      prefix + ".description",
                      {{"file-name", documentName.empty()
                                         ? std::filesystem::path(*documentPath).filename().string()
                                         : documentName}},
                      {"file-name"})
                : OMLocalizedString(prefix + ".description");
        userInfo[lf::kLocalizedFailureReasonErrorKey] =
            OMLocalizedString(prefix + ".failure-reason");
    }
    if (entry.placeholderImage)
        userInfo[lf::kPlaceholderImageErrorKey] = std::string(entry.placeholderImage);
    if (underlying) userInfo[lf::kUnderlyingErrorKey] = std::move(underlying);
    if (documentPath) userInfo[lf::kFilePathErrorKey] = *documentPath;
    return lf::Error(QFExportFlowErrorDomain, entry.code, std::move(userInfo));
}
