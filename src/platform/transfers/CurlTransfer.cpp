#include "platform/transfers/CurlTransfer.h"

#include <fmt/format.h>

#include <cstdlib>
#include <mutex>
#include <strings.h>

namespace lf::curl {
namespace {

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

struct URLDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// One part of `url` as curl itself reads it (lower case for the scheme);
// empty when the URL does not parse or lacks the part.
std::string urlPart(const std::string& url, CURLUPart part) {
    std::unique_ptr<CURLU, URLDeleter> parsed(curl_url());
    char* text = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), part, &text, 0) != CURLUE_OK)
        return {};
    std::string result(text);
    curl_free(text);
    return result;
}

// curl answers "localhost" itself, with the loopback addresses, without
// asking a name server that could say otherwise.
bool isLoopbackHost(const std::string& host) {
    return host == "127.0.0.1" || host == "[::1]" || strcasecmp(host.c_str(), "localhost") == 0;
}

bool isSecureTransportURL(const std::string& url) {
    const std::string scheme = urlScheme(url);
    return scheme == "https" || (scheme == "http" && isLoopbackHost(urlPart(url, CURLUPART_HOST)));
}

Error insecureTransportError(const std::string& url, const char* what) {
    return Error(kURLErrorDomain, kURLErrorAppTransportSecurityRequiresSecureConnection,
                 {{kLocalizedDescriptionKey,
                   fmt::format("{} {} is refused: only https is trusted (plain http only "
                               "from this computer itself)",
                               what, url)},
                  {kURLErrorKey, url}});
}

}  // namespace

void initialize() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Result<EasyHandle> makeHandle(const URLRequest& request) {
    if (request.requiresSecureTransport && !isSecureTransportURL(request.url))
        return insecureTransportError(request.url, "the URL");
    initialize();
    EasyHandle handle(curl_easy_init());
    if (!handle)
        return Error(
            kURLErrorDomain, kURLErrorUnknown,
            {{kLocalizedDescriptionKey, std::string(curl_easy_strerror(CURLE_FAILED_INIT))},
             {kURLErrorKey, request.url}});
    CURL* easy = handle.get();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR,
                     request.requiresSecureTransport ? "http,https" : "http,https,file");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    // Plain http is trusted only where the URL itself names this computer;
    // a redirect may lead anywhere, so it must be https.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     request.requiresSecureTransport ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* authorities = std::getenv("SSL_CERT_FILE"); authorities && *authorities)
        curl_easy_setopt(easy, CURLOPT_CAINFO, authorities);
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

std::optional<Error> refusedRedirect(CURL* handle, const URLRequest& request) {
    if (!request.requiresSecureTransport) return std::nullopt;
    // Where a redirect was refused, the effective URL is the one it named.
    long redirects = 0;
    const char* effective = nullptr;
    curl_easy_getinfo(handle, CURLINFO_REDIRECT_COUNT, &redirects);
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective);
    if (redirects == 0 || !effective || urlScheme(effective) == "https") return std::nullopt;
    return insecureTransportError(effective, "the redirect to");
}

Error transferError(CURL* handle, CURLcode code, const URLRequest& request) {
    if (std::optional<Error> refused = refusedRedirect(handle, request)) return *refused;
    const long httpStatus = responseStatus(handle);
    if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && httpStatus >= 400))
        return statusError(httpStatus, request.url);
    return Error(kURLErrorDomain, codeForCurlResult(code),
                 {{kLocalizedDescriptionKey, std::string(curl_easy_strerror(code))},
                  {kURLErrorKey, request.url}});
}

std::string urlScheme(const std::string& url) {
    return urlPart(url, CURLUPART_SCHEME);
}

Error statusError(long httpStatus, const std::string& url) {
    return Error(kURLErrorDomain, kURLErrorBadServerResponse,
                 {{kLocalizedDescriptionKey, fmt::format("the server answered {}", httpStatus)},
                  {kURLErrorKey, url}});
}

}  // namespace lf::curl
