#include "UpdaterTestSupport.h"

#include "support/TestSupport.h"

#include <fmt/format.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace lf::test {

std::shared_ptr<const OMAUHost> makeHost(const nlohmann::json& info, const fs::path& bundlePath) {
    OMAUHost::Description description;
    description.info = {{"CFBundleName", "layerflow"},
                        {"CFBundleVersion", "100"},
                        {"CFBundleShortVersionString", "1.0"}};
    if (info.is_object()) description.info.update(info);
    description.bundlePath = bundlePath;
    description.executablePath = bundlePath / "layerflow";
    description.systemVersion = kTestSystemVersion;
    description.strings = std::make_shared<const lf::Bundle>(LF_SOURCE_RESOURCES_DIR);
    return std::make_shared<const OMAUHost>(std::move(description));
}

bool hasProgram(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

bool runIn(const fs::path& folder, const std::string& command) {
    return std::system(
               ("cd '" + folder.string() + "' && " + command + " >/dev/null 2>&1").c_str()) == 0;
}

fs::path makeApplication(const fs::path& parent, const std::string& name,
                         const std::string& version, const std::string& identifier) {
    const fs::path application = parent / name;
    fs::create_directories(application / "resources");
    writeFile(application / "layerflow", "#!/bin/sh\necho " + version + "\n");
    fs::permissions(application / "layerflow", fs::perms::owner_all | fs::perms::group_read |
                                                   fs::perms::group_exec | fs::perms::others_read |
                                                   fs::perms::others_exec);
    writeFile(application / "resources" / "version.txt", version);
    writeFile(application / "resources" / "Info.json",
              nlohmann::json{{"CFBundleIdentifier", identifier}}.dump());
    fs::create_symlink("resources/version.txt", application / "version");
    return application;
}

void makeDeepTree(const fs::path& folder, size_t depth) {
    fs::create_directories(folder);
    int above = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t level = 1; level <= depth && above >= 0; ++level) {
        ::mkdirat(above, "deep", 0700);
        const int next = ::openat(above, "deep", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (level % 100 == 0) ::fchmod(above, 0);
        ::close(above);
        above = next;
    }
    ::close(::openat(above, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ::close(above);
}

std::string readText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string signWithTestKey(const std::string& bytes) {
    FILE* keyFile = std::fopen(LF_UPDATER_TEST_DATA "/test-dsa-private.pem", "r");
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

std::string md5Of(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i)
        hex += fmt::format("{:02x}", digest[i]);
    return hex;
}

bool showsSafely(const std::string& text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }) &&
           text.find("\u202E") == std::string::npos;
}

}  // namespace lf::test
