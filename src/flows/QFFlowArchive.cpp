// A flow's archive: encoding it, decoding it with the values it cannot
// read kept as stored, and taking up what a change of the stored archive
// outside the application changed.

#include "flows/QFFlow.h"
#include "flows/QFFlowKeys.h"
#include "flows/shared/QFKeyedArchive.h"
#include "platform/core/Log.h"
#include "platform/files/Bookmark.h"

#include <algorithm>
#include <utility>

namespace {

// Archive keys of what a relaunch takes up.
constexpr const char* kLastRunErrorArchiveKey = "lastRunError";
constexpr const char* kHasUnexportedChangesArchiveKey = "hasUnexportedChanges";
constexpr const char* kExportedInputTokensArchiveKey = "exportedInputTokens";
// The output folder is archived as a bookmark, or as a path when no bookmark
// could be made.
constexpr const char* kOutputBookmarkArchiveKey = "outputDirectoryBookmarkData";
constexpr const char* kOutputURLArchiveKey = "outputDirectoryURL";

using TokensByURL = QFFlowInputSnapshot::TokensByURL;

nlohmann::json archivedTokens(const TokensByURL& tokens) {
    nlohmann::json archive = nlohmann::json::object();
    for (const auto& [url, token] : tokens)
        archive[url] = token.encode();
    return archive;
}

// The documents the output folder holds. Present but unreadable, they are
// taken as none: the flow then runs once rather than vouch for a folder it
// cannot check. Absent (archived before they were kept), they are unknown.
std::optional<TokensByURL> decodedExportedInputTokens(QFKeyedDecoder& decoder) {
    if (!decoder.containsValueForKey(kExportedInputTokensArchiveKey)) return std::nullopt;
    const nlohmann::json* archive = decoder.decodeObject(kExportedInputTokensArchiveKey);
    if (!archive) return TokensByURL{};
    TokensByURL tokens;
    for (const auto& [url, archivedToken] : archive->items()) {
        auto token = QFModificationToken::decode(archivedToken);
        if (!token) {
            decoder.noteUnreadableValueForKey(kExportedInputTokensArchiveKey);
            return TokensByURL{};
        }
        tokens.emplace(url, std::move(*token));
    }
    return tokens;
}

// What `archive` holds under `key`; null when nothing.
nlohmann::json archivedValue(const nlohmann::json& archive, const char* key) {
    if (!archive.is_object()) return nullptr;
    auto value = archive.find(key);
    return value != archive.end() ? *value : nlohmann::json();
}

// The paths of a flow's documents, which tell the flow of a log line from
// the others in the recents.
std::string documentsOf(const QFFlow& flow) {
    std::string paths;
    for (const auto& url : flow.inputURLs())
        paths += (paths.empty() ? "" : ", ") + url;
    return paths.empty() ? "no documents" : paths;
}

}  // namespace

nlohmann::json QFFlow::encode() const {
    nlohmann::json archive = encodeOwnState();
    keptValues_.restoreInto(archive);
    return archive;
}

nlohmann::json QFFlow::encodeOwnState() const {
    nlohmann::json archive = {{QFArchivedClassKey, archivedClassName()}};
    if (input_) archive["input"] = input_->encode();
    if (behavior_ != QFFlowBehaviorNone) archive["behavior"] = behavior_;
    if (name_) archive["name"] = *name_;
    if (outputDirectoryURL_) {
        if (outputDirectoryBookmarkData_)
            archive[kOutputBookmarkArchiveKey] = QFArchivedData(*outputDirectoryBookmarkData_);
        else
            archive[kOutputURLArchiveKey] = *outputDirectoryURL_;
    }
    if (lastRunDate_) archive["lastRunDate"] = QFArchivedDate(*lastRunDate_);
    archive["lastRunNumberOfItemsSaved"] = lastRunNumberOfItemsSaved_;
    if (lastRunError_) archive[kLastRunErrorArchiveKey] = QFArchivedError(*lastRunError_);
    if (hasUnexportedChanges_) archive[kHasUnexportedChangesArchiveKey] = true;
    if (exportedInputTokens_)
        archive[kExportedInputTokensArchiveKey] = archivedTokens(*exportedInputTokens_);
    return archive;
}

bool QFFlow::decodeArchive(const nlohmann::json& archive) {
    QFKeyedDecoder decoder(archive, archivedClassName());
    if (!decoder.isArchiveOfClass()) {
        lf::log("Couldn't decode a flow: {}", decoder.damage());
        return false;
    }
    const nlohmann::json* inputArchive = decoder.decodeObject("input");
    std::shared_ptr<QFFlowInput> input =
        inputArchive ? QFFlowInput::decode(*inputArchive) : nullptr;
    if (inputArchive && !input) return false;  // logged by the input

    name_ = decoder.decodeString("name");
    decodeLastRun(decoder);
    setInitialInput(std::move(input));
    const bool hasReadOutputDirectory = decodeOutputDirectory(decoder);
    decodeBehavior(decoder);
    for (const auto& key : decoder.unreadableKeys())
        lf::log(
            "Couldn't decode the \"{}\" of a flow of {}: the value is of the wrong kind; it is "
            "taken as unset and kept as stored",
            key, documentsOf(*this));
    std::vector<std::string> unreadable = decoder.unreadableKeys();
    if (!hasReadOutputDirectory) unreadable.push_back(kOutputBookmarkArchiveKey);
    keepUnreadableValues(archive, unreadable);
    return true;
}

