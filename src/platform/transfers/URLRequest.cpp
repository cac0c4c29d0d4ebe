#include "platform/transfers/URLRequest.h"

#include "platform/transfers/CurlTransfer.h"

#include <vector>

namespace lf {
namespace {

struct Body {
    std::vector<uint8_t> bytes;
    std::optional<uint64_t> maximumLength;
    bool tooLong = false;
};

size_t appendBody(char* bytes, size_t size, size_t count, void* context) {
    auto* body = static_cast<Body*>(context);
    const size_t length = size * count;
    // A file URL or a response without a length is not stopped by curl's
    // own size limit.
    if (body->maximumLength && body->bytes.size() + length > *body->maximumLength) {
        body->tooLong = true;
        return 0;
    }
    body->bytes.insert(body->bytes.end(), bytes, bytes + length);
    return length;
}

}  // namespace

Result<Data> loadURLSynchronously(const URLRequest& request) {
    Result<curl::EasyHandle> handle = curl::makeHandle(request);
    if (!handle) return handle.error();
    CURL* easy = handle->get();
    Body body;
    body.maximumLength = request.maximumLength;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    CURLcode code = curl_easy_perform(easy);
    if (body.tooLong) code = CURLE_FILESIZE_EXCEEDED;
    if (code != CURLE_OK || curl::responseStatus(easy) >= 400)
        return curl::transferError(easy, code, request);
    if (std::optional<Error> refused = curl::refusedRedirect(easy, request)) return *refused;
    return Data(std::move(body.bytes));
}

bool isHTTPSURL(const std::string& url) {
    return curl::urlScheme(url) == "https";
}

}  // namespace lf
