#pragma once
// URL requests over libcurl, in place of the platform's URL loading: a
// synchronous load of a small resource (a feed, release notes) and the
// errors both loads and downloads (URLDownload.h) report.
//
// Only http, https and file URLs are loaded, and redirects lead only to
// http and https. A request times out when no byte has moved for its
// time-out, not after a fixed total, so a large download on a slow line
// goes on as long as data flows. An HTTP status of 400 or more is a failure.

#include "platform/Data.h"
#include "platform/Result.h"

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
    // A synchronous load fails with kURLErrorDataLengthExceedsMaximum past
    // this many bytes, so a hostile server cannot fill the memory.
    std::optional<uint64_t> maximumLength;
};

// Loads the whole resource on the calling thread.
Result<Data> loadURLSynchronously(const URLRequest& request);

}  // namespace lf
