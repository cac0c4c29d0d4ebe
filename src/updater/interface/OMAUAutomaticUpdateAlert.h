#pragma once
// OMAUAutomaticUpdateAlert: after an automatic installation, asks whether
// to relaunch now or use the new version next time. Run modally: 1 for
// relaunch now, 0 for later.
//
// Threads: main thread only.

#include "updater/feed/OMAUAppcastItem.h"

#include <QDialog>

#include <memory>
#include <string>

class OMAUHost;

class OMAUAutomaticUpdateAlert : public QDialog {
public:
    OMAUAutomaticUpdateAlert(OMAUAppcastItem item, std::shared_ptr<const OMAUHost> host,
                             QWidget* parent = nullptr);

    const OMAUAppcastItem& updateItem() const { return updateItem_; }
    // "A new version of %@ has been installed!" with the display name.
    std::string titleText() const;
    // "%@ %@ has been installed and will be ready to use next time %@
    // starts! Would you like to relaunch now?"
    std::string descriptionText() const;

    void relaunchNow() { done(1); }
    void relaunchLater() { done(0); }
    int runModal() { return exec(); }

private:
    const OMAUAppcastItem updateItem_;
    const std::shared_ptr<const OMAUHost> host_;
};
