#pragma once
// QFFlowInputProtocol: what a run reads of its input: the input documents
// of a type, and what is wrong with the paths it was given that yield
// none. Snapshots of a flow's input (QFFlowInputSnapshot) answer it, so a
// run never sees changes made after it started.

#include "flows/inputs/QFFlowInputItem.h"
#include "platform/files/PathRefusal.h"

#include <cstdint>
#include <map>
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

// What is wrong with a path the input was given: it yields no documents.
struct QFFlowInputProblem {
    enum Kind {
        cannotBeOpened,     // `refusal` says why
        notOfAcceptedType,  // a file of a type the input does not take (a link to one)
        holdsNoDocuments,   // a folder without a document of the accepted types
    };
    Kind kind = cannotBeOpened;
    std::optional<lf::PathRefusal> refusal;

    // Whether something stands at the path that cannot be read (a loop of
    // links, a FIFO, a folder on the way it may not enter), rather than
    // nothing a document could come from (missing, a link to nothing, no
    // document there).
    bool isUnreadable() const {
        using Refused = lf::PathRefusal::Kind;
        return kind == cannotBeOpened && refusal && refusal->kind != Refused::missing &&
               refusal->kind != Refused::linkToNothing;
    }

    friend bool operator==(const QFFlowInputProblem&, const QFFlowInputProblem&) = default;
};
// By the path given.
using QFFlowInputProblems = std::map<std::string, QFFlowInputProblem>;

class QFFlowInputProtocol {
public:
    virtual ~QFFlowInputProtocol() = default;
    virtual bool hasInputItemsForType(const std::string& type) const = 0;
    // None for an empty type, for options 0, or for a type the input does
    // not accept.
    virtual std::optional<QFFlowInputItemSet> inputItemsForType(const std::string& type,
                                                                uint64_t options) const = 0;
    // The paths given that yield no documents, and why; none by default.
    virtual QFFlowInputProblems inputProblems() const { return {}; }
};
