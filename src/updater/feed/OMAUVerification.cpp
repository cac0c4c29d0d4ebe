#include "updater/feed/OMAUVerification.h"

#include "platform/files/FileDescriptor.h"

#include <fmt/format.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr size_t kDigestChunkLength = 1 << 16;

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BIODeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

// Feeds the file to `consume` chunk by chunk; false when it cannot be read
// to its end or `consume` refuses a chunk.
bool readInChunks(const std::string& path,
                  const std::function<bool(const uint8_t*, size_t)>& consume) {
    lf::Result<lf::FileDescriptor> file = lf::FileDescriptor::openForReading(path);
    if (!file) return false;
    std::vector<uint8_t> chunk(kDigestChunkLength);
    for (uint64_t offset = 0;;) {
        lf::Result<size_t> read = file->readUncached(chunk.data(), chunk.size(), offset);
        if (!read) return false;
        if (*read == 0) return true;
        if (!consume(chunk.data(), *read)) return false;
        offset += *read;
    }
}

std::optional<std::vector<uint8_t>> decodeBase64(const std::string& text) {
    std::string compact;
    std::copy_if(text.begin(), text.end(), std::back_inserter(compact),
                 [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
    if (compact.empty() || compact.size() % 4 != 0) return std::nullopt;
    std::vector<uint8_t> bytes(compact.size() / 4 * 3);
    const int length =
        EVP_DecodeBlock(bytes.data(), reinterpret_cast<const uint8_t*>(compact.data()),
                        static_cast<int>(compact.size()));
    if (length < 0) return std::nullopt;
    // EVP_DecodeBlock counts the padding as bytes.
    size_t padding = 0;
    for (auto it = compact.rbegin(); it != compact.rend() && *it == '=' && padding < 2; ++it)
        ++padding;
    bytes.resize(static_cast<size_t>(length) - padding);
    return bytes;
}

}  // namespace

bool OMAUValidatePathWithMD5Hash(const std::string& path, const std::string& hash) {
    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return false;
    const bool read = readInChunks(path, [&](const uint8_t* bytes, size_t length) {
        return EVP_DigestUpdate(context.get(), bytes, length) == 1;
    });
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!read || EVP_DigestFinal_ex(context.get(), digest, &digestLength) != 1) return false;
    std::string hex;
    for (unsigned int i = 0; i < digestLength; ++i)
        hex += fmt::format("{:02x}", digest[i]);
    return hex == hash;
}

bool OMAUValidatePathWithEncodedDSASignature(const std::string& path, const std::string& signature,
                                             const std::string& publicKey) {
    if (publicKey.empty() || signature.empty()) return false;
    std::unique_ptr<BIO, BIODeleter> keyText(
        BIO_new_mem_buf(publicKey.data(), static_cast<int>(publicKey.size())));
    if (!keyText) return false;
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(
        PEM_read_bio_PUBKEY(keyText.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_DSA) return false;
    const std::optional<std::vector<uint8_t>> signatureBytes = decodeBase64(signature);
    if (!signatureBytes) return false;

    DigestContext context(EVP_MD_CTX_new());
    if (!context ||
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return false;
    const bool read = readInChunks(path, [&](const uint8_t* bytes, size_t length) {
        return EVP_DigestVerifyUpdate(context.get(), bytes, length) == 1;
    });
    return read && EVP_DigestVerifyFinal(context.get(), signatureBytes->data(),
                                         signatureBytes->size()) == 1;
}
