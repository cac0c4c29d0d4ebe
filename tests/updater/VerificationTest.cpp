// Verifying archives: the MD5 checksum and the DSA signature, both read
// in chunks, both failing closed.

#include "support/TestSupport.h"
#include "updater/OMAUVerification.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string dataFile(const std::string& name) {
    return std::string(LF_UPDATER_TEST_DATA) + "/" + name;
}

std::string readFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    std::string text;
    char buffer[4096];
    size_t length;
    while (file && (length = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, length);
    if (file) std::fclose(file);
    return text;
}

// The base64 DSA signature of the SHA-256 digest of `bytes` with the test key.
std::string sign(const std::string& bytes) {
    FILE* keyFile = std::fopen(dataFile("test-dsa-private.pem").c_str(), "r");
    EVP_PKEY* key = PEM_read_PrivateKey(keyFile, nullptr, nullptr, nullptr);
    std::fclose(keyFile);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    size_t length = 0;
    EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSignUpdate(context, bytes.data(), bytes.size());
    EVP_DigestSignFinal(context, nullptr, &length);
    std::vector<unsigned char> signature(length);
    EVP_DigestSignFinal(context, signature.data(), &length);
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    std::vector<unsigned char> text(4 * ((length + 2) / 3) + 1);
    EVP_EncodeBlock(text.data(), signature.data(), static_cast<int>(length));
    return reinterpret_cast<const char*>(text.data());
}

TEST(OMAUVerification, TheMD5SumMustMatchExactly) {
    lf::test::TemporaryDirectory folder;
    // More than one chunk, so the digest is streamed.
    std::string bytes(300000, 'a');
    bytes += "end";
    lf::test::writeFile(folder / "archive.zip", bytes);
    const std::string path = (folder / "archive.zip").string();
    lf::test::writeFile(folder / "abc", "abc");
    EXPECT_TRUE(
        OMAUValidatePathWithMD5Hash((folder / "abc").string(), "900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_FALSE(
        OMAUValidatePathWithMD5Hash((folder / "abc").string(), "900150983CD24FB0D6963F7D28E17F72"))
        << "upper case does not match";
    EXPECT_FALSE(OMAUValidatePathWithMD5Hash(path, "900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_FALSE(OMAUValidatePathWithMD5Hash((folder / "missing").string(), ""));
}

TEST(OMAUVerification, ADSASignatureIsCheckedAgainstThePublicKey) {
    lf::test::TemporaryDirectory folder;
    std::string bytes(200000, 'z');
    lf::test::writeFile(folder / "archive.tgz", bytes);
    const std::string path = (folder / "archive.tgz").string();
    const std::string key = readFile(dataFile("test-dsa-public.pem"));
    const std::string signature = sign(bytes);

    EXPECT_TRUE(OMAUValidatePathWithEncodedDSASignature(path, signature, key));
    EXPECT_TRUE(OMAUValidatePathWithEncodedDSASignature(
        path, signature.substr(0, 20) + "\n" + signature.substr(20), key))
        << "white space in the feed's text";
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, sign(bytes + "!"), key));
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, "", key));
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, "not base64!", key));
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, signature, ""));
    EXPECT_FALSE(
        OMAUValidatePathWithEncodedDSASignature(path, signature, "-----BEGIN PUBLIC KEY-----"));
    EXPECT_FALSE(
        OMAUValidatePathWithEncodedDSASignature((folder / "missing").string(), signature, key));
}

}  // namespace
