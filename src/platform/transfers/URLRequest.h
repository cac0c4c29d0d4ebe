#pragma once
// URL requests over libcurl, in place of the platform's URL loading: a
// synchronous load of a small resource (a feed, release notes) and the
// errors both loads and downloads (URLDownload.h) report.
//
// Only http, https and file URLs are loaded, and redirects lead only to
// http and https; a request that requires secure transport narrows this
// further (see below). https always verifies the server's certificate,
// against the file named by $SSL_CERT_FILE when that is set (as OpenSSL's
// own tools do), else against the system's authorities. A request times
// out when no byte has moved for its time-out, not after a fixed total, so
// a large download on a slow line goes on as long as data flows. An HTTP
// status of 400 or more is a failure.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace lf {

inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";

// Codes of kURLErrorDomain.
enum URLErrorCode : int64_t {
    kURLErrorUnknown = -1,
    kURLErrorCancelled = -999,
    kURLErrorBadURL = -1000,
    kURLErrorTimedOut = -1001,
    kURLErrorUnsupportedURL = -1002,
    kURLErrorCannotFindHost = -1003,
    kURLErrorCannotConnectToHost = -1004,
    kURLErrorNetworkConnectionLost = -1005,
    kURLErrorBadServerResponse = -1011,
    kURLErrorAppTransportSecurityRequiresSecureConnection = -1022,
    kURLErrorDataLengthExceedsMaximum = -1103,
    kURLErrorCannotCreateFile = -3000,
    kURLErrorCannotWriteToFile = -3003,
};

struct URLRequest {
    std::string url;
    // Sent as the "User-Agent" header; none when empty.
    std::string userAgent;
    // How long the transfer may stand still (and connecting may take).
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    // The load or download fails with kURLErrorDataLengthExceedsMaximum
    // past this many bytes, so a hostile server cannot fill the memory or
    // the disk.
    std::optional<uint64_t> maximumLength;
    // Whether what is loaded must come over a connection nobody between
    // here and the server can read or change: the URL and every redirect
    // must be https, except that the URL itself may be plain http to this
    // computer's own address (127.0.0.1, ::1, localhost), whose traffic
    // never leaves it. Any other URL fails with
    // kURLErrorAppTransportSecurityRequiresSecureConnection before
    // anything is connected; a refused redirect fails with that code too.
    bool requiresSecureTransport = false;
};

// Loads the whole resource on the calling thread.
Result<Data> loadURLSynchronously(const URLRequest& request);

// Whether `url` is an https URL, whose server's certificate is verified.
bool isHTTPSURL(const std::string& url);

}  // namespace lf
