#pragma once
// The errors that end an export run, in the domain QFExportFlowErrorDomain.
//
// Every error carries the user-info keys the flow view reads: a
// description and a failure reason (texts of the default localizer, or the
// key itself where the table has none), the resource name of the image the
// view shows beside them, and the error that caused it when there is one.

#include "flows/inputs/QFFlowInputProtocol.h"
#include "platform/core/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

inline constexpr const char* QFExportFlowErrorDomain = "QFExportFlowErrorDomain";

enum QFExportFlowErrorCode : int64_t {
    QFExportFlowErrorInvalidDocument = -10,
    QFExportFlowErrorUnsupportedDocument = -11,
    QFExportFlowErrorMissingDocument = -12,
    QFExportFlowErrorNoTaggedLayers = -30,
    QFExportFlowErrorScanFailed = -40,
};

// Why a run failed; reasons that share a code differ in their texts.
enum class QFExportFlowFailure {
    invalidDocument,        // -10: the document reader rejects the file
    unopenableDocument,     // -10: a path the flow was given cannot be opened
    unsupportedColorMode,   // -11: the document is not RGB
    unsupportedColorDepth,  // -11: the document is neither 8 nor 16 bits deep
    missingDocument,        // -12: nothing is left at a path the flow was given
    linkToNothing,          // -12: a path the flow was given is a link to nothing
    noDocuments,            // -12: a folder the flow was given holds no document
    noTaggedLayers,         // -30: no document holds a tag
    scanFailed,             // -40: the scanner reports failure (no texts, no image)
};

// The error for `failure`, with `underlying` stored when given. An error
// about one document names it: `documentName`, or its file name when that
// is empty, is in the description (a run may have many documents, and
// only the text reaches the user) and its path under kFilePathErrorKey.
lf::Error QFExportFlowError(QFExportFlowFailure failure,
                            std::shared_ptr<const lf::Error> underlying = nullptr,
                            const std::optional<std::string>& documentPath = std::nullopt,
                            const std::string& documentName = {});

// The error of a run for the path it was given, `path`, that yields no
// document because of `problem`, naming it by its file name: "“x.psd” Is
// Missing"; "“x.psd” cannot be opened: REASON" in the words of
// lf::PathRefusal, which stays below as the underlying error; "“x.psd” Is
// Not a Photoshop Document" for a file of another type; "“icons” holds no
// Photoshop documents".
lf::Error QFExportFlowInputError(const std::string& path, const QFFlowInputProblem& problem);
