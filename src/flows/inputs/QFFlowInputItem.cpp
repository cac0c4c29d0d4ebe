#include "flows/inputs/QFFlowInputItem.h"

#include "flows/inputs/QFDocumentBytes.h"

#include <fmt/format.h>

QFFlowInputItem::QFFlowInputItem(std::string itemURL, std::optional<std::string> containerURL)
    : itemURL_(std::move(itemURL)), securityScopedContainerURL_(std::move(containerURL)) {}

std::string QFFlowInputItem::name() const {
    const size_t slash = itemURL_.find_last_of('/');
    return slash == std::string::npos ? itemURL_ : itemURL_.substr(slash + 1);
}

lf::Result<BASlice> QFFlowInputItem::bytesWithOptions(unsigned) const {
    // Bookmarks grant no access of their own here, so no scope is entered
    // around the reads.
    return QFOpenDocumentFile(itemURL_);
}

std::string QFFlowInputItem::description() const {
    return fmt::format("QFFlowInputItem {}: {}", static_cast<const void*>(this), itemURL_);
}
