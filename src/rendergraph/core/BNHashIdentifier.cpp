#include "rendergraph/core/BNHashIdentifier.h"

#include "platform/core/Assert.h"

#include <openssl/evp.h>

struct BNHashContext::State {
    EVP_MD_CTX* digest = nullptr;
    ~State() { EVP_MD_CTX_free(digest); }
};

std::string BNHashIdentifier::string() const {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(40);
    for (uint8_t byte : bytes) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

BNHashContext::BNHashContext(std::unique_ptr<State> state) : state_(std::move(state)) {}
BNHashContext::BNHashContext(BNHashContext&&) noexcept = default;
BNHashContext& BNHashContext::operator=(BNHashContext&&) noexcept = default;
BNHashContext::~BNHashContext() = default;

BNHashContext BNHashContext::createUnseeded() {
    auto state = std::make_unique<State>();
    state->digest = EVP_MD_CTX_new();
    LF_PRECONDITION(state->digest && EVP_DigestInit_ex(state->digest, EVP_sha1(), nullptr) == 1,
                    "SHA-1 digest unavailable");
    return BNHashContext(std::move(state));
}

BNHashContext BNHashContext::create() {
    BNHashContext context = createUnseeded();
    const uint8_t version[4] = {1, 0, 0, 0};
    context.update(version, sizeof version);
    return context;
}

void BNHashContext::update(const void* bytes, size_t length) {
    LF_PRECONDITION(state_, "hash context used after finalize");
    EVP_DigestUpdate(state_->digest, bytes, length);
}

BNHashIdentifier BNHashContext::finalize() {
    LF_PRECONDITION(state_, "hash context finalized twice");
    BNHashIdentifier identifier;
    unsigned int length = 0;
    EVP_DigestFinal_ex(state_->digest, identifier.bytes.data(), &length);
    state_.reset();
    return identifier;
}
