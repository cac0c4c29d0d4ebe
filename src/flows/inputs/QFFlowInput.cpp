#include "flows/inputs/QFFlowInput.h"

#include "flows/inputs/QFFlowPlugInManager.h"
#include "flows/shared/QFKeyedArchive.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/Bookmark.h"
#include "platform/files/FolderWalk.h"
#include "platform/files/PathRefusal.h"
#include "platform/files/TypeIdentifier.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {

// Input paths are kept absolute and normal, as file URLs are.
std::string normalisedPath(const std::string& path) {
    std::error_code error;
    std::string normal = std::filesystem::absolute(path, error).lexically_normal().string();
    if (error) return path;
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

// A path given as input stands for what it leads to: a folder given
// through a link is walked, a document given through one is that document.
// Links found inside folders are not followed, and no document.
bool isFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// Why the path given as input yields no documents of `types` before it is
// looked into: it cannot be opened, or it is a file of another type (a
// link may lead to one).
std::optional<QFFlowInputProblem> problemOfGivenURL(const std::string& url,
                                                    const std::set<std::string>& types) {
    if (auto refusal = lf::PathRefusal::of(url))
        return QFFlowInputProblem{QFFlowInputProblem::cannotBeOpened, std::move(refusal)};
    if (isFolder(url)) return std::nullopt;
    const auto type = lf::typeIdentifierForNamedPath(url);
    if (type && types.count(*type)) return std::nullopt;
    return QFFlowInputProblem{QFFlowInputProblem::notOfAcceptedType, std::nullopt};
}

// Visits everything below `folder`, hidden items too, links not followed;
// whether `visit` took anything. A folder that cannot be listed, or that
// goes while it is walked (as a writer's own folders may, beside the
// documents), hides nothing of the rest.
bool walkFolder(
    const std::string& folder,
    const std::function<bool(const std::string&, const std::optional<std::string>&)>& visit) {
    bool took = false;
    lf::walkFolderTree(folder, [&](const std::string& path, const struct stat&) {
        took = visit(path, lf::typeIdentifierForPath(path)) || took;
    });
    return took;
}

}  // namespace

QFFlowInput::QFFlowInput() = default;

QFFlowInput::QFFlowInput(const std::vector<std::string>& allowedTypes)
    : inputTypes_(allowedTypes.begin(), allowedTypes.end()) {}

QFFlowInput::~QFFlowInput() {
    if (!changeObserver_) return;
    // The observer's presenters belong to the main thread.
    auto stop = [observer = std::move(changeObserver_)] {
        observer->setDelegate({});
        observer->setSuspended(true);
    };
    if (lf::isMainThread())
        stop();
    else
        lf::MainQueue::shared()->async(std::move(stop));
}

std::shared_ptr<QFFlowInput> QFFlowInput::decode(const nlohmann::json& archive) {
    QFKeyedDecoder decoder(archive, kClassName);
    if (!decoder.isArchiveOfClass()) {
        lf::log("Couldn't decode a flow input: {}", decoder.damage());
        return nullptr;
    }
    auto types = decoder.decodeStringArray("inputTypes");
    // Types that cannot be read are those a new flow's input takes.
    if (!types && decoder.containsValueForKey("inputTypes"))
        types = QFFlowPlugInManager::defaultManager()->acceptedInputTypes();
    auto input = std::make_shared<QFFlowInput>(types.value_or(std::vector<std::string>{}));
    if (const nlohmann::json* bookmarks = decoder.decodeArrayElements("inputBookmarks"))
        input->decodeBookmarks(*bookmarks, decoder);
    if (const nlohmann::json* urls = decoder.decodeArrayElements("inputURLs"))
        input->decodeURLs(*urls, decoder);
    for (const auto& key : decoder.unreadableKeys())
        lf::log(
            "Couldn't decode the \"{}\" of a flow input: what is of the wrong kind is left out "
            "and kept as stored",
            key);
    input->keepUnreadableValues(archive, decoder.unreadableKeys());
    input->updateObserverURLs();
    return input;
}

