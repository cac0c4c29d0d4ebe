// Open requests between launches: the request's form and its bounds, and
// a server on a socket of the test's own that takes requests from clients
// on other threads, refuses malformed ones and is the only one on its
// socket. Launches of the real application, a crash among them, are
// tests/app's.

#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/shell/QFOpenRequest.h"
#include "ui/shell/QFOpenRequestServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcessEnvironment>
#include <QThread>
#include <QtEndian>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace std::chrono_literals;
using Result = QFOpenRequest::Result;

namespace {

QByteArray header(size_t bodySize) {
    QByteArray bytes(QFOpenRequest::kMagic.data(),
                     static_cast<qsizetype>(QFOpenRequest::kMagic.size()));
    char size[4];
    qToBigEndian(static_cast<quint32>(bodySize), size);
    return bytes + QByteArray(size, 4);
}

// Runs `work` on a thread of its own while the main thread's event loop
// serves the server.
void onAnotherThread(const std::function<void()>& work) {
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            return thread->isFinished();
        },
        lf::test::kPatience));
    thread->wait();
}

Result send(const QString& socket, const std::vector<std::string>& paths,
            std::chrono::milliseconds timeout = 10s) {
    Result result = Result::NotDelivered;
    onAnotherThread([&] { result = QFOpenRequest::send(socket, paths, QDeadlineTimer(timeout)); });
    return result;
}

