#include "ui/shell/QFOpenRequest.h"

#include <QLocalSocket>
#include <QtEndian>

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What is left of `deadline`, as the socket's waits take it.
int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

}  // namespace

QByteArray QFOpenRequest::encode(const std::vector<std::string>& paths) {
    QByteArray body;
    for (const std::string& path : paths) {
        body.append(path.data(), static_cast<qsizetype>(path.size()));
        body.append('\0');
    }
    QByteArray request(kMagic.data(), static_cast<qsizetype>(kMagic.size()));
    char size[4];
    qToBigEndian(static_cast<quint32>(std::min<size_t>(body.size(), UINT32_MAX)), size);
    request.append(size, sizeof size);
    return request + body;
}

std::optional<size_t> QFOpenRequest::bodySize(const QByteArray& header) {
    if (static_cast<size_t>(header.size()) < kHeaderSize ||
        !header.startsWith(QByteArrayView(kMagic.data(), static_cast<qsizetype>(kMagic.size()))))
        return std::nullopt;
    return qFromBigEndian<quint32>(header.constData() + kMagic.size());
}

std::optional<std::vector<std::string>> QFOpenRequest::decodeBody(const QByteArray& body) {
    if (static_cast<size_t>(body.size()) > kMaxBodySize) return std::nullopt;
    if (!body.isEmpty() && !body.endsWith('\0')) return std::nullopt;
    std::vector<std::string> paths;
    qsizetype start = 0;
    while (start < body.size()) {
        const qsizetype end = body.indexOf('\0', start);
        const std::string path(body.constData() + start, static_cast<size_t>(end - start));
        if (path.empty() || path.front() != '/' || path.size() + 1 > kMaxPathSize)
            return std::nullopt;
        paths.push_back(path);
        start = end + 1;
    }
    return paths;
}

QFOpenRequest::Result QFOpenRequest::send(const QString& socketPath,
                                          const std::vector<std::string>& paths,
                                          QDeadlineTimer deadline) {
    const QByteArray request = encode(paths);
    if (static_cast<size_t>(request.size()) > kHeaderSize + kMaxBodySize) return Result::Refused;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(remainingMs(deadline))) return Result::NotDelivered;
    // A socket that another user put in the way hears nothing of our files.
    if (!peerIsThisUser(socket.socketDescriptor())) return Result::NotDelivered;
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline))) return Result::NotDelivered;
    }
    while (socket.bytesAvailable() < 1) {
        if (socket.waitForReadyRead(remainingMs(deadline))) continue;
        // An application that closes without an answer has dropped the
        // request (or ended); one that holds it may still take it.
        return socket.state() == QLocalSocket::ConnectedState ? Result::Unanswered
                                                              : Result::NotDelivered;
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == 1 ? Result::Taken : Result::Refused;
}

bool QFOpenRequest::peerIsThisUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return descriptor >= 0 &&
           ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                        &length) == 0 &&
           credentials.uid == ::geteuid();
}