void QFFlowInput::decodeBookmarks(const nlohmann::json& stored, QFKeyedDecoder& decoder) {
    auto& urls = inputURLsWithSecurityScope_.emplace();
    auto& bookmarks = inputURLBookmarksWithSecurityScope_.emplace();
    for (const auto& element : stored) {
        auto bookmark = QFUnarchivedData(element);
        if (!bookmark) {
            decoder.noteUnreadableValueForKey("inputBookmarks");
            keptBookmarks_.push_back(element);
            continue;
        }
        auto resolved = lf::resolveBookmarkData(*bookmark);  // staleness does not matter
        if (!resolved) {
            // A document on a disk not mounted now, one moved away, or damage.
            lf::log("Couldn't resolve security-scoped bookmark: {}; it is kept as stored",
                    lf::describe(resolved.error()));
            keptBookmarks_.push_back(element);
            continue;
        }
        // A kept bookmark that resolves again may name a document added
        // since: it is read once.
        if (std::find(urls.begin(), urls.end(), resolved->path) != urls.end()) continue;
        urls.push_back(resolved->path);
        bookmarks.push_back(std::move(*bookmark));
    }
}

void QFFlowInput::decodeURLs(const nlohmann::json& stored, QFKeyedDecoder& decoder) {
    auto& urls = inputURLsWithoutSecurityScope_.emplace();
    for (const auto& element : stored) {
        if (element.is_string()) {
            urls.push_back(element.get<std::string>());
        } else {
            decoder.noteUnreadableValueForKey("inputURLs");
            keptURLs_.push_back(element);
        }
    }
}

void QFFlowInput::keepUnreadableValues(const nlohmann::json& archive,
                                       const std::vector<std::string>& keys) {
    // The elements of lists are kept one by one, so that documents added
    // later are archived beside them; other values are kept whole.
    std::vector<QFKeptArchiveValues::KeyGroup> groups;
    for (const auto& key : keys) {
        auto value = archive.find(key);
        if (key == "inputTypes" || value == archive.end() || !value->is_array())
            groups.push_back({key});
    }
    keptValues_ = QFKeptArchiveValues(archive, groups, encode());
}

nlohmann::json QFFlowInput::encode() const {
    nlohmann::json archive = {{QFArchivedClassKey, kClassName}};
    lock_.wait();
    if (!inputTypes_.empty()) archive["inputTypes"] = inputTypes_;
    if (inputURLBookmarksWithSecurityScope_) {
        nlohmann::json bookmarks = nlohmann::json::array();
        for (const auto& bookmark : *inputURLBookmarksWithSecurityScope_)
            bookmarks.push_back(QFArchivedData(bookmark));
        bookmarks.insert(bookmarks.end(), keptBookmarks_.begin(), keptBookmarks_.end());
        archive["inputBookmarks"] = std::move(bookmarks);
    }
    if (inputURLsWithoutSecurityScope_) {
        nlohmann::json urls = *inputURLsWithoutSecurityScope_;
        urls.insert(urls.end(), keptURLs_.begin(), keptURLs_.end());
        archive["inputURLs"] = std::move(urls);
    }
    keptValues_.restoreInto(archive);
    lock_.signal();
    return archive;
}

std::set<std::string> QFFlowInput::inputTypes() const {
    lock_.wait();
    std::set<std::string> types = inputTypes_;
    lock_.signal();
    return types;
}

void QFFlowInput::limitToSubsetOfAllowedTypes(const std::vector<std::string>& types) {
    lock_.wait();
    inputTypes_ = std::set<std::string>(types.begin(), types.end());
    // Replaced: stored types that could not be read are no longer kept,
    // even when those given are the ones they were taken for.
    keptValues_.forget("inputTypes");
    lock_.signal();
}

