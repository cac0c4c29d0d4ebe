#pragma once
// URLDownload: one resource downloaded into a file on a thread of its own,
// in place of the platform's URL download. Everything the delegate hears
// arrives on the main queue, in this order: the response, the choice of
// the destination, data as it arrives, then the end (finished or failed).
//
// The delegate is held weakly; nothing is delivered once it is gone or once
// cancel() has been called on the main thread. The download keeps itself
// alive until it has ended. A download that fails (past the request's
// maximum length too) or is cancelled removes the file it wrote.

#include "platform/core/Error.h"
#include "platform/transfers/URLRequest.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lf {

class URLDownload;

struct URLResponse {
    long statusCode = 0;
    // The length the server announced; none when it did not say.
    std::optional<uint64_t> expectedContentLength;
    // The name the server suggests (Content-Disposition), else the last
    // component of the URL's path, as sent: untrusted, it may name folders.
    std::string suggestedFilename;
};

class URLDownloadDelegate {
public:
    virtual ~URLDownloadDelegate() = default;
    virtual void downloadDidReceiveResponse(URLDownload&, const URLResponse&) {}
    // The file to write the data to (replaced when it exists); an empty
    // answer cancels the download without another call.
    virtual std::string downloadDecideDestination(URLDownload&, const std::string& suggested) = 0;
    // `length` more bytes were written (several chunks may come as one).
    virtual void downloadDidReceiveData(URLDownload&, uint64_t length) {}
    virtual void downloadDidFinish(URLDownload&) {}
    virtual void downloadDidFail(URLDownload&, const Error&) {}
};

class URLDownload : public std::enable_shared_from_this<URLDownload> {
public:
    // Starts downloading at once; call on the main thread.
    static std::shared_ptr<URLDownload> start(URLRequest request,
                                              std::weak_ptr<URLDownloadDelegate> delegate);
    URLDownload(const URLDownload&) = delete;
    URLDownload& operator=(const URLDownload&) = delete;

    const URLRequest& request() const { return request_; }
    // Stops the transfer; the delegate hears nothing more. Main thread.
    void cancel();
    bool isCancelled() const { return cancelled_; }

private:
    struct Transfer;
    URLDownload(URLRequest request, std::weak_ptr<URLDownloadDelegate> delegate);
    void run();
    // Runs `call` with the delegate on the main queue unless cancelled by
    // then; the call may use `this`, which the queued work keeps alive.
    void deliver(std::function<void(URLDownloadDelegate&)> call);
    void reportWritten(uint64_t length);

    const URLRequest request_;
    const std::weak_ptr<URLDownloadDelegate> delegate_;
    std::atomic<bool> cancelled_{false};
    // Bytes written that the delegate has not been told of yet, and whether
    // a report of them is on its way.
    std::atomic<uint64_t> unreportedLength_{0};
    std::atomic<bool> reportQueued_{false};
};

}  // namespace lf
