#include "flows/shared/QFKeptArchiveValues.h"

#include <algorithm>
#include <iterator>

namespace {

// The members of `archive` under `keys`, as an object.
nlohmann::json valuesUnder(const nlohmann::json& archive,
                           const QFKeptArchiveValues::KeyGroup& keys) {
    nlohmann::json values = nlohmann::json::object();
    if (!archive.is_object()) return values;
    for (const auto& key : keys)
        if (auto value = archive.find(key); value != archive.end()) values[key] = *value;
    return values;
}

bool holdsKey(const QFKeptArchiveValues::KeyGroup& keys, const std::string& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

QFKeptArchiveValues::QFKeptArchiveValues(const nlohmann::json& stored,
                                         const std::vector<KeyGroup>& groups,
                                         const nlohmann::json& decoded) {
    for (const auto& keys : groups) {
        Group group{keys, valuesUnder(stored, keys), valuesUnder(decoded, keys)};
        if (!group.stored.empty()) groups_.push_back(std::move(group));
    }
}

void QFKeptArchiveValues::restoreInto(nlohmann::json& archive) const {
    for (const auto& group : groups_) {
        if (valuesUnder(archive, group.keys) != group.decoded) continue;
        for (const auto& key : group.keys)
            archive.erase(key);
        archive.update(group.stored);
    }
}

void QFKeptArchiveValues::forgetChangedIn(const nlohmann::json& archive) {
    std::erase_if(groups_, [&](const Group& group) {
        return valuesUnder(archive, group.keys) != group.decoded;
    });
}

void QFKeptArchiveValues::forget(const std::string& key) {
    std::erase_if(groups_, [&](const Group& group) { return holdsKey(group.keys, key); });
}

void QFKeptArchiveValues::takeFrom(const QFKeptArchiveValues& other,
                                   const std::vector<std::string>& keys) {
    const auto holdsAny = [&](const Group& group) {
        return std::any_of(keys.begin(), keys.end(),
                           [&](const std::string& key) { return holdsKey(group.keys, key); });
    };
    std::erase_if(groups_, holdsAny);
    std::copy_if(other.groups_.begin(), other.groups_.end(), std::back_inserter(groups_), holdsAny);
}
