#pragma once
// OMLocalizer: the one road from a dotted key ("recents-repeat.button.tooltip")
// to the user-visible text, read from a string table of a bundle.
//
// Callers show the key itself when the answer is nullopt; OMLocalizedString
// does that for the default localizer.
//
// Table texts may redirect: a text "@alias other.key" answers the text of
// other.key, through a chain of aliases; a chain longer than
// kMaxAliasDepth (a cycle, in practice) counts as missing, with one "***"
// line. A text equal to its own key counts as missing.
//
// Variants: with arguments, the most specific variant key the table holds
// wins. For the key K and the argument keys (a, b) the table is asked, in
// order, for "K (a:%@ b:%@)", then "K (a:%@)" and "K (b:%@)", then "K"; a
// variant answers only when every argument it names has a value, and its
// "%@" receive those values in the variant's order (OMFormatString).
//
// Every answer, a missing key included, is kept for the localizer's life, so
// the table is read once per key and form; the variants of a key are kept
// per list of argument keys.
//
// Threads: any thread may call a localizer. Its caches are guarded by one
// mutex, held only while they are read or filled; variants are formatted
// and aliases followed outside it.

#include "kit/Bundle.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Argument name to its value, already formatted as text.
using OMLocalizerArguments = std::map<std::string, std::string, std::less<>>;

class OMLocalizer {
public:
    static constexpr int kMaxAliasDepth = 16;
    // Variants naming more arguments than this are never tried.
    static constexpr size_t kMaxVariantArguments = 16;

    // The localizer of the main bundle's default table, made once.
    static const std::shared_ptr<const OMLocalizer>& defaultLocalizer();
    // The localizer of `table` (the default table when empty) of `bundle`
    // (the main bundle when null), made on first request and kept for the
    // process's life.
    static std::shared_ptr<const OMLocalizer> localizerForBundle(
        std::shared_ptr<const lf::Bundle> bundle, std::string_view table);

    explicit OMLocalizer(std::shared_ptr<const lf::Bundle> bundle, std::string table = {});
    OMLocalizer(const OMLocalizer&) = delete;
    OMLocalizer& operator=(const OMLocalizer&) = delete;

    // Reads the table now, unless it was read already, so that the texts
    // asked for later are at hand even when no file can be opened then (at
    // the limit of open files, where a failure most needs its words).
    void loadTable() const;

    // The text of `key`, or nullopt when the table has none (or the key is
    // empty). Texts are answered as written: "%%" stays two characters.
    std::optional<std::string> localizedStringForKey(std::string_view key) const;
    // The text of the most specific variant of `key` for `argumentKeys`
    // whose arguments all have values, formatted with them; nullopt when no
    // variant, nor the key itself, has a text.
    std::optional<std::string> localizedStringForKey(
        std::string_view key, const OMLocalizerArguments& arguments,
        const std::vector<std::string>& argumentKeys) const;

private:
    // A way to answer a lookup with arguments: a variant's text with the
    // arguments it names, or an alias to follow.
    struct Candidate {
        std::vector<std::string> argumentNames;
        std::string text;
        bool isAlias = false;
    };
    using Candidates = std::vector<Candidate>;

    std::optional<std::string> tableText(std::string_view key) const;
    std::optional<std::string> resolveWithoutArguments(std::string_view key) const;
    std::shared_ptr<const Candidates> candidatesForKey(
        std::string_view key, const std::vector<std::string>& argumentKeys) const;
    Candidates buildCandidates(std::string_view key,
                               const std::vector<std::string>& argumentKeys) const;
    std::optional<std::string> lookUp(std::string_view key, const OMLocalizerArguments& arguments,
                                      const std::vector<std::string>& argumentKeys,
                                      int aliasDepth) const;

    const std::shared_ptr<const lf::Bundle> bundle_;
    const std::string table_;

    mutable std::mutex cacheMutex_;
    mutable std::map<std::string, std::optional<std::string>, std::less<>> withoutArguments_;
    mutable std::map<std::pair<std::string, std::vector<std::string>>,
                     std::shared_ptr<const Candidates>>
        withArguments_;
};

// The default localizer's text of `key`, or the key itself when there is
// none: what every caller shows.
std::string OMLocalizedString(std::string_view key);
std::string OMLocalizedString(std::string_view key, const OMLocalizerArguments& arguments,
                              const std::vector<std::string>& argumentKeys);
