#include "platform/URLRequest.h"

#include "platform/CurlTransfer.h"

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
    curl::EasyHandle handle = curl::makeHandle(request);
    if (!handle) return curl::transferError(CURLE_FAILED_INIT, 0, request.url);
    Body body;
    body.maximumLength = request.maximumLength;
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
    CURLcode code = curl_easy_perform(handle.get());
    if (body.tooLong) code = CURLE_FILESIZE_EXCEEDED;
    const long status = curl::responseStatus(handle.get());
    if (code != CURLE_OK || status >= 400) return curl::transferError(code, status, request.url);
    return Data(std::move(body.bytes));
}

}  // namespace lf
