#include "ui/shell/QFFileManagerService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QStringList>

namespace QFFileManagerService {

namespace {

bool isOffered(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    const QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    if (names->isServiceRegistered(QString::fromLatin1(kServiceName))) return true;
    // A file manager that the bus starts on the first call.
    const QDBusReply<QStringList> activatable = names->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(QString::fromLatin1(kServiceName));
}

}  // namespace

bool showItems(const QDBusConnection& bus, const std::vector<QUrl>& items,
               std::function<void()> whenRefused) {
    if (items.empty()) return true;
    if (!isOffered(bus)) return false;
    QStringList uris;
    for (const QUrl& item : items)
        uris << item.toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
        QString::fromLatin1(kInterfaceName), QStringLiteral("ShowItems"));
    // No startup notification identifier: the file manager's window comes
    // forward as the window manager lets it.
    call << uris << QString();
    // Not waited for: a file manager that the bus has to start first would
    // hold the application up meanwhile.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [whenRefused = std::move(whenRefused)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError() && whenRefused) whenRefused();
                     });
    return true;
}

}  // namespace QFFileManagerService
