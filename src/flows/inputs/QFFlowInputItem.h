#pragma once
// QFFlowInputItem: one input document of a flow, found in a snapshot of the
// flow's input. Immutable, shared freely between threads; a snapshot reuses
// the item of a path that an earlier snapshot already had.

#include "bytearray/BAByteArray.h"
#include "platform/core/Result.h"

#include <cstdint>
#include <optional>
#include <string>

// Options of QFFlowInputItem::bytesWithOptions.
enum QFDataReadingOptions : unsigned {
    // Read past the system's file cache, so a large document does not push
    // everything else out of it.
    QFDataReadingUncached = 2,
};

class QFFlowInputItem {
public:
    // `containerURL`: the input's top-level file or folder that holds the
    // item and was resolved from a bookmark; none for input given without
    // one.
    QFFlowInputItem(std::string itemURL, std::optional<std::string> containerURL);

    const std::string& itemURL() const { return itemURL_; }
    const std::optional<std::string>& securityScopedContainerURL() const {
        return securityScopedContainerURL_;
    }
    // The last path component.
    std::string name() const;

    // The file's bytes, read as they are asked for, never all at once
    // (QFOpenDocumentFile); or the error of opening it. Reading always
    // bypasses the system's file cache, so the options change nothing
    // today.
    lf::Result<BASlice> bytesWithOptions(unsigned options) const;

    // "QFFlowInputItem 0x...: /path".
    std::string description() const;

private:
    const std::string itemURL_;
    const std::optional<std::string> securityScopedContainerURL_;
};
