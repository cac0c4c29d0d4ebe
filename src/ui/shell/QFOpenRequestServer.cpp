#include "ui/shell/QFOpenRequestServer.h"

#include "ui/shell/QFOpenRequest.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>

#include <memory>
#include <unistd.h>

namespace {

// The display's name as a file name: the Wayland socket's, else X11's
// (":0" gives "_0").
QString displayName(const QProcessEnvironment& environment) {
    QString display = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (display.isEmpty()) display = environment.value(QStringLiteral("DISPLAY"));
    if (display.isEmpty()) return QStringLiteral("default");
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    return display.replace(unsafe, QStringLiteral("_"));
}

}  // namespace

QString QFOpenRequestServer::defaultSocketPath(const QProcessEnvironment& environment) {
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString display = displayName(environment);
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("layerflow.%1.socket").arg(display));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("layerflow-%1.%2.socket").arg(::geteuid()).arg(display));
}

QFOpenRequestServer::QFOpenRequestServer(QString socketPath, Handler handler, QObject* parent)
    : QObject(parent),
      socketPath_(std::move(socketPath)),
      handler_(std::move(handler)),
      server_(new QLocalServer(this)) {
    // The folder may be shared (the temporary folder): the socket is this
    // user's alone.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &QFOpenRequestServer::acceptConnections);
}

QFOpenRequestServer::~QFOpenRequestServer() {
    // The socket file goes before the lock, so a launch that takes the
    // lock finds the socket free.
    server_->close();
    lock_.reset();
}

QFOpenRequestServer::ListenResult QFOpenRequestServer::listen() {
    if (server_->isListening()) return ListenResult::Listening;
    auto lock = std::make_unique<QLockFile>(socketPath_ + QStringLiteral(".lock"));
    // The lock lasts as long as the application: only a holder that no
    // longer runs makes it stale, never its age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return lock->error() == QLockFile::LockFailedError ? ListenResult::AnotherApplicationListens
                                                           : ListenResult::Failed;
    }
    // Holding the lock, no running application owns a socket file here:
    // one that is left came from an application that crashed.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) return ListenResult::Failed;
    lock_ = std::move(lock);
    return ListenResult::Listening;
}

bool QFOpenRequestServer::isListening() const {
    return server_->isListening();
}

void QFOpenRequestServer::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!QFOpenRequest::peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, received] { readRequest(*socket, *received); });
    }
}

void QFOpenRequestServer::readRequest(QLocalSocket& socket, QByteArray& received) {
    // Never more than the largest request is kept.
    const qint64 room =
        static_cast<qint64>(QFOpenRequest::kHeaderSize + QFOpenRequest::kMaxBodySize) -
        received.size();
    received.append(socket.read(room));
    if (static_cast<size_t>(received.size()) < QFOpenRequest::kHeaderSize) return;
    const std::optional<size_t> bodySize = QFOpenRequest::bodySize(received);
    if (!bodySize || *bodySize > QFOpenRequest::kMaxBodySize) return answer(socket, false);
    if (static_cast<size_t>(received.size()) < QFOpenRequest::kHeaderSize + *bodySize) return;

    std::optional<std::vector<std::string>> paths = QFOpenRequest::decodeBody(received.mid(
        static_cast<qsizetype>(QFOpenRequest::kHeaderSize), static_cast<qsizetype>(*bodySize)));
    answer(socket, paths.has_value());
    if (!paths) return;
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(*paths)] { handler_(paths); }, Qt::QueuedConnection);
}

void QFOpenRequestServer::answer(QLocalSocket& socket, bool taken) {
    // One request a connection: whatever follows is not read.
    QObject::disconnect(&socket, &QLocalSocket::readyRead, nullptr, nullptr);
    socket.putChar(taken ? 1 : 0);
    socket.disconnectFromServer();
}