void QFFlow::takeValuesEditedInArchive(const QFFlow& edited, const nlohmann::json& before,
                                       const nlohmann::json& after) {
    std::vector<std::string> changed;
    for (const char* key : {"name", "behavior", kOutputBookmarkArchiveKey, kOutputURLArchiveKey,
                            "lastRunDate", "lastRunNumberOfItemsSaved", kLastRunErrorArchiveKey,
                            kHasUnexportedChangesArchiveKey, kExportedInputTokensArchiveKey})
        if (archivedValue(before, key) != archivedValue(after, key)) changed.push_back(key);
    if (changed.empty()) return;
    const auto isChanged = [&](std::initializer_list<const char*> keys) {
        return std::any_of(keys.begin(), keys.end(), [&](const char* key) {
            return std::find(changed.begin(), changed.end(), key) != changed.end();
        });
    };
    // Every value first, then the kept ones, which hold while the flow's
    // own values under their keys are those `edited` read.
    if (isChanged({"name"}))
        changeValueForKey("displayName",
                          [&] { changeValueForKey("name", [&] { name_ = edited.name_; }); });
    if (isChanged({kOutputBookmarkArchiveKey, kOutputURLArchiveKey})) {
        outputDirectoryURL_ = edited.outputDirectoryURL_;
        outputDirectoryBookmarkData_ = edited.outputDirectoryBookmarkData_;
    }
    if (isChanged({"lastRunDate", "lastRunNumberOfItemsSaved"}))
        changeValueForKey(QFFlowLastRunDateKey, [&] {
            lastRunDate_ = edited.lastRunDate_;
            lastRunNumberOfItemsSaved_ = edited.lastRunNumberOfItemsSaved_;
        });
    if (isChanged({kLastRunErrorArchiveKey}))
        changeValueForKey(QFFlowLastRunErrorKey, [&] { lastRunError_ = edited.lastRunError_; });
    if (isChanged({kHasUnexportedChangesArchiveKey}))
        hasUnexportedChanges_ = edited.hasUnexportedChanges_;
    if (isChanged({kExportedInputTokensArchiveKey}))
        exportedInputTokens_ = edited.exportedInputTokens_;
    const bool behaviorChanged = isChanged({"behavior"}) && behavior_ != edited.behavior_;
    if (behaviorChanged) {
        changeValueForKey("behavior", [&] { behavior_ = edited.behavior_; });
        updateChangeDetectionSettings();
    }
    keptValues_.takeFrom(edited.keptValues_, changed);
    invalidateEncodedState();
    if (behaviorChanged) takeUpChangesNotExportedOnceWatched();
}

void QFFlow::keepUnreadableValues(const nlohmann::json& archive,
                                  const std::vector<std::string>& keys) {
    // The output folder is archived under one of two keys, never both.
    const QFKeptArchiveValues::KeyGroup outputDirectory{kOutputBookmarkArchiveKey,
                                                        kOutputURLArchiveKey};
    std::vector<QFKeptArchiveValues::KeyGroup> groups;
    for (const auto& key : keys) {
        const bool ofOutputDirectory =
            std::find(outputDirectory.begin(), outputDirectory.end(), key) != outputDirectory.end();
        QFKeptArchiveValues::KeyGroup group =
            ofOutputDirectory ? outputDirectory : QFKeptArchiveValues::KeyGroup{key};
        if (std::find(groups.begin(), groups.end(), group) == groups.end())
            groups.push_back(std::move(group));
    }
    keptValues_ = QFKeptArchiveValues(archive, groups, encodeOwnState());
}

void QFFlow::decodeBehavior(QFKeyedDecoder& decoder) {
    auto behavior = decoder.decodeInteger("behavior");
    if (behavior == QFFlowBehaviorNotifyWhenChanged ||
        behavior == QFFlowBehaviorRepeatAutomatically) {
        behavior_ = static_cast<QFFlowBehavior>(*behavior);
        updateChangeDetectionSettings();
    } else if (behavior && *behavior != QFFlowBehaviorNone) {
        // A behaviour of a later version, or damage: none until mended.
        decoder.noteUnreadableValueForKey("behavior");
    }
}

void QFFlow::decodeLastRun(QFKeyedDecoder& decoder) {
    lastRunDate_ = decoder.decodeDate("lastRunDate");
    auto itemsSaved = decoder.decodeInteger("lastRunNumberOfItemsSaved");
    lastRunNumberOfItemsSaved_ =
        itemsSaved && *itemsSaved > 0 ? static_cast<uint64_t>(*itemsSaved) : 0;
    lastRunError_ = decoder.decodeError(kLastRunErrorArchiveKey);
    hasUnexportedChanges_ = decoder.decodeBool(kHasUnexportedChangesArchiveKey).value_or(false);
    exportedInputTokens_ = decodedExportedInputTokens(decoder);
}

bool QFFlow::decodeOutputDirectory(QFKeyedDecoder& decoder) {
    auto bookmark = decoder.decodeData(kOutputBookmarkArchiveKey);
    if (!bookmark) {
        outputDirectoryURL_ = decoder.decodeString(kOutputURLArchiveKey);
        return true;  // what could not be read, the decoder noted
    }
    auto resolved = lf::resolveBookmarkData(*bookmark);  // staleness does not matter
    if (!resolved) {
        // A folder on a disk that is not mounted now, or damage.
        lf::log(
            "Couldn't resolve security-scoped bookmark for output URL ({}) of a flow of {}; it is "
            "kept as stored",
            lf::describe(resolved.error()), documentsOf(*this));
        return false;
    }
    outputDirectoryURL_ = resolved->path;
    outputDirectoryBookmarkData_ = std::move(*bookmark);
    return true;
}

void QFFlow::invalidateEncodedState() {
    if (!keptValues_.empty()) keptValues_.forgetChangedIn(encodeOwnState());
    changeValueForKey(QFFlowEncodedStateChangeTokenKey, [&] { ++encodedStateChangeToken_; });
}
