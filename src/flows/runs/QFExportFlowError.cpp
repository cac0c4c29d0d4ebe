#include "flows/runs/QFExportFlowError.h"

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
    constexpr const char* kDocumentImage = "DocumentErrorPlaceholder";
    switch (failure) {
        case QFExportFlowFailure::invalidDocument:
            return {QFExportFlowErrorInvalidDocument, "invalid-psd", kDocumentImage};
        case QFExportFlowFailure::unopenableDocument:
            return {QFExportFlowErrorInvalidDocument, "unopenable-document", kDocumentImage};
        case QFExportFlowFailure::unsupportedColorMode:
            return {QFExportFlowErrorUnsupportedDocument, "unsupported-color-mode", kDocumentImage};
        case QFExportFlowFailure::unsupportedColorDepth:
            return {QFExportFlowErrorUnsupportedDocument, "unsupported-color-depth",
                    kDocumentImage};
        case QFExportFlowFailure::missingDocument:
            return {QFExportFlowErrorMissingDocument, "missing-document", kDocumentImage};
        case QFExportFlowFailure::linkToNothing:
            return {QFExportFlowErrorMissingDocument, "unopenable-document", kDocumentImage};
        case QFExportFlowFailure::noDocuments:
            return {QFExportFlowErrorMissingDocument, "no-documents", kDocumentImage};
        case QFExportFlowFailure::noTaggedLayers:
            return {QFExportFlowErrorNoTaggedLayers, "no-tagged-layers", "TaggingPlaceholder"};
        case QFExportFlowFailure::scanFailed:
            break;
    }
    return {QFExportFlowErrorScanFailed, nullptr, nullptr};
}

// The error of `entry`; its description names the document (by
// `documentName`, else its file name) and, when given, says `reason`.
lf::Error makeError(const FailureEntry& entry, std::shared_ptr<const lf::Error> underlying,
                    const std::optional<std::string>& documentPath, const std::string& documentName,
                    const std::optional<std::string>& reason) {
    lf::ErrorUserInfo userInfo;
    if (entry.textKey) {
        const std::string prefix = std::string("export-flow.error.") + entry.textKey;
        OMLocalizerArguments arguments;
        std::vector<std::string> argumentKeys;
        if (documentPath) {
            arguments["file-name"] = documentName.empty()
                                         ? std::filesystem::path(*documentPath).filename().string()
                                         : documentName;
            argumentKeys.push_back("file-name");
        }
        if (reason) {
            arguments["reason"] = *reason;
            argumentKeys.push_back("reason");
        }
        userInfo[lf::kLocalizedDescriptionKey] =
            argumentKeys.empty()
                ? OMLocalizedString(prefix + ".description")
                : OMLocalizedString(prefix + ".description", arguments, argumentKeys);
        userInfo[lf::kLocalizedFailureReasonErrorKey] =
            OMLocalizedString(prefix + ".failure-reason");
    }
    if (entry.placeholderImage)
        userInfo[lf::kPlaceholderImageErrorKey] = std::string(entry.placeholderImage);
    if (underlying) userInfo[lf::kUnderlyingErrorKey] = std::move(underlying);
    if (documentPath) userInfo[lf::kFilePathErrorKey] = *documentPath;
    return lf::Error(QFExportFlowErrorDomain, entry.code, std::move(userInfo));
}

}  // namespace

lf::Error QFExportFlowError(QFExportFlowFailure failure,
                            std::shared_ptr<const lf::Error> underlying,
                            const std::optional<std::string>& documentPath,
                            const std::string& documentName) {
    return makeError(entryForFailure(failure), std::move(underlying), documentPath, documentName,
                     std::nullopt);
}

lf::Error QFExportFlowInputError(const std::string& path, const QFFlowInputProblem& problem) {
    switch (problem.kind) {
        case QFFlowInputProblem::notOfAcceptedType:
            return QFExportFlowError(QFExportFlowFailure::invalidDocument, nullptr, path);
        case QFFlowInputProblem::holdsNoDocuments:
            return QFExportFlowError(QFExportFlowFailure::noDocuments, nullptr, path);
        case QFFlowInputProblem::cannotBeOpened:
            break;
    }
    const lf::PathRefusal refusal = problem.refusal.value_or(lf::PathRefusal{});
    auto underlying = std::make_shared<const lf::Error>(refusal.error(path));
    switch (refusal.kind) {
        case lf::PathRefusal::Kind::missing:
            return QFExportFlowError(QFExportFlowFailure::missingDocument, underlying, path);
        case lf::PathRefusal::Kind::linkToNothing:
            return makeError(entryForFailure(QFExportFlowFailure::linkToNothing), underlying, path,
                             {}, refusal.reason);
        default:
            return makeError(entryForFailure(QFExportFlowFailure::unopenableDocument), underlying,
                             path, {}, refusal.reason);
    }
}