void QFFlowInput::addInputWithURLs(const std::vector<std::string>& urls) {
    lock_.wait();
    auto without = inputURLsWithoutSecurityScope_.value_or(std::vector<std::string>{});
    auto with = inputURLsWithSecurityScope_.value_or(std::vector<std::string>{});
    auto bookmarks = inputURLsWithSecurityScope_
                         ? inputURLBookmarksWithSecurityScope_.value_or(std::vector<lf::Data>{})
                         : std::vector<lf::Data>{};
    for (const auto& given : urls) {
        const std::string url = normalisedPath(given);
        if (std::find(with.begin(), with.end(), url) != with.end() ||
            std::find(without.begin(), without.end(), url) != without.end())
            continue;
        auto bookmark = lf::createBookmarkData(url);
        if (!bookmark) {
            lf::log("Couldn't create security-scoped bookmark for input URL: {} ({})", url,
                    lf::describe(bookmark.error()));
            without.push_back(url);
            continue;
        }
        auto resolved = lf::resolveBookmarkData(*bookmark);
        if (!resolved) {
            lf::log("Couldn't resolve security-scoped bookmark for input URL: {} ({})", url,
                    lf::describe(resolved.error()));
            continue;
        }
        with.push_back(resolved->path);
        bookmarks.push_back(std::move(*bookmark));
    }
    inputURLsWithoutSecurityScope_ = std::move(without);
    inputURLsWithSecurityScope_ = std::move(with);
    inputURLBookmarksWithSecurityScope_ = std::move(bookmarks);
    lock_.signal();

    updateObserverURLs();
    makeSnapshotForCurrentInput();
}

std::set<std::string> QFFlowInput::inputURLs() const {
    lock_.wait();
    std::set<std::string> urls;
    for (const auto* list : {&inputURLsWithSecurityScope_, &inputURLsWithoutSecurityScope_})
        if (*list) urls.insert((*list)->begin(), (*list)->end());
    lock_.signal();
    return urls;
}

void QFFlowInput::updateObserverURLs() {
    lock_.wait();
    inputObserverURLs_.clear();
    for (const auto* list : {&inputURLsWithSecurityScope_, &inputURLsWithoutSecurityScope_})
        if (*list) inputObserverURLs_.insert((*list)->begin(), (*list)->end());
    lock_.signal();
    // The observer belongs to the main thread; input added elsewhere reaches
    // it there.
    auto handOver = [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || !self->changeObserver_) return;
        self->lock_.wait();
        std::set<std::string> urls = self->inputObserverURLs_;
        self->lock_.signal();
        self->changeObserver_->setObservedURLs(std::move(urls));
    };
    if (lf::isMainThread())
        handOver();
    else
        lf::MainQueue::shared()->async(std::move(handOver));
}

void QFFlowInput::detectInput() {
    makeSnapshotForCurrentInput();
}

void QFFlowInput::makeSnapshotForCurrentInput() {
    lock_.wait();
    const std::shared_ptr<const QFFlowInputSnapshot> previous = latestInputSnapshot_;
    QFFlowInputSnapshot::ItemsByType itemsByType;
    QFFlowInputSnapshot::ItemsByURL itemsByURL;
    QFFlowInputSnapshot::TokensByURL tokensByURL;
    QFFlowInputProblems problems;
    for (const auto& type : inputTypes_)
        itemsByType[type];

    auto walk = [&](const std::string& url, const std::optional<std::string>& container) {
        const auto visit = [&](const std::string& path, const std::optional<std::string>& type) {
            return visitURL(path, type, container, inputTypes_, previous.get(), itemsByType,
                            itemsByURL, tokensByURL);
        };
        if (auto problem = problemOfGivenURL(url, inputTypes_))
            problems.emplace(url, std::move(*problem));
        else if (!isFolder(url))
            visit(url, lf::typeIdentifierForNamedPath(url));
        else if (!walkFolder(url, visit))
            problems.emplace(
                url, QFFlowInputProblem{QFFlowInputProblem::holdsNoDocuments, std::nullopt});
    };
    if (inputURLsWithSecurityScope_)
        for (const auto& url : *inputURLsWithSecurityScope_)
            walk(url, url);
    if (inputURLsWithoutSecurityScope_)
        for (const auto& url : *inputURLsWithoutSecurityScope_)
            walk(url, std::nullopt);

    auto snapshot = std::make_shared<const QFFlowInputSnapshot>(
        std::move(itemsByType), std::move(itemsByURL), std::move(tokensByURL), std::move(problems));
    latestInputSnapshot_ = snapshot;
    // The first snapshot is no change.
    const bool changed = previous && snapshot->hasChangedSinceSnapshot(previous.get());
    lock_.signal();

    if (!changed) return;
    lf::MainQueue::shared()->async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->detectedChangesHandler_) self->detectedChangesHandler_();
    });
}

