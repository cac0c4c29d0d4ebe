#pragma once
// The https identities of the tests' local servers: keys and certificates
// made once per process, which only the tests' own authority file vouches
// for (the tests point SSL_CERT_FILE at it). A server with one is refused
// wherever that file is not trusted.

#include <openssl/ssl.h>

#include <string>

namespace lf::test {

struct TestCertificate {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;

    // For 127.0.0.1, ::1 and localhost, where the servers listen.
    static const TestCertificate& shared();
    // For "updates.example.invalid" alone: as trusted, but for a host name
    // that is not the one a client connects to.
    static const TestCertificate& forAnotherHost();
    // A PEM file holding both certificates, each its own authority.
    static const std::string& authorityFile();
};

}  // namespace lf::test
