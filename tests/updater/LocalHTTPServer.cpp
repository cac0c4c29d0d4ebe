#include "LocalHTTPServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lf::test {
namespace {

void sendAll(int connection, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
}

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

LocalHTTPServer::LocalHTTPServer() {
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
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LocalHTTPServer::Request> LocalHTTPServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LocalHTTPServer::run() {
    while (!stopping_) {
        pollfd ready{listener_, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        answer(connection);
        ::close(connection);
    }
}

void LocalHTTPServer::answer(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd ready{connection, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0) return;
        const ssize_t length = ::recv(connection, buffer, sizeof buffer, 0);
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
        head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    for (const auto& header : response.headers)
        head += header + "\r\n";
    sendAll(connection, head + "\r\n");
    const size_t length =
        std::min(response.body.size(), response.cutAfter.value_or(response.body.size()));
    sendAll(connection, std::string_view(response.body).substr(0, length));
}

}  // namespace lf::test
