#pragma once
// OMAUUpdateAlert: presents a new version with its release notes and
// reports the user's choice to its delegate in the engine's numbering: 0
// install, 1 remind me later (also when the window is closed), 2 skip this
// version.
//
// The release notes are the item's release-notes URL, loaded (over https,
// or plain http from this computer itself) on a thread of its own while a
// spinner turns, else the item's description as HTML. Once they are shown,
// a link clicked in them opens in the user's browser, not in the alert,
// when it is an http, https or mailto link; any other is refused
// (OMAUFeedLinks.h). The window floats above the others; its frame is kept
// in the user defaults under "OMAUUpdateAlertFrame".
//
// Threads: main thread only.

#include "updater/feed/OMAUAppcastItem.h"

#include <QCheckBox>
#include <QLabel>
#include <QTextBrowser>
#include <QWidget>

#include <memory>
#include <string>

namespace lf {
class UserDefaults;
}
class OMAUHost;
class OMAUSpinner;
class OMAUUpdateAlert;

class OMAUUpdateAlertDelegate {
public:
    virtual ~OMAUUpdateAlertDelegate() = default;
    virtual void updateAlertFinishedWithChoice(OMAUUpdateAlert* alert, int choice) = 0;
};

class OMAUUpdateAlert : public QWidget {
public:
    OMAUUpdateAlert(OMAUAppcastItem item, std::shared_ptr<const OMAUHost> host,
                    std::shared_ptr<lf::UserDefaults> defaults);
    ~OMAUUpdateAlert() override;

    void setDelegate(std::weak_ptr<OMAUUpdateAlertDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    const OMAUAppcastItem& updateItem() const { return updateItem_; }

    // "A new version of %@ is available."
    std::string titleText() const;
    // "%@ %@ is now available (you are using %@). Would you like to
    // download the new version?"
    std::string descriptionText() const;
    // The property list's "AUShowReleaseNotes", shown when absent.
    bool showsReleaseNotes() const;
    // Whether the automatic-update choice is offered: only when the
    // property list expects signed archives ("AUExpectsDSASignature") and
    // does not forbid it ("AUAllowsAutomaticUpdates").
    bool allowsAutomaticUpdates() const;
    bool webViewFinishedLoading() const { return webViewFinishedLoading_; }

    void installUpdate() { endWithSelection(0); }
    void remindMeLater() { endWithSelection(1); }
    void skipThisVersion() { endWithSelection(2); }
    // Closes the window and tells the delegate; once.
    void endWithSelection(int choice);

    QTextBrowser* releaseNotesView() const { return releaseNotesView_; }
    OMAUSpinner* releaseNotesSpinner() const { return releaseNotesSpinner_; }
    QCheckBox* automaticUpdatesCheckbox() const { return automaticUpdates_; }
    // A click on `url` in the release notes.
    void linkActivated(const QUrl& url);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void displayReleaseNotes();
    void showReleaseNotes(const QString& html, const QUrl& base);
    void restoreFrame();
    void saveFrame();

    const OMAUAppcastItem updateItem_;
    const std::shared_ptr<const OMAUHost> host_;
    const std::shared_ptr<lf::UserDefaults> defaults_;
    std::weak_ptr<OMAUUpdateAlertDelegate> delegate_;
    QTextBrowser* releaseNotesView_ = nullptr;
    OMAUSpinner* releaseNotesSpinner_ = nullptr;
    QCheckBox* automaticUpdates_ = nullptr;
    bool webViewFinishedLoading_ = false;
    bool ended_ = false;
    // Cleared when the alert goes, so a late load is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
