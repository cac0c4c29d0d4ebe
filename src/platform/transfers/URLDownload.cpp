#include "platform/transfers/URLDownload.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/files/FileDescriptor.h"
#include "platform/transfers/CurlTransfer.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <thread>
#include <unistd.h>

namespace lf {
namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// The file name of a Content-Disposition header line, or empty.
std::string dispositionFilename(std::string_view line) {
    constexpr std::string_view kHeader = "content-disposition:";
    if (line.size() < kHeader.size() ||
        strncasecmp(line.data(), kHeader.data(), kHeader.size()) != 0)
        return {};
    const auto at = line.find("filename=");
    if (at == std::string_view::npos) return {};
    std::string_view value = line.substr(at + 9);
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
        return std::string(value.substr(0, value.find('"')));
    }
    return trimmed(value.substr(0, value.find(';')));
}

std::string percentDecoded(const std::string& text) {
    int length = 0;
    char* decoded =
        curl_easy_unescape(nullptr, text.c_str(), static_cast<int>(text.size()), &length);
    if (!decoded) return text;
    std::string result(decoded, static_cast<size_t>(length));
    curl_free(decoded);
    return result;
}

// The last component of the path of `url`, without query or fragment.
std::string lastPathComponent(const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    if (const auto scheme = path.find("://"); scheme != std::string::npos) {
        const auto pathStart = path.find('/', scheme + 3);
        path = pathStart == std::string::npos ? std::string() : path.substr(pathStart);
    }
    return percentDecoded(path.substr(path.find_last_of('/') + 1));
}

}  // namespace

// The state of the running transfer, touched only by the download thread.
struct URLDownload::Transfer {
    explicit Transfer(URLDownload& owner) : download(owner) {}

    URLDownload& download;
    CURL* handle = nullptr;
    std::string dispositionName;
    std::string destination;
    FileDescriptor file;
    uint64_t receivedLength = 0;
    bool started = false;
    std::optional<Error> failure;

    // Reports the response and opens the destination; false stops the
    // transfer (a failure is then recorded unless it was cancelled).
    bool begin() {
        started = true;
        if ((failure = curl::refusedRedirect(handle, download.request_))) return false;
        URLResponse response;
        response.statusCode = curl::responseStatus(handle);
        if (response.statusCode >= 400) {
            failure = curl::statusError(response.statusCode, download.request_.url);
            return false;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length >= 0) response.expectedContentLength = static_cast<uint64_t>(length);
        const char* effectiveURL = nullptr;
        curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effectiveURL);
        response.suggestedFilename =
            !dispositionName.empty()
                ? dispositionName
                : lastPathComponent(effectiveURL ? effectiveURL : download.request_.url);

        // The delegate answers on the main thread while the transfer waits.
        MainQueue::shared()->sync([&] {
            auto delegate = download.delegate_.lock();
            if (!delegate || download.cancelled_) return;
            delegate->downloadDidReceiveResponse(download, response);
            if (download.cancelled_) return;
            destination = delegate->downloadDecideDestination(download, response.suggestedFilename);
            if (destination.empty()) download.cancelled_ = true;
        });
        if (destination.empty()) return false;
        file = FileDescriptor(::open(destination.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!file.isOpen()) {
            failure =
                Error(kURLErrorDomain, kURLErrorCannotCreateFile,
                      {{kUnderlyingErrorKey,
                        std::make_shared<const Error>(Error::posix(errno, "open " + destination))},
                       {kFilePathErrorKey, destination}});
            destination.clear();
            return false;
        }
        return true;
    }