bool QFFlowInput::visitURL(const std::string& url, const std::optional<std::string>& type,
                           const std::optional<std::string>& container,
                           const std::set<std::string>& types, const QFFlowInputSnapshot* previous,
                           QFFlowInputSnapshot::ItemsByType& itemsByType,
                           QFFlowInputSnapshot::ItemsByURL& itemsByURL,
                           QFFlowInputSnapshot::TokensByURL& tokensByURL) const {
    if (!type || !types.count(*type)) return false;
    if (itemsByURL.count(url)) return true;
    std::shared_ptr<const QFFlowInputItem> item;
    if (previous) {
        auto known = previous->URLToInputItemMap().find(url);
        if (known != previous->URLToInputItemMap().end()) item = known->second;
    }
    if (!item) item = std::make_shared<const QFFlowInputItem>(url, container);
    tokensByURL[url] = QFModificationToken::forPath(url);
    itemsByURL[url] = item;
    itemsByType[*type].insert(item);
    return true;
}

std::shared_ptr<const QFFlowInputSnapshot> QFFlowInput::snapshotWithChangesSinceSnapshot(
    const QFFlowInputProtocol* since) const {
    lock_.wait();
    std::shared_ptr<const QFFlowInputSnapshot> latest = latestInputSnapshot_;
    lock_.signal();
    if (!latest) return nullptr;
    return latest->snapshotWithChangesSinceSnapshot(
        dynamic_cast<const QFFlowInputSnapshot*>(since));
}

void QFFlowInput::setDetectsChanges(bool detectsChanges) {
    lf::assertMainThread("QFFlowInput::setDetectsChanges");
    if (detectsChanges == detectsChanges_) return;
    detectsChanges_ = detectsChanges;
    if (detectsChanges) {
        if (!changeObserver_) {
            changeObserver_ = std::make_shared<QFFileObserver>();
            changeObserver_->setDelegate(weak_from_this());
        }
        lock_.wait();
        std::set<std::string> urls = inputObserverURLs_;
        lock_.signal();
        if (willStartWatchingHook_) willStartWatchingHook_();
        changeObserver_->setObservedURLs(std::move(urls));
        changeObserver_->setSuspended(false);
        // A save made after the latest snapshot but before the watch began
        // is seen by no watch: one more snapshot, now that the watch is on,
        // reports it.
        ++pendingWatchStartSnapshots_;
        lf::DispatchQueue::global(lf::QueuePriority::Low)->async([self = shared_from_this()] {
            self->makeSnapshotForCurrentInput();
            --self->pendingWatchStartSnapshots_;
        });
    } else {
        changeObserver_->setSuspended(true);
        changeObserver_->setObservedURLs({});
    }
}

void QFFlowInput::setDetectedChangesHandler(std::function<void()> handler) {
    lf::assertMainThread("QFFlowInput::setDetectedChangesHandler");
    detectedChangesHandler_ = std::move(handler);
}

void QFFlowInput::observedChangeAtPath(QFFileObserver&, const std::optional<std::string>&) {
    lf::DispatchQueue::global(lf::QueuePriority::Low)->async([self = shared_from_this()] {
        self->makeSnapshotForCurrentInput();
    });
}

void QFFlowInput::observedChangeInDirectoryAtPath(FSEventObserver&, const std::string&, bool) {
    lf::DispatchQueue::global(lf::QueuePriority::Low)->async([self = shared_from_this()] {
        self->makeSnapshotForCurrentInput();
    });
}

QFFlowInputAvailability QFFlowInput::availabilityOfInputTypes(const std::vector<std::string>& types,
                                                              const std::vector<std::string>& urls,
                                                              unsigned) {
    bool foldersGiven = false;
    bool filesGiven = false;
    for (const auto& url : urls) {
        if (isFolder(url)) {
            foldersGiven = true;
            continue;
        }
        auto type = lf::typeIdentifierForNamedPath(url);
        if (type && std::find(types.begin(), types.end(), *type) != types.end()) filesGiven = true;
    }
    if (filesGiven) return QFFlowInputAvailabilityFiles;
    return foldersGiven ? QFFlowInputAvailabilityFoldersOnly : QFFlowInputAvailabilityNone;
}
