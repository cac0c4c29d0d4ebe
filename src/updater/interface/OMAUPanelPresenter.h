#pragma once
// OMAUPanelPresenter: the application's OMAUPresenter, with Qt's message
// boxes as alert panels and OMAUAutomaticUpdateAlert for the relaunch
// question. A panel's texts may come from the feed (the offer of an update
// shows the item's description), so its links open only as
// OMAUFeedLinks.h allows.
//
// Threads: main thread only.

#include "updater/interface/OMAUPresenter.h"

#include <memory>

class OMAUHost;

class OMAUPanelPresenter final : public OMAUPresenter {
public:
    // Names and texts come from `host`.
    explicit OMAUPanelPresenter(std::shared_ptr<const OMAUHost> host) : host_(std::move(host)) {}

    int runAlertPanel(const std::string& title, const std::string& message,
                      const std::string& defaultButton, const std::string& alternateButton,
                      const std::string& otherButton) override;
    bool runAutomaticUpdateAlert(const OMAUAppcastItem& item) override;
    void beep() override;
    void requestUserAttention() override;

private:
    std::shared_ptr<const OMAUHost> host_;
};
