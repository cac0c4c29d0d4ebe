#include "flows/watching/QFFileWatcher.h"

#include "flows/shared/QFKeyedArchive.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Bookmark.h"
#include "platform/files/FileWatcher.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::chrono::milliseconds kFileWatcherLatency{500};

lf::SystemTime modificationTime(const struct stat& info) {
    return lf::SystemTime(std::chrono::seconds(info.st_mtim.tv_sec));
}

lf::Error watcherError(QFFileWatcherErrorCode code) {
    return lf::Error(QFFileWatcherErrorDomain, code);
}

}  // namespace

std::shared_ptr<QFFileWatcher> QFFileWatcher::create(const std::string& url,
                                                     bool manageSecurityScope) {
    if (url.empty()) return nullptr;
    std::error_code error;
    std::string path = std::filesystem::absolute(url, error).lexically_normal().string();
    if (error) return nullptr;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return nullptr;
    auto watcher = std::make_shared<QFFileWatcher>(Token{}, path, manageSecurityScope, info.st_dev,
                                                   info.st_ino);
    // Made here, not started: it holds the watcher only weakly.
    watcher->folderEventStream_ = std::make_unique<lf::FileWatcher>(
        watcher->watcherQueue_,
        [weak = std::weak_ptr<QFFileWatcher>(watcher)](const std::set<std::string>&) {
            if (auto self = weak.lock()) self->streamReported();
        },
        kFileWatcherLatency);
    watcher->folderEventStream_->setWatchedPaths({path});
    return watcher;
}

QFFileWatcher::QFFileWatcher(Token, std::string url, bool manageSecurityScope, dev_t device,
                             ino_t inode)
    : url_(std::move(url)),
      managesSecurityScope_(manageSecurityScope),
      rootDevice_(device),
      rootInode_(inode),
      watcherQueue_(lf::DispatchQueue::createSerial("layerflow.flows.file-watcher")) {}

QFFileWatcher::~QFFileWatcher() = default;

std::shared_ptr<QFFileWatcher> QFFileWatcher::decode(const nlohmann::json& archive) {
    QFKeyedDecoder decoder(archive, kClassName);
    const bool managesScope = decoder.decodeBool("managesSecurityScope").value_or(false);
    std::string url;
    if (managesScope) {
        auto bookmark = decoder.decodeData("bookmarkData");
        if (!bookmark) return nullptr;
        auto resolved = lf::resolveBookmarkData(*bookmark);
        if (!resolved || resolved->isStale) return nullptr;
        url = resolved->path;
    } else if (auto path = decoder.decodeString("path");
               path && ::access(path->c_str(), R_OK) == 0) {
        url = *path;
    }
    const nlohmann::json* cache = decoder.decodeObject("itemCache");
    if (decoder.isDamaged()) return nullptr;
    auto watcher = create(url, managesScope);
    if (!watcher || !cache) return watcher;
    for (const auto& [path, record] : cache->items())
        if (auto file = QFWatchedFile::decode(record)) watcher->itemCache_[path] = std::move(file);
    return watcher;
}

nlohmann::json QFFileWatcher::encode() const {
    nlohmann::json archive = {{QFArchivedClassKey, kClassName}};
    if (managesSecurityScope_) {
        if (auto bookmark = lf::createBookmarkData(url_))
            archive["bookmarkData"] = QFArchivedData(*bookmark);
    } else {
        archive["path"] = url_;
    }
    archive["managesSecurityScope"] = managesSecurityScope_;
    nlohmann::json cache = nlohmann::json::object();
    onWatcherQueue([&] {
        for (const auto& [path, record] : itemCache_)
            cache[path] = record->encode();
    });
    archive["itemCache"] = std::move(cache);
    return archive;
}

void QFFileWatcher::onWatcherQueue(const std::function<void()>& work) const {
    if (watcherQueue_->isCurrent())
        work();
    else
        watcherQueue_->sync(work);
}

void QFFileWatcher::assertOnWatcherQueue(const char* method) const {
    if (watcherQueue_->isCurrent()) return;
    lf::log("*** {} called from the wrong queue", method);
    std::abort();
}

