#include "ui/shell/QFApplication.h"

#include "kit/gui/OMSheet.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindow.h"
#include "ui/shell/QFWorkspace.h"
#include "updater/OMSoftwareUpdater.h"

#include <QApplication>

#include <functional>
#include <map>

namespace {

QString infoString(const char* key) {
    return QString::fromStdString(QFResources::shared()->infoString(key).value_or(""));
}

const std::map<std::string_view, std::function<void(QFApplication&)>, std::less<>>& actions() {
    static const std::map<std::string_view, std::function<void(QFApplication&)>, std::less<>>
        table = {
            {QFAction::ShowUpdates, &QFApplication::showUpdates},
            {QFAction::ShowHelp, &QFApplication::showHelp},
            {QFAction::ShowExampleFiles, &QFApplication::showExampleFiles},
            {QFAction::ShowReleaseNotes, &QFApplication::showReleaseNotes},
            {QFAction::RateInAppStore, &QFApplication::rateInAppStore},
            {QFAction::FollowOnTwitter, &QFApplication::followOnTwitter},
            {QFAction::SendFeedback, &QFApplication::sendFeedback},
            // The windows close first; one that refuses keeps the
            // application running.
            {QFAction::Terminate, [](QFApplication&) { QCoreApplication::quit(); }},
        };
    return table;
}

// Holds the window's title-bar animations around `change`.
void withAnimationsSuspended(QWidget* window, const std::function<void()>& change) {
    auto* flowWindow = qobject_cast<QFWindow*>(window);
    if (flowWindow) flowWindow->suspendAnimationsBeforeSheetAnimation();
    change();
    if (flowWindow) flowWindow->resumeAnimationsAfterSheetAnimation();
}

}  // namespace

QFApplication& QFApplication::shared() {
    static QFApplication application;
    return application;
}

void QFApplication::beginSheet(QDialog& sheet, QWidget* window,
                               std::function<void(int)> completion) {
    withAnimationsSuspended(
        window, [&] { OMBeginSheetModalForWindow(sheet, window, std::move(completion)); });
}

void QFApplication::endSheet(QDialog& sheet, int returnCode) {
    withAnimationsSuspended(windowWithAttachedSheet(sheet), [&] { sheet.done(returnCode); });
}

QFWindow* QFApplication::windowWithAttachedSheet(const QWidget& sheet) {
    if (sheet.windowModality() != Qt::WindowModal || !sheet.isVisible()) return nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* flowWindow = qobject_cast<QFWindow*>(window);
        if (flowWindow && sheet.parentWidget() == flowWindow) return flowWindow;
    }
    return nullptr;
}

void QFApplication::showUpdates() {
    OMSoftwareUpdater::sharedUpdater().checkForUpdates();
}

void QFApplication::showHelp() {
    QFWorkspace::shared().openURL(helpURL());
}

void QFApplication::showReleaseNotes() {
    QFWorkspace::shared().openURL(webSiteURL("whatsnew/"));
}

void QFApplication::rateInAppStore() {
    QFWorkspace::shared().openURL(webSiteURL("rate/"));
}

void QFApplication::followOnTwitter() {
    QFWorkspace::shared().openURL(webSiteURL("twitter/"));
}

void QFApplication::sendFeedback() {
    QFWorkspace::shared().openURL(feedbackMailURL());
}

QUrl QFApplication::helpURL() {
    return webSiteURL(QStringLiteral("help-%1/").arg(infoString("CFBundleVersion")));
}

QUrl QFApplication::webSiteURL(const QString& path) {
    return QUrl(infoString(kWebSiteBaseURLKey) + path);
}

QUrl QFApplication::feedbackMailURL() {
    const QString subject = QStringLiteral("%1 %2 Feedback")
                                .arg(infoString("CFBundleName"), infoString("CFBundleVersion"));
    // Escaped as UTF-8, so a name beyond ASCII still reaches the mail.
    return QUrl::fromEncoded(QStringLiteral("mailto:%1?Subject=%2&Body=")
                                 .arg(infoString(kFeedbackEmailAddressKey),
                                      QString::fromLatin1(QUrl::toPercentEncoding(subject)))
                                 .toUtf8());
}

bool QFApplication::respondsToAction(std::string_view action) const {
    return actions().contains(action);
}

void QFApplication::performAction(std::string_view action) {
    if (auto found = actions().find(action); found != actions().end()) found->second(*this);
}
