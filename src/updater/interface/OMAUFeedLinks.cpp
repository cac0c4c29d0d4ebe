#include "updater/interface/OMAUFeedLinks.h"

#include "updater/shared/OMAULog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

#include <string>

namespace {

// What the log says of `link`: a link that is no valid one has no text of
// its own, only the reason, which quotes what it was made from. The log
// line writes out whatever acts on a terminal (OMAULog.h).
std::string loggedLink(const QUrl& link) {
    if (link.isValid()) return link.toString().toStdString();
    return "that is not a valid link (" + link.errorString().toStdString() + ")";
}

}  // namespace

bool OMAUOpenFeedLink(const QUrl& link) {
    const QString scheme = link.scheme();
    if (scheme != "http" && scheme != "https" && scheme != "mailto") {
        OMAULog(
            "Refused to open the release notes' link {}: only http, https and mailto links open",
            loggedLink(link));
        return false;
    }
    return QDesktopServices::openUrl(link);
}

void OMAURouteLabelLinks(QLabel* label) {
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { OMAUOpenFeedLink(QUrl(link)); });
}
