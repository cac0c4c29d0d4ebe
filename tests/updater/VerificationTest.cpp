// Verifying archives: the MD5 checksum and the DSA signature, both read
// in chunks, both failing closed.

#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"
#include "updater/feed/OMAUVerification.h"

#include <gtest/gtest.h>

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
    const std::string signature = lf::test::signWithTestKey(bytes);

    EXPECT_TRUE(OMAUValidatePathWithEncodedDSASignature(path, signature, key));
    EXPECT_TRUE(OMAUValidatePathWithEncodedDSASignature(
        path, signature.substr(0, 20) + "\n" + signature.substr(20), key))
        << "white space in the feed's text";
    EXPECT_FALSE(
        OMAUValidatePathWithEncodedDSASignature(path, lf::test::signWithTestKey(bytes + "!"), key));
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, "", key));
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, "not base64!", key));
    EXPECT_FALSE(OMAUValidatePathWithEncodedDSASignature(path, signature, ""));
    EXPECT_FALSE(
        OMAUValidatePathWithEncodedDSASignature(path, signature, "-----BEGIN PUBLIC KEY-----"));
    EXPECT_FALSE(
        OMAUValidatePathWithEncodedDSASignature((folder / "missing").string(), signature, key));
}

}  // namespace
