#include "kit/OMLocalizer.h"

#include "kit/OMStringFormat.h"
#include "platform/core/Log.h"

#include <algorithm>
#include <numeric>
#include <set>

namespace {

constexpr std::string_view kAliasPrefix = "@alias ";

// The key a text redirects to, when it is an alias (possibly empty).
std::optional<std::string_view> aliasTarget(std::string_view text) {
    if (!text.starts_with(kAliasPrefix)) return std::nullopt;
    return text.substr(kAliasPrefix.size());
}

// "K (a:%@ b:%@)" for the key K and the names a and b; K alone for none.
std::string variantKey(std::string_view key, const std::vector<std::string>& names) {
    std::string variant(key);
    if (names.empty()) return variant;
    variant += " (";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) variant += ' ';
        variant += names[i];
        variant += ":%@";
    }
    variant += ')';
    return variant;
}

// Calls `visit` with every choice of `count` of `names`, each in the order
// of `names`.
template <class Visit>
void forEachChoice(const std::vector<std::string>& names, size_t count, Visit visit) {
    const size_t n = names.size();
    std::vector<size_t> chosen(count);
    std::iota(chosen.begin(), chosen.end(), size_t{0});
    std::vector<std::string> choice(count);
    while (true) {
        for (size_t i = 0; i < count; ++i)
            choice[i] = names[chosen[i]];
        visit(choice);
        // The next choice: raise the last index that can still rise and
        // line up the ones after it.
        size_t i = count;
        while (i > 0 && chosen[i - 1] == n - count + i - 1)
            --i;
        if (i == 0) return;
        ++chosen[i - 1];
        for (size_t j = i; j < count; ++j)
            chosen[j] = chosen[j - 1] + 1;
    }
}

}  // namespace

const std::shared_ptr<const OMLocalizer>& OMLocalizer::defaultLocalizer() {
    static const auto localizer = std::make_shared<const OMLocalizer>(lf::Bundle::main());
    return localizer;
}

std::shared_ptr<const OMLocalizer> OMLocalizer::localizerForBundle(
    std::shared_ptr<const lf::Bundle> bundle, std::string_view table) {
    static std::mutex mutex;
    static std::map<std::shared_ptr<const lf::Bundle>,
                    std::map<std::string, std::shared_ptr<const OMLocalizer>, std::less<>>>
        localizers;
    if (!bundle) bundle = lf::Bundle::main();
    std::lock_guard lock(mutex);
    auto& ofBundle = localizers[bundle];
    if (auto it = ofBundle.find(table); it != ofBundle.end()) return it->second;
    auto localizer = std::make_shared<const OMLocalizer>(bundle, std::string(table));
    ofBundle.emplace(std::string(table), localizer);
    return localizer;
}

OMLocalizer::OMLocalizer(std::shared_ptr<const lf::Bundle> bundle, std::string table)
    : bundle_(std::move(bundle)), table_(std::move(table)) {}

void OMLocalizer::loadTable() const {
    bundle_->loadStringTable(table_);
}

std::optional<std::string> OMLocalizer::localizedStringForKey(std::string_view key) const {
    if (key.empty()) return std::nullopt;
    std::lock_guard lock(cacheMutex_);
    if (auto it = withoutArguments_.find(key); it != withoutArguments_.end()) return it->second;
    std::optional<std::string> text = resolveWithoutArguments(key);
    withoutArguments_.emplace(std::string(key), text);
    return text;
}

std::optional<std::string> OMLocalizer::localizedStringForKey(
    std::string_view key, const OMLocalizerArguments& arguments,
    const std::vector<std::string>& argumentKeys) const {
    if (key.empty()) return std::nullopt;
    return lookUp(key, arguments, argumentKeys, 0);
}

std::optional<std::string> OMLocalizer::tableText(std::string_view key) const {
    std::string text = bundle_->localizedString(key, {}, table_);
    if (text == key) return std::nullopt;
    return text;
}

std::optional<std::string> OMLocalizer::resolveWithoutArguments(std::string_view key) const {
    std::string current(key);
    for (int depth = 0; depth <= kMaxAliasDepth; ++depth) {
        std::optional<std::string> text = tableText(current);
        if (!text) return std::nullopt;
        std::optional<std::string_view> target = aliasTarget(*text);
        if (!target) return *text == key ? std::nullopt : text;
        if (target->empty()) return std::nullopt;
        current = *target;
    }
    lf::log("*** localizer: the aliases from \"{}\" go deeper than {} steps; a cycle?", key,
            kMaxAliasDepth);
    return std::nullopt;
}

std::shared_ptr<const OMLocalizer::Candidates> OMLocalizer::candidatesForKey(
    std::string_view key, const std::vector<std::string>& argumentKeys) const {
    std::pair<std::string, std::vector<std::string>> cacheKey(key, argumentKeys);
    std::lock_guard lock(cacheMutex_);
    auto& candidates = withArguments_[std::move(cacheKey)];
    if (!candidates)
        candidates = std::make_shared<const Candidates>(buildCandidates(key, argumentKeys));
    return candidates;
}

OMLocalizer::Candidates OMLocalizer::buildCandidates(
    std::string_view key, const std::vector<std::string>& argumentKeys) const {
    Candidates candidates;
    std::set<std::vector<std::string>> tried;  // repeated names make equal choices
    const size_t largest = std::min(argumentKeys.size(), kMaxVariantArguments);
    for (size_t count = largest + 1; count-- > 0;) {
        forEachChoice(argumentKeys, count, [&](const std::vector<std::string>& names) {
            if (!tried.insert(names).second) return;
            std::optional<std::string> text = tableText(variantKey(key, names));
            if (text && !aliasTarget(*text)) candidates.push_back({names, std::move(*text), false});
        });
    }
    if (std::optional<std::string> text = tableText(key)) {
        std::optional<std::string_view> target = aliasTarget(*text);
        if (target && !target->empty()) candidates.push_back({{}, std::string(*target), true});
    }
    return candidates;
}

std::optional<std::string> OMLocalizer::lookUp(std::string_view key,
                                               const OMLocalizerArguments& arguments,
                                               const std::vector<std::string>& argumentKeys,
                                               int aliasDepth) const {
    if (aliasDepth > kMaxAliasDepth) {
        lf::log("*** localizer: the aliases to \"{}\" go deeper than {} steps; a cycle?", key,
                kMaxAliasDepth);
        return std::nullopt;
    }
    const std::shared_ptr<const Candidates> candidates = candidatesForKey(key, argumentKeys);
    for (const Candidate& candidate : *candidates) {
        if (candidate.isAlias) {
            if (auto text = lookUp(candidate.text, arguments, argumentKeys, aliasDepth + 1))
                return text;
            continue;
        }
        std::vector<std::string> values;
        for (const std::string& name : candidate.argumentNames) {
            auto value = arguments.find(name);
            if (value == arguments.end()) break;
            values.push_back(value->second);
        }
        if (values.size() == candidate.argumentNames.size())
            return OMFormatString(candidate.text, values);
    }
    return std::nullopt;
}

std::string OMLocalizedString(std::string_view key) {
    return OMLocalizer::defaultLocalizer()->localizedStringForKey(key).value_or(std::string(key));
}

std::string OMLocalizedString(std::string_view key, const OMLocalizerArguments& arguments,
                              const std::vector<std::string>& argumentKeys) {
    return OMLocalizer::defaultLocalizer()
        ->localizedStringForKey(key, arguments, argumentKeys)
        .value_or(std::string(key));
}
