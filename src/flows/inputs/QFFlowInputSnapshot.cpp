#include "flows/inputs/QFFlowInputSnapshot.h"

namespace {

QFFlowInputItemSet allItems(const QFFlowInputSnapshot::ItemsByURL& items) {
    QFFlowInputItemSet all;
    for (const auto& [url, item] : items)
        all.insert(item);
    return all;
}

}  // namespace

QFFlowInputSnapshot::QFFlowInputSnapshot(ItemsByType typeToInputItems, ItemsByURL urlToInputItem,
                                         TokensByURL urlToModificationToken,
                                         QFFlowInputProblems problems,
                                         std::optional<QFFlowInputItemSet> changedInputItems)
    : contents_(std::make_shared<const Contents>(
          Contents{std::move(typeToInputItems), std::move(urlToInputItem),
                   std::move(urlToModificationToken), std::move(problems)})),
      changedInputItems_(changedInputItems ? std::move(*changedInputItems)
                                           : allItems(contents_->urlToInputItem)) {}

QFFlowInputSnapshot::QFFlowInputSnapshot(std::shared_ptr<const Contents> contents,
                                         QFFlowInputItemSet changed)
    : contents_(std::move(contents)), changedInputItems_(std::move(changed)) {}

std::optional<QFFlowInputItemSet> QFFlowInputSnapshot::inputItemsForType(const std::string& type,
                                                                         uint64_t options) const {
    if (type.empty() || options == 0) return std::nullopt;
    auto items = contents_->typeToInputItems.find(type);
    if (options & QFFlowInputItemsAll) {
        if (items == contents_->typeToInputItems.end()) return std::nullopt;
        return items->second;
    }
    QFFlowInputItemSet changed;
    if (options & QFFlowInputItemsChanged && items != contents_->typeToInputItems.end()) {
        for (const auto& item : items->second)
            if (changedInputItems_.count(item)) changed.insert(item);
    }
    return changed;
}

bool QFFlowInputSnapshot::hasInputItemsForType(const std::string& type) const {
    auto items = inputItemsForType(type, QFFlowInputItemsAll);
    return items && !items->empty();
}

bool QFFlowInputSnapshot::hasChangedSinceSnapshot(const QFFlowInputSnapshot* other) const {
    if (!other || contents_->problems != other->contents_->problems) return true;
    const TokensByURL& mine = contents_->urlToModificationToken;
    const TokensByURL& theirs = other->contents_->urlToModificationToken;
    if (mine.size() != theirs.size()) return true;
    for (const auto& [url, token] : mine) {
        auto their = theirs.find(url);
        if (their == theirs.end() || their->second != token) return true;
    }
    return false;
}

std::shared_ptr<const QFFlowInputSnapshot> QFFlowInputSnapshot::snapshotWithChangesSinceSnapshot(
    const QFFlowInputSnapshot* other) const {
    QFFlowInputItemSet changed;
    for (const auto& [url, token] : contents_->urlToModificationToken) {
        if (other) {
            const TokensByURL& theirs = other->contents_->urlToModificationToken;
            auto their = theirs.find(url);
            if (their != theirs.end() && their->second == token) continue;
        }
        if (auto item = contents_->urlToInputItem.find(url);
            item != contents_->urlToInputItem.end())
            changed.insert(item->second);
    }
    return std::make_shared<const QFFlowInputSnapshot>(contents_, std::move(changed));
}
