#pragma once
// QFOpenRequestServer: the running application's end of the local socket
// through which later launches hand it their files (QFOpenRequest.h). One
// application listens per user and display, at defaultSocketPath().
//
// Who listens is settled by a lock file beside the socket, held while the
// server listens: a launch that gets the lock is the first and takes the
// socket; any other hands its request to the one that holds it. The lock
// of an application that ended without letting go of it (it crashed) is
// taken over, and so is the socket file it left.
//
// Each connection carries one request: it is read up to its announced
// size (never more than the largest allowed), answered, and closed; one
// that is malformed is refused, one that does not finish in time is
// dropped. A request taken reaches the handler on a later turn of the
// event loop, so the handler may open windows and alerts of its own.
//
// Threads: main thread only (the thread of the event loop).

#include <QLockFile>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;

class QFOpenRequestServer : public QObject {
    Q_OBJECT

public:
    // The paths of a request taken; none asks for a new window.
    using Handler = std::function<void(const std::vector<std::string>& paths)>;

    // How long a connection may take to deliver its request.
    static constexpr int kRequestTimeoutMs = 10'000;

    // This user's socket for the display the application shows on, as
    // `environment` names them: in $XDG_RUNTIME_DIR, else in the temporary
    // folder under a name that carries the user's id.
    static QString defaultSocketPath(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    QFOpenRequestServer(QString socketPath, Handler handler, QObject* parent = nullptr);
    // Stops listening: the socket file and the lock go.
    ~QFOpenRequestServer() override;

    enum class ListenResult {
        Listening,
        // Another application holds the lock: it takes the requests.
        AnotherApplicationListens,
        // Neither the lock nor the socket can be made here.
        Failed,
    };

    const QString& socketPath() const { return socketPath_; }
    // Takes the lock and listens.
    ListenResult listen();
    bool isListening() const;

private:
    void acceptConnections();
    void readRequest(QLocalSocket& socket, QByteArray& received);
    static void answer(QLocalSocket& socket, bool taken);

    QString socketPath_;
    Handler handler_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_;
};
