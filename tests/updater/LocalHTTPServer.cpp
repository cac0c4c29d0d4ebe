#include "LocalHTTPServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lf::test {

// One accepted connection, plain or over TLS, closed when it goes. A client
// that sends nothing for 5 seconds is given up.
class LocalHTTPServer::Connection {
public:
    Connection(int socket, SSL_CTX* tls) : socket_(socket) {
        const timeval patience{5, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        if (!tls) return;
        tls_ = SSL_new(tls);
        SSL_set_fd(tls_, socket_);
        // A client that refuses the certificate ends here.
        open_ = SSL_accept(tls_) == 1;
    }
    ~Connection() {
        if (tls_) {
            if (open_) SSL_shutdown(tls_);
            SSL_free(tls_);
        }
        ::close(socket_);
    }
    bool isOpen() const { return open_; }

    ssize_t receive(char* buffer, size_t size) {
        if (!tls_) return ::recv(socket_, buffer, size, 0);
        return SSL_read(tls_, buffer, static_cast<int>(size));
    }

    void sendAll(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = tls_
                                     ? SSL_write(tls_, bytes.data(), static_cast<int>(bytes.size()))
                                     : ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) return;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
    }

private:
    int socket_;
    SSL* tls_ = nullptr;
    bool open_ = true;
};

namespace {

std::string headerValue(const std::string& request, const std::string& name) {
    size_t at = 0;
    while ((at = request.find("\r\n", at)) != std::string::npos) {
        at += 2;
        if (strncasecmp(request.c_str() + at, name.c_str(), name.size()) == 0 &&
            request[at + name.size()] == ':') {
            const size_t start = request.find_first_not_of(' ', at + name.size() + 1);
            return request.substr(start, request.find("\r\n", start) - start);
        }
    }
    return {};
}

}  // namespace

LocalHTTPServer::LocalHTTPServer(Scheme scheme, const TestCertificate& identity) : scheme_(scheme) {
    if (scheme_ == Scheme::https) {
        tls_ = {SSL_CTX_new(TLS_server_method()), SSL_CTX_free};
        if (!tls_ || SSL_CTX_use_certificate(tls_.get(), identity.certificate) != 1 ||
            SSL_CTX_use_PrivateKey(tls_.get(), identity.key) != 1)
            throw std::runtime_error("no local https server");
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no local server");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

LocalHTTPServer::~LocalHTTPServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

void LocalHTTPServer::serve(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

std::string LocalHTTPServer::url(const std::string& path) const {
    return (scheme_ == Scheme::https ? "https" : "http") + std::string("://127.0.0.1:") +
           std::to_string(port_) + path;
}

std::vector<LocalHTTPServer::Request> LocalHTTPServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LocalHTTPServer::run() {
    // A client that hangs up early must not end the tests: writing to it
    // fails instead.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
    while (!stopping_) {
        pollfd ready{listener_, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        Connection connection(socket, tls_.get());
        if (connection.isOpen()) answer(connection);
    }
}

void LocalHTTPServer::answer(Connection& connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t length = connection.receive(buffer, sizeof buffer);
        if (length <= 0) return;
        request.append(buffer, static_cast<size_t>(length));
    }
    const size_t pathStart = request.find(' ') + 1;
    const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    Response response = Response::with("not here", 404);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back({path, headerValue(request, "User-Agent")});
        if (auto it = responses_.find(path); it != responses_.end()) response = it->second;
    }
    std::string head =
        "HTTP/1.1 " + std::to_string(response.status) + " X\r\nConnection: close\r\n";
    if (!response.withoutLength)
        head += "Content-Length: " +
                std::to_string(response.announcedLength.value_or(response.body.size())) + "\r\n";
    for (const auto& header : response.headers)
        head += header + "\r\n";
    connection.sendAll(head + "\r\n");
    const size_t length =
        std::min(response.body.size(), response.cutAfter.value_or(response.body.size()));
    connection.sendAll(std::string_view(response.body).substr(0, length));
}

}  // namespace lf::test
