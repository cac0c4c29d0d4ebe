#include "updater/OMSoftwareUpdater.h"

#include "updater/engine/OMAUUpdater.h"

OMSoftwareUpdater& OMSoftwareUpdater::sharedUpdater() {
    // Never destroyed: its windows must not outlive the application object.
    static OMSoftwareUpdater& shared = *new OMSoftwareUpdater(OMAUUpdater::create());
    return shared;
}

OMSoftwareUpdater::OMSoftwareUpdater(std::shared_ptr<OMAUUpdater> engine)
    : updater_(std::move(engine)) {}

void OMSoftwareUpdater::checkForUpdates() {
    updater_->atEdge([this] { updater_->checkForUpdates(); }, OMAUUpdater::kRetrievingFailed);
}

void OMSoftwareUpdater::checkForUpdatesInBackground() {
    updater_->atEdge(
        [this] {
            if (!updater_->hasAppliedLaunchPolicy())
                updater_->applicationDidFinishLaunching();
            else
                updater_->checkForUpdatesInBackground();
        },
        OMAUUpdater::kRetrievingFailed);
}
