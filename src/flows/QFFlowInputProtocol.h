#pragma once
// QFFlowInputProtocol: what a run reads of its input: the input documents
// of a type. Snapshots of a flow's input (QFFlowInputSnapshot) answer it, so
// a run never sees changes made after it started.

#include "flows/QFFlowInputItem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

// Items in the order of their paths, so runs read documents in an order
// that does not change from one run to the next.
struct QFFlowInputItemOrder {
    bool operator()(const std::shared_ptr<const QFFlowInputItem>& a,
                    const std::shared_ptr<const QFFlowInputItem>& b) const {
        return a->itemURL() < b->itemURL();
    }
};
using QFFlowInputItemSet = std::set<std::shared_ptr<const QFFlowInputItem>, QFFlowInputItemOrder>;

// Options of inputItemsForType, combined with |; with both, all items.
enum QFFlowInputItemsOptions : uint64_t {
    QFFlowInputItemsAll = 1,
    // Only the items that changed since the snapshot the input was compared
    // with.
    QFFlowInputItemsChanged = 2,
};

class QFFlowInputProtocol {
public:
    virtual ~QFFlowInputProtocol() = default;
    virtual bool hasInputItemsForType(const std::string& type) const = 0;
    // None for an empty type, for options 0, or for a type the input does
    // not accept.
    virtual std::optional<QFFlowInputItemSet> inputItemsForType(const std::string& type,
                                                                uint64_t options) const = 0;
};
