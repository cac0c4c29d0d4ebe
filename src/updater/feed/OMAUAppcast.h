#pragma once
// OMAUAppcast: the feed of one update check. fetchAppcastFromURL loads and
// parses the feed on a thread of its own and tells the delegate on the
// main queue; the delegate then holds the appcast (it is handed over) and
// the appcast is not touched by any other thread.
//
// A feed that cannot be loaded or read finishes with no items, which the
// engine takes as a failed load; a failure while the items are built is
// reported as a failed load.

#include "updater/feed/OMAUAppcastItem.h"
#include "updater/shared/OMAUHost.h"

#include <memory>
#include <string>
#include <vector>

class OMAUAppcast;

class OMAUAppcastDelegate {
public:
    virtual ~OMAUAppcastDelegate() = default;
    virtual void appcastDidFinishLoading(std::shared_ptr<OMAUAppcast>) {}
    virtual void appcastDidFailToLoad(std::shared_ptr<OMAUAppcast>) {}
};

class OMAUAppcast : public std::enable_shared_from_this<OMAUAppcast> {
public:
    // The feed's requests carry the user agent of `host`.
    static std::shared_ptr<OMAUAppcast> create(std::shared_ptr<const OMAUHost> host);

    // Held weakly: nothing is told once the delegate is gone.
    void setDelegate(std::weak_ptr<OMAUAppcastDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    // Starts the fetch and returns at once. Only https is trusted, and plain
    // http from this computer itself (lf::URLRequest::requiresSecureTransport).
    void fetchAppcastFromURL(const std::string& url);
    // The URL the feed was fetched from; empty before.
    const std::string& url() const { return url_; }

    // Newest first; empty until a fetch has finished.
    const std::vector<OMAUAppcastItem>& items() const { return items_; }
    // The first item, or null.
    const OMAUAppcastItem* newestItem() const { return items_.empty() ? nullptr : &items_.front(); }

private:
    explicit OMAUAppcast(std::shared_ptr<const OMAUHost> host) : host_(std::move(host)) {}
    // On the fetch thread; whether the items could be built.
    bool fetch(const std::string& url);

    const std::shared_ptr<const OMAUHost> host_;
    std::weak_ptr<OMAUAppcastDelegate> delegate_;
    std::string url_;
    std::vector<OMAUAppcastItem> items_;
};
