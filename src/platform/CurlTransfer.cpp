#include "platform/CurlTransfer.h"

#include <fmt/format.h>

#include <mutex>

namespace lf::curl {
namespace {

void initializeOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int64_t codeForCurlResult(CURLcode code) {
    switch (code) {
        case CURLE_URL_MALFORMAT:
            return kURLErrorBadURL;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kURLErrorUnsupportedURL;
        case CURLE_COULDNT_RESOLVE_HOST:
            return kURLErrorCannotFindHost;
        case CURLE_COULDNT_CONNECT:
        case CURLE_FILE_COULDNT_READ_FILE:
            return kURLErrorCannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT:
            return kURLErrorTimedOut;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            return kURLErrorNetworkConnectionLost;
        case CURLE_FILESIZE_EXCEEDED:
            return kURLErrorDataLengthExceedsMaximum;
        case CURLE_ABORTED_BY_CALLBACK:
            return kURLErrorCancelled;
        case CURLE_WRITE_ERROR:
            return kURLErrorCannotWriteToFile;
        default:
            return kURLErrorUnknown;
    }
}

}  // namespace

EasyHandle makeHandle(const URLRequest& request) {
    initializeOnce();
    EasyHandle handle(curl_easy_init());
    if (!handle) return nullptr;
    CURL* easy = handle.get();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // The time-out is how long nothing may move, as a stalled connection is
    // what it guards against: fewer than one byte a second for that long.
    const long seconds = std::max<long>(1, static_cast<long>(request.timeout.count() / 1000));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
    if (!request.userAgent.empty())
        curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
    if (request.maximumLength)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(*request.maximumLength));
    return handle;
}

long responseStatus(CURL* handle) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

Error transferError(CURLcode code, long httpStatus, const std::string& url) {
    if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && httpStatus >= 400))
        return statusError(httpStatus, url);
    return Error(
        kURLErrorDomain, codeForCurlResult(code),
        {{kLocalizedDescriptionKey, std::string(curl_easy_strerror(code))}, {kURLErrorKey, url}});
}

Error statusError(long httpStatus, const std::string& url) {
    return Error(kURLErrorDomain, kURLErrorBadServerResponse,
                 {{kLocalizedDescriptionKey, fmt::format("the server answered {}", httpStatus)},
                  {kURLErrorKey, url}});
}

}  // namespace lf::curl
