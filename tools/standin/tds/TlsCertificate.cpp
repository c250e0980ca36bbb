#include "tools/standin/tds/TlsCertificate.h"

#include <gnutls/crypto.h>
#include <gnutls/x509.h>

#include <ctime>
#include <memory>
#include <utility>

namespace standin::tls {
namespace {

template <typename T, void (*Free)(T)>
struct Deleter {
    void operator()(T p) const { Free(p); }
};
using PrivateKey = std::unique_ptr<std::remove_pointer_t<gnutls_x509_privkey_t>,
                                   Deleter<gnutls_x509_privkey_t, gnutls_x509_privkey_deinit>>;
using Certificate =
    std::unique_ptr<std::remove_pointer_t<gnutls_x509_crt_t>, Deleter<gnutls_x509_crt_t, gnutls_x509_crt_deinit>>;

constexpr time_t kValidity = 365L * 24 * 3600;

}  // namespace

void check(int code, const std::string& what) {
    if (code < 0) throw TlsError(what + ": " + gnutls_strerror(code));
}

TlsCertificate::TlsCertificate() { check(gnutls_certificate_allocate_credentials(&credentials_), "TLS credentials"); }

TlsCertificate::TlsCertificate(TlsCertificate&& other) noexcept
    : credentials_(std::exchange(other.credentials_, nullptr)) {}

TlsCertificate& TlsCertificate::operator=(TlsCertificate&& other) noexcept {
    std::swap(credentials_, other.credentials_);
    return *this;
}

TlsCertificate::~TlsCertificate() {
    if (credentials_) gnutls_certificate_free_credentials(credentials_);
}

TlsCertificate TlsCertificate::selfSigned(const std::string& commonName) {
    gnutls_x509_privkey_t rawKey = nullptr;
    check(gnutls_x509_privkey_init(&rawKey), "private key");
    PrivateKey key(rawKey);
    // An elliptic-curve key: made in a millisecond, so every test server can have its own.
    check(gnutls_x509_privkey_generate(key.get(), GNUTLS_PK_ECDSA, GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0),
          "generating the private key");

    gnutls_x509_crt_t rawCertificate = nullptr;
    check(gnutls_x509_crt_init(&rawCertificate), "certificate");
    Certificate certificate(rawCertificate);
    const time_t now = std::time(nullptr);
    unsigned char serial[16];
    check(gnutls_rnd(GNUTLS_RND_NONCE, serial, sizeof serial), "certificate serial");
    serial[0] &= 0x7F;  // a positive number
    check(gnutls_x509_crt_set_version(certificate.get(), 3), "certificate version");
    check(gnutls_x509_crt_set_serial(certificate.get(), serial, sizeof serial), "certificate serial");
    check(gnutls_x509_crt_set_activation_time(certificate.get(), now - 3600), "certificate start");
    check(gnutls_x509_crt_set_expiration_time(certificate.get(), now + kValidity), "certificate end");
    check(gnutls_x509_crt_set_dn_by_oid(certificate.get(), GNUTLS_OID_X520_COMMON_NAME, 0, commonName.data(),
                                        static_cast<unsigned>(commonName.size())),
          "certificate name");
    check(gnutls_x509_crt_set_subject_alt_name(certificate.get(), GNUTLS_SAN_DNSNAME, commonName.data(),
                                               static_cast<unsigned>(commonName.size()), GNUTLS_FSAN_SET),
          "certificate alternative name");
    check(gnutls_x509_crt_set_key(certificate.get(), key.get()), "certificate key");
    check(gnutls_x509_crt_set_key_usage(certificate.get(), GNUTLS_KEY_DIGITAL_SIGNATURE), "certificate key usage");
    check(gnutls_x509_crt_set_key_purpose_oid(certificate.get(), GNUTLS_KP_TLS_WWW_SERVER, 0), "certificate purpose");
    check(gnutls_x509_crt_sign2(certificate.get(), certificate.get(), key.get(), GNUTLS_DIG_SHA256, 0),
          "signing the certificate");

    TlsCertificate result;
    gnutls_x509_crt_t chain[] = {certificate.get()};
    check(gnutls_certificate_set_x509_key(result.credentials_, chain, 1, key.get()), "installing the certificate");
    return result;
}

TlsCertificate TlsCertificate::fromFiles(const std::string& certificateFile, const std::string& keyFile) {
    TlsCertificate result;
    check(gnutls_certificate_set_x509_key_file(result.credentials_, certificateFile.c_str(), keyFile.c_str(),
                                               GNUTLS_X509_FMT_PEM),
          "cannot use the certificate '" + certificateFile + "' with the key '" + keyFile + "'");
    return result;
}

}  // namespace standin::tls