    bool write(const char* bytes, size_t length) {
        // A server that sends more than it announced, or announces nothing,
        // is stopped here; curl stops one that announces too much at once.
        const std::optional<uint64_t>& maximum = download.request_.maximumLength;
        if (maximum && length > *maximum - receivedLength) {
            failure = Error(kURLErrorDomain, kURLErrorDataLengthExceedsMaximum,
                            {{kLocalizedDescriptionKey,
                              fmt::format("the download is longer than {} bytes", *maximum)},
                             {kURLErrorKey, download.request_.url}});
            return false;
        }
        receivedLength += length;
        while (length > 0) {
            const ssize_t written = ::write(file.get(), bytes, length);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                failure = writeError(written < 0 ? errno : ENOSPC);
                return false;
            }
            bytes += written;
            length -= static_cast<size_t>(written);
        }
        return true;
    }

    // Closes the file, which must reach the disk whole.
    bool finish() {
        if (!started && !begin()) return false;
        const int descriptor = file.release();
        if (::fsync(descriptor) != 0 && errno != EINVAL) {
            failure = writeError(errno);
            ::close(descriptor);
            return false;
        }
        if (::close(descriptor) != 0) {
            failure = writeError(errno);
            return false;
        }
        return true;
    }

    // Removes what an unfinished download wrote, so that nothing of it is
    // taken for the resource.
    void discard() {
        file = FileDescriptor();
        if (!destination.empty()) ::unlink(destination.c_str());
    }

    Error writeError(int errnum) const {
        return Error(kURLErrorDomain, kURLErrorCannotWriteToFile,
                     {{kUnderlyingErrorKey,
                       std::make_shared<const Error>(Error::posix(errnum, "write download"))}});
    }

    static size_t onHeader(char* bytes, size_t size, size_t count, void* context) {
        auto* transfer = static_cast<Transfer*>(context);
        std::string name = dispositionFilename(std::string_view(bytes, size * count));
        if (!name.empty()) transfer->dispositionName = std::move(name);
        return size * count;
    }

    static size_t onData(char* bytes, size_t size, size_t count, void* context) {
        auto* transfer = static_cast<Transfer*>(context);
        const size_t length = size * count;
        if (transfer->download.cancelled_) return 0;
        if (!transfer->started && !transfer->begin()) return 0;
        if (!transfer->write(bytes, length)) return 0;
        transfer->download.reportWritten(length);
        return length;
    }

    static int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Transfer*>(context)->download.cancelled_ ? 1 : 0;
    }
};

URLDownload::URLDownload(URLRequest request, std::weak_ptr<URLDownloadDelegate> delegate)
    : request_(std::move(request)), delegate_(std::move(delegate)) {}

std::shared_ptr<URLDownload> URLDownload::start(URLRequest request,
                                                std::weak_ptr<URLDownloadDelegate> delegate) {
    std::shared_ptr<URLDownload> download(new URLDownload(std::move(request), std::move(delegate)));
    curl::initialize();
    std::thread([download] { download->run(); }).detach();
    return download;
}

void URLDownload::cancel() {
    assertMainThread("URLDownload::cancel");
    cancelled_ = true;
}

void URLDownload::deliver(std::function<void(URLDownloadDelegate&)> call) {
    MainQueue::shared()->async([self = shared_from_this(), call = std::move(call)] {
        if (self->cancelled_) return;
        if (auto delegate = self->delegate_.lock()) call(*delegate);
    });
}

void URLDownload::reportWritten(uint64_t length) {
    unreportedLength_ += length;
    // One report on its way at a time: the main queue is not flooded with a
    // message per network packet, and no byte is reported twice.
    if (reportQueued_.exchange(true)) return;
    deliver([this](URLDownloadDelegate& delegate) {
        reportQueued_ = false;
        if (const uint64_t length = unreportedLength_.exchange(0); length > 0)
            delegate.downloadDidReceiveData(*this, length);
    });
}

void URLDownload::run() {
    Transfer transfer(*this);
    Result<curl::EasyHandle> handle = curl::makeHandle(request_);
    if (!handle) {
        deliver([this, error = handle.error()](URLDownloadDelegate& delegate) {
            delegate.downloadDidFail(*this, error);
        });
        return;
    }
    CURL* easy = handle->get();
    transfer.handle = easy;
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, Transfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Transfer::onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, Transfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = curl_easy_perform(easy);
    if (!cancelled_ && !transfer.failure && code == CURLE_OK && transfer.finish()) {
        // Whatever is still unreported goes before the end.
        deliver([this](URLDownloadDelegate& delegate) {
            if (const uint64_t length = unreportedLength_.exchange(0); length > 0)
                delegate.downloadDidReceiveData(*this, length);
            delegate.downloadDidFinish(*this);
        });
        return;
    }
    transfer.discard();
    if (cancelled_) return;
    Error error = transfer.failure ? *transfer.failure : curl::transferError(easy, code, request_);
    deliver(
        [this, error](URLDownloadDelegate& delegate) { delegate.downloadDidFail(*this, error); });
}

}  // namespace lf
