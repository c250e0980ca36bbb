#pragma once
// The server's TLS identity: a certificate and its private key, read from PEM files or made up at
// start as a self-signed certificate, as SQL Server does when no certificate is configured.
#include <gnutls/gnutls.h>

#include <stdexcept>
#include <string>

namespace standin::tls {

class TlsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TlsCertificate {
public:
    // A fresh key pair and a certificate for commonName valid for a year; throws TlsError.
    static TlsCertificate selfSigned(const std::string& commonName);
    // PEM files; throws TlsError naming the file that could not be used.
    static TlsCertificate fromFiles(const std::string& certificateFile, const std::string& keyFile);

    TlsCertificate(TlsCertificate&& other) noexcept;
    TlsCertificate& operator=(TlsCertificate&& other) noexcept;
    TlsCertificate(const TlsCertificate&) = delete;
    TlsCertificate& operator=(const TlsCertificate&) = delete;
    ~TlsCertificate();

    gnutls_certificate_credentials_t credentials() const { return credentials_; }

private:
    TlsCertificate();
    gnutls_certificate_credentials_t credentials_ = nullptr;
};

// Throws TlsError with GnuTLS's text when code is an error.
void check(int code, const std::string& what);

}  // namespace standin::tls
