#pragma once
// A small HTTP server on 127.0.0.1 for the updater's tests: it answers
// GET requests from a table of paths, one connection at a time on a thread
// of its own, and remembers what each request asked and sent. It speaks
// plain http, or https with one of the tests' own certificates
// (TestCertificate.h).

#include "TestCertificate.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lf::test {

class LocalHTTPServer {
public:
    struct Response {
        // A response of `body` with `status`.
        static Response with(std::string body, int status = 200) {
            Response response;
            response.body = std::move(body);
            response.status = status;
            return response;
        }
        int status = 200;
        std::string body;
        std::vector<std::string> headers;  // "Name: value"
        // Leave out Content-Length (the body ends with the connection).
        bool withoutLength = false;
        // Send only this many bytes of the body, then close.
        std::optional<size_t> cutAfter;
        // The Content-Length sent in place of the body's own.
        std::optional<uint64_t> announcedLength;
    };
    struct Request {
        std::string path;
        std::string userAgent;
    };

    enum class Scheme { http, https };

    explicit LocalHTTPServer(Scheme scheme = Scheme::http,
                             const TestCertificate& identity = TestCertificate::shared());
    ~LocalHTTPServer();
    LocalHTTPServer(const LocalHTTPServer&) = delete;
    LocalHTTPServer& operator=(const LocalHTTPServer&) = delete;

    void serve(const std::string& path, Response response);
    // "http://127.0.0.1:PORT/path" (or https).
    std::string url(const std::string& path) const;
    std::vector<Request> requests() const;

private:
    class Connection;
    void run();
    void answer(Connection& connection);

    const Scheme scheme_;
    // The TLS context of an https server.
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> tls_{nullptr, nullptr};
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace lf::test
