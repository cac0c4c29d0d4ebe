#pragma once
// QFFlowInputSnapshot: a flow's input at one moment: its documents by type
// and by path, a modification token per document, what was wrong with the
// paths given that yielded no documents, and the documents that count as
// changed. Immutable once made; shared freely between threads.
//
// A document counts as changed when its modification token
// (QFModificationToken) differs.

#include "flows/inputs/QFFlowInputProtocol.h"
#include "flows/watching/QFModificationToken.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

class QFFlowInputSnapshot : public QFFlowInputProtocol {
public:
    using ItemsByType = std::map<std::string, QFFlowInputItemSet>;
    using ItemsByURL = std::map<std::string, std::shared_ptr<const QFFlowInputItem>>;
    using TokensByURL = std::map<std::string, QFModificationToken>;

    // Every accepted type has an entry in `typeToInputItems`, perhaps an
    // empty set. No changed set: every item counts as changed.
    QFFlowInputSnapshot(ItemsByType typeToInputItems, ItemsByURL urlToInputItem,
                        TokensByURL urlToModificationToken, QFFlowInputProblems problems = {},
                        std::optional<QFFlowInputItemSet> changedInputItems = std::nullopt);

    bool hasInputItemsForType(const std::string& type) const override;
    std::optional<QFFlowInputItemSet> inputItemsForType(const std::string& type,
                                                        uint64_t options) const override;
    QFFlowInputProblems inputProblems() const override { return contents_->problems; }

    const ItemsByURL& URLToInputItemMap() const { return contents_->urlToInputItem; }
    const TokensByURL& URLToModificationTokenMap() const {
        return contents_->urlToModificationToken;
    }
    const QFFlowInputItemSet& changedInputItems() const { return changedInputItems_; }

    // Whether the documents differ from `other`'s: other paths, or another
    // token for a path; or a path given is wrong in another way. True when
    // there is no other.
    bool hasChangedSinceSnapshot(const QFFlowInputSnapshot* other) const;
    // The same documents, with the changed set holding those whose token is
    // missing from `other` or differs (all of them without another).
    // Documents that vanished since `other` are not reported.
    std::shared_ptr<const QFFlowInputSnapshot> snapshotWithChangesSinceSnapshot(
        const QFFlowInputSnapshot* other) const;

    // The documents, shared by the snapshots made from one another.
    struct Contents {
        ItemsByType typeToInputItems;
        ItemsByURL urlToInputItem;
        TokensByURL urlToModificationToken;
        QFFlowInputProblems problems;
    };
    QFFlowInputSnapshot(std::shared_ptr<const Contents> contents, QFFlowInputItemSet changed);

private:
    const std::shared_ptr<const Contents> contents_;
    const QFFlowInputItemSet changedInputItems_;
};
