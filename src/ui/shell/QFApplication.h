#pragma once
// QFApplication: the application's own actions and its handling of sheets.
// It keeps the title-bar animations of the flow windows still while a
// sheet comes and goes, opens the web pages of the help, the release notes
// and the rating, writes the feedback mail and starts the update check the
// user asks for. Quit closes the windows and ends the application, which
// otherwise outlives its last window. In a window's responder chain it
// comes after the window controller and before its delegate
// (QFApplicationDelegate), which answers the actions of the application as
// a whole.
//
// The web pages lie under the site named by "AppWebSiteBaseURL" in
// Info.json; the feedback goes to "AppFeedbackEmailAddress".
//
// Nothing here restores windows at launch, so there is nothing to decline:
// every launch starts with only the windows the delegate opens.
//
// Threads: main thread only.

#include "ui/window/QFActionResponder.h"

#include <QDialog>
#include <QUrl>

#include <functional>

class QFApplicationDelegate;
class QFWindow;

class QFApplication : public QFActionResponder {
public:
    static constexpr const char* kWebSiteBaseURLKey = "AppWebSiteBaseURL";
    static constexpr const char* kFeedbackEmailAddressKey = "AppFeedbackEmailAddress";

    static QFApplication& shared();

    // Not owned.
    QFApplicationDelegate* delegate() const { return delegate_; }
    void setDelegate(QFApplicationDelegate* delegate) { delegate_ = delegate; }

    // Shows `sheet` modal to `window`, holding a flow window's title-bar
    // animations while it appears; `completion` hears how it ended.
    void beginSheet(QDialog& sheet, QWidget* window, std::function<void(int)> completion);
    // Ends `sheet` with `returnCode`, holding the animations of the flow
    // window that carries it while it goes.
    void endSheet(QDialog& sheet, int returnCode = QDialog::Rejected);
    // The flow window that carries `sheet`, or null.
    static QFWindow* windowWithAttachedSheet(const QWidget& sheet);

    // The actions.
    void showUpdates();
    void showHelp();
    // The example files live on the help page.
    void showExampleFiles() { showHelp(); }
    void showReleaseNotes();
    void rateInAppStore();
    void followOnTwitter();
    void sendFeedback();

    // The pages and the mail the actions open.
    static QUrl helpURL();
    static QUrl webSiteURL(const QString& path);
    static QUrl feedbackMailURL();

    bool respondsToAction(std::string_view action) const override;
    void performAction(std::string_view action) override;

private:
    QFApplication() = default;

    QFApplicationDelegate* delegate_ = nullptr;
};
