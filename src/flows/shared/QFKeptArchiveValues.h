#pragma once
// QFKeptArchiveValues: the values of an archived object that its reader
// could not read, kept as they were stored, so that writing the object back
// loses none of them: a later, mended file or application reads them again.
//
// Values are kept in groups of keys that are archived together (an output
// folder is archived under one of two keys). A group is put back, as
// stored, into each archive of the object while the object's own archive of
// those keys is still what it was right after the read, when it took the
// unreadable value as unset. Once the object has a value of its own there
// (the user chose a behaviour, a run recorded its date), that value is
// written instead; forgetChangedIn lets the stored one go for good, so that
// a later return to the default does not bring back a value the user has
// since replaced.
//
// A plain value; its owner guards it.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

class QFKeptArchiveValues {
public:
    using KeyGroup = std::vector<std::string>;

    QFKeptArchiveValues() = default;
    // Keeps the values `stored` holds under each of `groups` (the keys it
    // holds), which the owner's own archive right after the read,
    // `decoded`, holds in their place.
    QFKeptArchiveValues(const nlohmann::json& stored, const std::vector<KeyGroup>& groups,
                        const nlohmann::json& decoded);

    bool empty() const { return groups_.empty(); }
    // Puts the kept groups back into `archive`, the owner's own, where it
    // holds for them what it held right after the read.
    void restoreInto(nlohmann::json& archive) const;
    // Lets go of the groups for which `archive`, the owner's own, now holds
    // something else: the owner's values replace them for good.
    void forgetChangedIn(const nlohmann::json& archive);
    // Lets go of the group of `key`: the owner set a value of its own
    // there, even one equal to what it took the stored value for.
    void forget(const std::string& key);
    // Keeps, for each of `keys`, what `other` keeps instead of what this
    // keeps: the owner took its values there from `other`'s owner.
    void takeFrom(const QFKeptArchiveValues& other, const std::vector<std::string>& keys);

private:
    struct Group {
        KeyGroup keys;
        // What the stored archive, and the owner's archive right after the
        // read, hold under the keys.
        nlohmann::json stored;
        nlohmann::json decoded;
    };
    std::vector<Group> groups_;
};
