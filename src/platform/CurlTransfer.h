#pragma once
// What URLRequest and URLDownload share of libcurl: the library set up once
// per process, an easy handle set up for a request, and curl's result
// turned into an error of kURLErrorDomain. Internal to the platform layer.

#include "platform/Error.h"
#include "platform/URLRequest.h"

#include <curl/curl.h>
#include <memory>
#include <string>

namespace lf::curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

// A handle with the request's URL, user agent, time-out, protocols and
// redirect rules set; null when curl cannot make one.
EasyHandle makeHandle(const URLRequest& request);

// The error for a transfer that ended with `code`; `httpStatus` is the
// response's status (0 for none), `url` the request's.
Error transferError(CURLcode code, long httpStatus, const std::string& url);

// The error for a response whose status is 400 or more.
Error statusError(long httpStatus, const std::string& url);

long responseStatus(CURL* handle);

}  // namespace lf::curl