// Writes `bytes` to the socket as they stand and returns the answer byte,
// or -1 when the connection closes without one.
int exchange(const QString& path, const QByteArray& bytes) {
    int answer = -1;
    onAnotherThread([&] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(10'000)) return;
        socket.write(bytes);
        socket.waitForBytesWritten(10'000);
        if (socket.bytesAvailable() < 1 && !socket.waitForReadyRead(10'000)) return;
        char byte = 0;
        if (socket.getChar(&byte)) answer = byte;
    });
    return answer;
}

// The server of one test and the requests it handed on.
struct ServerUnderTest {
    explicit ServerUnderTest(const QString& path)
        : server(path, [this](const std::vector<std::string>& paths) { handed.push_back(paths); }) {
    }
    // The requests handed on once the event loop has had its turn.
    const std::vector<std::vector<std::string>>& requests() {
        QCoreApplication::processEvents();
        return handed;
    }
    std::vector<std::vector<std::string>> handed;
    QFOpenRequestServer server;
};

}  // namespace

// A request carries absolute paths, each ended by NUL; an empty one asks
// for a new window. Anything else is refused whole.
TEST(QFOpenRequest, BodiesHoldAbsolutePathsOnly) {
    const std::vector<std::string> paths{"/docs/a.psd", "/docs/with space/ü.psb"};
    const QByteArray request = QFOpenRequest::encode(paths);
    const std::optional<size_t> size = QFOpenRequest::bodySize(request);
    ASSERT_EQ(size, static_cast<size_t>(request.size()) - QFOpenRequest::kHeaderSize);
    EXPECT_EQ(QFOpenRequest::decodeBody(request.mid(QFOpenRequest::kHeaderSize)), paths);
    EXPECT_EQ(QFOpenRequest::decodeBody({}), std::vector<std::string>{});
    EXPECT_EQ(QFOpenRequest::encode({}), header(0));

    EXPECT_FALSE(QFOpenRequest::bodySize("LFOPEN2\n0000"));
    EXPECT_FALSE(QFOpenRequest::bodySize(header(3).left(10)));  // not all there yet
    using Body = QByteArray;
    EXPECT_FALSE(QFOpenRequest::decodeBody(Body("docs/a.psd\0", 11)));  // relative
    EXPECT_FALSE(QFOpenRequest::decodeBody(Body("/a\0\0", 4)));         // an empty path
    EXPECT_FALSE(QFOpenRequest::decodeBody(Body("/a\0/b", 5)));         // no final NUL
    const std::string longest = "/" + std::string(QFOpenRequest::kMaxPathSize - 2, 'x');
    EXPECT_TRUE(QFOpenRequest::decodeBody(Body::fromStdString(longest) + '\0'));
    EXPECT_FALSE(QFOpenRequest::decodeBody(Body::fromStdString(longest + "x") + '\0'));
    EXPECT_FALSE(QFOpenRequest::decodeBody(Body(QFOpenRequest::kMaxBodySize + 1, '/')));
}

// One server per socket: it takes requests from other threads (as from
// other launches) and hands them on in a later turn of the event loop;
// a second server on the same socket does not listen.
TEST(QFOpenRequestServer, TakesRequestsAndIsAloneOnItsSocket) {
    lf::test::TemporaryDirectory scratch;
    const QString path = QString::fromStdString((scratch / "s").string());
    using Listen = QFOpenRequestServer::ListenResult;
    ServerUnderTest running(path);
    ASSERT_EQ(running.server.listen(), Listen::Listening);
    EXPECT_EQ(running.server.listen(), Listen::Listening);  // already
    QFOpenRequestServer second(path, [](const std::vector<std::string>&) {});
    EXPECT_EQ(second.listen(), Listen::AnotherApplicationListens);
    QFOpenRequestServer nowhere(path + "-gone/s", [](const std::vector<std::string>&) {});
    EXPECT_EQ(nowhere.listen(), Listen::Failed);

    EXPECT_EQ(send(path, {"/docs/a.psd", "/docs/b.tsflow"}), Result::Taken);
    EXPECT_EQ(send(path, {}), Result::Taken);
    EXPECT_EQ(running.requests(),
              (std::vector<std::vector<std::string>>{{"/docs/a.psd", "/docs/b.tsflow"}, {}}));

    // Malformed requests are refused and reach nobody.
    EXPECT_EQ(send(path, {"relative.psd"}), Result::Refused);
    EXPECT_EQ(exchange(path, "GET / HTTP/1.1\r\n\r\n"), 0);
    EXPECT_EQ(exchange(path, header(QFOpenRequest::kMaxBodySize + 1)), 0);
    EXPECT_EQ(exchange(path, header(4) + QByteArray("/a\0/", 4)), 0);
    EXPECT_EQ(exchange(path, header(3) + QByteArray("/a\0", 3) + "trailing"), 1);
    EXPECT_EQ(running.requests().size(), 3u);
    EXPECT_EQ(running.requests().back(), std::vector<std::string>{"/a"});
}

// Without an application that listens, a request is not delivered, at
// once; nor is one that the application drops unanswered. One written
// whole to an application that does not answer is held no longer than its
// deadline, and the launch learns that the application has it.
TEST(QFOpenRequestServer, ARequestWithoutAnAnswerEndsAtItsDeadline) {
    lf::test::TemporaryDirectory scratch;
    const QString path = QString::fromStdString((scratch / "s").string());
    EXPECT_EQ(send(path, {"/docs/a.psd"}), Result::NotDelivered);

    QLocalServer dropping;  // reads each request and hangs up
    QObject::connect(&dropping, &QLocalServer::newConnection, [&dropping] {
        QLocalSocket* socket = dropping.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->disconnectFromServer();
        });
    });
    ASSERT_TRUE(dropping.listen(path));
    EXPECT_EQ(send(path, {"/docs/a.psd"}), Result::NotDelivered);
    dropping.close();

    QLocalServer silent;  // takes connections and never reads them
    ASSERT_TRUE(silent.listen(path));
    EXPECT_EQ(send(path, {"/docs/a.psd"}, 200ms), Result::Unanswered);
}

// The socket is this user's, for this display.
TEST(QFOpenRequestServer, TheDefaultSocketIsPerUserAndDisplay) {
    lf::test::TemporaryDirectory runtime;
    QProcessEnvironment environment;
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path().string()));
    EXPECT_EQ(QFOpenRequestServer::defaultSocketPath(environment).toStdString(),
              (runtime / "layerflow.default.socket").string());
    environment.insert("DISPLAY", ":1/x");
    EXPECT_EQ(QFOpenRequestServer::defaultSocketPath(environment).toStdString(),
              (runtime / "layerflow._1_x.socket").string());
    environment.insert("WAYLAND_DISPLAY", "wayland-0");
    // Without a runtime folder of its own, the user's id tells the sockets
    // in the shared temporary folder apart.
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString((runtime / "gone").string()));
    EXPECT_EQ(
        QFOpenRequestServer::defaultSocketPath(environment),
        QDir::temp().filePath(QStringLiteral("layerflow-%1.wayland-0.socket").arg(::geteuid())));
}