void QFFileWatcher::watchWithHandler(Handler handler) {
    onWatcherQueue([&] {
        if (watching_) {
            if (handler)
                handler(std::nullopt, watcherError(QFFileWatcherErrorAlreadyWatching), true);
            return;
        }
        struct stat info {};
        if (::stat(url_.c_str(), &info) != 0) {
            if (handler) handler(std::nullopt, watcherError(QFFileWatcherErrorItemMissing), true);
            return;
        }
        handler_ = std::move(handler);
        watching_ = true;
        folderEventStream_->setSuspended(false);
        watcherQueue_->async([weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->deliverPendingChanges();
                self->checkCache();
            }
        });
    });
}

void QFFileWatcher::pause() {
    onWatcherQueue([&] {
        if (!watching_) return;
        folderEventStream_->setSuspended(true);
        handler_ = nullptr;
        watching_ = false;
    });
}

bool QFFileWatcher::isWatching() const {
    bool watching = false;
    onWatcherQueue([&] { watching = watching_; });
    return watching;
}

void QFFileWatcher::setPredicate(Predicate predicate) {
    onWatcherQueue([&] { predicate_ = std::move(predicate); });
}

bool QFFileWatcher::rootChanged() const {
    struct stat info {};
    return ::stat(url_.c_str(), &info) != 0 || info.st_dev != rootDevice_ ||
           info.st_ino != rootInode_;
}

void QFFileWatcher::streamReported() {
    assertOnWatcherQueue("QFFileWatcher::streamReported");
    if (!watching_) return;
    if (rootChanged()) {
        // Copied: the handler may be dropped while it runs.
        if (Handler handler = handler_)
            handler(std::nullopt, watcherError(QFFileWatcherErrorRootChanged), true);
        pause();
        return;
    }
    // The events say only that something below the root changed, so the
    // whole tree is looked at again.
    processItem(url_, true);
    deliverPendingChanges();
}

void QFFileWatcher::processItem(const std::string& path, bool recursive) {
    assertOnWatcherQueue("QFFileWatcher::processItem");
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
        scanFolder(path, recursive);
        return;
    }
    if (predicate_ && !predicate_(path)) return;
    if (recordModificationDate(path, modificationTime(info))) updatedFileURLs_.insert(path);
}

void QFFileWatcher::scanFolder(const std::string& path, bool recursive) {
    if (!watching_) return;
    std::error_code error;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        const std::string entry = it->path().string();
        struct stat info {};
        const bool reached = ::lstat(entry.c_str(), &info) == 0;
        const bool isFolder = reached && S_ISDIR(info.st_mode);
        if (isFolder ? !recursive : (predicate_ && !predicate_(entry))) continue;
        if (reached && S_ISREG(info.st_mode)) {
            if (recordModificationDate(entry, modificationTime(info)))
                updatedFileURLs_.insert(entry);
        } else if (isFolder) {
            scanFolder(entry, recursive);
        }
    }
}

bool QFFileWatcher::recordModificationDate(const std::string& path, lf::SystemTime date) {
    assertOnWatcherQueue("QFFileWatcher::recordModificationDate");
    auto& record = itemCache_[path];
    if (!record) {
        record = std::make_shared<QFWatchedFile>(path);
        record->setLastModified(date);
        return true;
    }
    if (record->lastModified() == date) return false;
    record->setLastModified(date);
    return true;
}

void QFFileWatcher::deliverPendingChanges() {
    assertOnWatcherQueue("QFFileWatcher::deliverPendingChanges");
    if (!watching_ || updatedFileURLs_.empty() || !handler_) return;
    std::set<std::string> changed;
    changed.swap(updatedFileURLs_);
    Handler handler = handler_;
    handler(changed, std::nullopt, false);
}

void QFFileWatcher::checkCache() {
    assertOnWatcherQueue("QFFileWatcher::checkCache");
    std::set<std::string> changed;
    for (const auto& [path, record] : itemCache_) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) continue;
        if (recordModificationDate(path, modificationTime(info))) changed.insert(path);
    }
    if (changed.empty()) return;
    if (Handler handler = handler_) handler(changed, std::nullopt, false);
}
