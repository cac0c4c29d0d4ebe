#pragma once
// QFFileWatcher: watches one file, or a folder with everything below it, and
// reports each file whose modification time changed since it was last
// seen. It remembers the time of every file it has seen (QFWatchedFile) and
// can be archived with them, so that changes made while the program was not
// running are reported when watching starts again. Nothing in the
// application makes one today.
//
// In a folder, names beginning with "." are never looked at, links are
// listed but neither recorded nor followed, and an optional predicate on
// file paths rejects files to ignore.
//
// Errors (domain QFFileWatcherErrorDomain, no user info) go to the handler
// only: the watched item does not exist when watching starts (1), the
// watched root was moved or deleted (2, and the watcher pauses), the watcher
// is already watching (3). The handler's flag is true with every error and
// false with every list of changes.
//
// Threads: any thread may call the public members. All bookkeeping runs on
// the watcher's own serial queue, where the file events arrive and where
// the handler is called; members called from that queue (the handler may
// pause the watcher) run at once.

#include "flows/watching/QFWatchedFile.h"
#include "platform/core/Error.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>

namespace lf {
class DispatchQueue;
class FileWatcher;
}  // namespace lf

inline constexpr const char* QFFileWatcherErrorDomain = "QFFileWatcherErrorDomain";
enum QFFileWatcherErrorCode : int64_t {
    QFFileWatcherErrorItemMissing = 1,
    QFFileWatcherErrorRootChanged = 2,
    QFFileWatcherErrorAlreadyWatching = 3,
};

class QFFileWatcher : public std::enable_shared_from_this<QFFileWatcher> {
public:
    static constexpr const char* kClassName = "QFFileWatcher";

    using Handler = std::function<void(const std::optional<std::set<std::string>>& changedURLs,
                                       const std::optional<lf::Error>& error, bool isError)>;
    using Predicate = std::function<bool(const std::string& path)>;

    // Null for an empty path or an item that cannot be reached.
    static std::shared_ptr<QFFileWatcher> create(const std::string& url, bool manageSecurityScope);
    // Null when the archive is damaged, its item cannot be reached, or (with
    // "managesSecurityScope") its bookmark is stale.
    static std::shared_ptr<QFFileWatcher> decode(const nlohmann::json& archive);
    nlohmann::json encode() const;

    ~QFFileWatcher();
    QFFileWatcher(const QFFileWatcher&) = delete;
    QFFileWatcher& operator=(const QFFileWatcher&) = delete;

    // Starts watching, reports what changed since the remembered times, and
    // then every later change.
    void watchWithHandler(Handler handler);
    // Stops watching and drops the handler.
    void pause();

    const std::string& URL() const { return url_; }
    bool managesSecurityScope() const { return managesSecurityScope_; }
    bool isWatching() const;
    void setPredicate(Predicate predicate);

    // Public for make_shared; use create().
    struct Token {};
    QFFileWatcher(Token, std::string url, bool manageSecurityScope, dev_t device, ino_t inode);

private:
    void onWatcherQueue(const std::function<void()>& work) const;
    void assertOnWatcherQueue(const char* method) const;
    void streamReported();
    bool rootChanged() const;
    void processItem(const std::string& path, bool recursive);
    void scanFolder(const std::string& path, bool recursive);
    bool recordModificationDate(const std::string& path, lf::SystemTime date);
    void deliverPendingChanges();
    void checkCache();

    const std::string url_;
    const bool managesSecurityScope_;
    // The root's identity, to tell when it was moved or replaced.
    const dev_t rootDevice_;
    const ino_t rootInode_;
    const std::shared_ptr<lf::DispatchQueue> watcherQueue_;
    // Watcher queue only, as is everything below.
    std::unique_ptr<lf::FileWatcher> folderEventStream_;
    std::set<std::string> updatedFileURLs_;
    std::map<std::string, std::shared_ptr<QFWatchedFile>> itemCache_;
    bool watching_ = false;
    Predicate predicate_;
    Handler handler_;
};
