#pragma once
// The https identity of the tests' local servers: a key and a certificate
// for 127.0.0.1, ::1 and localhost, made once per process, which only the
// tests' own authority file vouches for (the tests point SSL_CERT_FILE at
// it). A server with it is refused wherever that file is not trusted.

#include <openssl/ssl.h>

#include <string>

namespace lf::test {

struct TestCertificate {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    // A PEM file holding the certificate, which is its own authority.
    std::string authorityFile;

    static const TestCertificate& shared();
};

}  // namespace lf::test
