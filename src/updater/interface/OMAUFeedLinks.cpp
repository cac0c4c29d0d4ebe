#include "updater/interface/OMAUFeedLinks.h"

#include "updater/shared/OMAULog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

bool OMAUOpenFeedLink(const QUrl& link) {
    const QString scheme = link.scheme();
    if (scheme != "http" && scheme != "https" && scheme != "mailto") {
        OMAULog(
            "Refused to open the release notes' link {}: only http, https and mailto links open",
            link.toString().toStdString());
        return false;
    }
    return QDesktopServices::openUrl(link);
}

void OMAURouteLabelLinks(QLabel* label) {
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { OMAUOpenFeedLink(QUrl(link)); });
}
