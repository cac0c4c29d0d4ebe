#include "TestCertificate.h"

#include "support/TestSupport.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

namespace lf::test {
namespace {

void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension || !X509_add_ext(certificate, extension, -1))
        throw std::runtime_error("no test certificate extension");
    X509_EXTENSION_free(extension);
}

// A self-signed certificate named `subject` for the host `names`
// (subjectAltName entries).
TestCertificate* makeCertificate(const char* subject, const char* names) {
    auto* made = new TestCertificate;
    made->key = EVP_EC_gen("P-256");
    X509* certificate = made->certificate = X509_new();
    if (!made->key || !certificate) throw std::runtime_error("no test key");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 86400);
    X509_set_pubkey(certificate, made->key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(subject), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    addExtension(certificate, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate, NID_subject_alt_name, names);
    if (!X509_sign(certificate, made->key, EVP_sha256()))
        throw std::runtime_error("no test certificate");
    return made;
}

std::string writeAuthorityFile() {
    // The folder goes at exit; the keys and certificates live as long.
    static TemporaryDirectory folder;
    const std::string path = (folder / "authority.pem").string();
    FILE* file = std::fopen(path.c_str(), "w");
    const bool written = file && PEM_write_X509(file, TestCertificate::shared().certificate) &&
                         PEM_write_X509(file, TestCertificate::forAnotherHost().certificate);
    if (file) std::fclose(file);
    if (!written) throw std::runtime_error("no test authority file");
    return path;
}

}  // namespace

const TestCertificate& TestCertificate::shared() {
    static const TestCertificate* certificate =
        makeCertificate("layerflow test", "IP:127.0.0.1,IP:::1,DNS:localhost");
    return *certificate;
}

const TestCertificate& TestCertificate::forAnotherHost() {
    static const TestCertificate* certificate =
        makeCertificate("layerflow test, another host", "DNS:updates.example.invalid");
    return *certificate;
}

const std::string& TestCertificate::authorityFile() {
    static const std::string path = writeAuthorityFile();
    return path;
}

}  // namespace lf::test
