#include "updater/feed/OMAUAppcast.h"

#include "platform/dispatch/MainQueue.h"
#include "updater/shared/OMAULog.h"

#include <thread>

std::shared_ptr<OMAUAppcast> OMAUAppcast::create(std::shared_ptr<const OMAUHost> host) {
    return std::shared_ptr<OMAUAppcast>(new OMAUAppcast(std::move(host)));
}

void OMAUAppcast::fetchAppcastFromURL(const std::string& url) {
    url_ = url;
    std::thread([self = shared_from_this(), url] {
        const bool loaded = self->fetch(url);
        lf::MainQueue::shared()->async([self, loaded] {
            auto delegate = self->delegate_.lock();
            if (!delegate) return;
            if (loaded)
                delegate->appcastDidFinishLoading(self);
            else
                delegate->appcastDidFailToLoad(self);
        });
    }).detach();
}

bool OMAUAppcast::fetch(const std::string& url) {
    try {
        lf::Result<RSS> feed = RSS::withURL(url, true, host_->userAgent());
        if (!feed) {
            OMAULog("Appcast {}: {}", url, lf::describe(feed.error()));
            return true;
        }
        std::vector<OMAUAppcastItem> items;
        for (const RSSItem& item : feed->newsItems())
            items.emplace_back(item);
        items_ = std::move(items);
        return true;
    } catch (const std::exception& exception) {
        OMAULog("Appcast {}: {}", url, exception.what());
        return false;
    }
}
