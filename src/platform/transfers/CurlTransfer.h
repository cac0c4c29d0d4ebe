#pragma once
// What URLRequest and URLDownload share of libcurl: the library set up once
// per process, an easy handle set up for a request, and curl's result
// turned into an error of kURLErrorDomain. Internal to the platform layer.

#include "platform/core/Error.h"
#include "platform/core/Result.h"
#include "platform/transfers/URLRequest.h"

#include <curl/curl.h>
#include <memory>
#include <optional>
#include <string>

namespace lf::curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

// Sets curl, and the TLS library under it, up for the process; once, on
// the first call. The thread that first calls it holds some of the TLS
// library's state until it ends: call it from a thread that lives on (a
// download's own thread may still be ending as the process exits).
void initialize();

// A handle with the request's URL, user agent, time-out, protocols,
// redirect rules and certificate checks set; an error when the request's
// transport rules refuse its URL (nothing has been connected then) or curl
// cannot make a handle.
Result<EasyHandle> makeHandle(const URLRequest& request);

// The error for a transfer of `request` on `handle` that ended with `code`:
// a redirect the request's transport rules refused, an HTTP status of 400
// or more, else curl's own failure.
Error transferError(CURL* handle, CURLcode code, const URLRequest& request);

// The error when the transfer on `handle` has been led (by redirects) to a
// URL that the request's transport rules refuse; none otherwise.
std::optional<Error> refusedRedirect(CURL* handle, const URLRequest& request);

// The error for a response whose status is 400 or more.
Error statusError(long httpStatus, const std::string& url);

long responseStatus(CURL* handle);

// The scheme of `url` in lower case, as curl reads it; empty when it does
// not parse.
std::string urlScheme(const std::string& url);

}  // namespace lf::curl
