#include "tools/standin/tds/TlsChannel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace standin::tls {
namespace {

// TLS 1.2 only: TDS 7.x clients (FreeTDS 1.3, tedious) cannot finish a TLS 1.3 handshake that
// travels inside PRELOGIN packets.
constexpr const char* kPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.2";

}  // namespace

TlsChannel::TlsChannel(tds::ByteChannel& raw, uint16_t spid)
    : raw_(raw), handshakeReader_(raw), handshakeWriter_(raw, spid) {}

TlsChannel::~TlsChannel() {
    if (session_) gnutls_deinit(session_);
}

void TlsChannel::handshake(const TlsCertificate& certificate) {
    check(gnutls_init(&session_, GNUTLS_SERVER | GNUTLS_NO_TICKETS), "TLS session");
    check(gnutls_priority_set_direct(session_, kPriorities, nullptr), "TLS priorities");
    check(gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, certificate.credentials()), "TLS credentials");
    gnutls_certificate_server_set_request(session_, GNUTLS_CERT_IGNORE);
    gnutls_transport_set_ptr(session_, this);
    gnutls_transport_set_push_function(session_, &TlsChannel::push);
    gnutls_transport_set_pull_function(session_, &TlsChannel::pull);
    gnutls_handshake_set_timeout(session_, GNUTLS_INDEFINITE_TIMEOUT);

    inHandshake_ = true;
    int rc;
    do {
        rc = gnutls_handshake(session_);
    } while (rc == GNUTLS_E_AGAIN || rc == GNUTLS_E_INTERRUPTED);
    inHandshake_ = false;
    rethrowTransportFailure();
    check(rc, "TLS handshake");
    // The server speaks last in a TLS 1.2 handshake; its final flight is still in the buffer.
    flushHandshake();
    encrypted_ = true;
}

void TlsChannel::rethrowTransportFailure() {
    if (transportFailure_) std::rethrow_exception(std::exchange(transportFailure_, nullptr));
}

void TlsChannel::flushHandshake() {
    if (!handshakeWriter_.buffer().empty()) handshakeWriter_.finish(tds::PacketType::PreLogin);
}

ssize_t TlsChannel::push(gnutls_transport_ptr_t self, const void* data, size_t size) {
    auto* channel = static_cast<TlsChannel*>(self);
    const auto* bytes = static_cast<const uint8_t*>(data);
    try {
        if (channel->inHandshake_) {
            // A flight leaves as one PRELOGIN message once the other side's answer is awaited.
            channel->handshakeWriter_.buffer().insert(channel->handshakeWriter_.buffer().end(), bytes, bytes + size);
        } else {
            channel->raw_.write(bytes, size);
        }
        return static_cast<ssize_t>(size);
    } catch (...) {
        channel->transportFailure_ = std::current_exception();
        gnutls_transport_set_errno(channel->session_, EPIPE);
        return -1;
    }
}

ssize_t TlsChannel::pull(gnutls_transport_ptr_t self, void* data, size_t size) {
    auto* channel = static_cast<TlsChannel*>(self);
    auto* bytes = static_cast<uint8_t*>(data);
    try {
        if (channel->inHandshake_) return channel->handshakePull(bytes, size);
        return static_cast<ssize_t>(channel->raw_.read(bytes, size));
    } catch (...) {
        channel->transportFailure_ = std::current_exception();
        gnutls_transport_set_errno(channel->session_, EIO);
        return -1;
    }
}

ssize_t TlsChannel::handshakePull(uint8_t* data, size_t size) {
    if (handshakeInputUsed_ == handshakeInput_.size()) {
        flushHandshake();
        auto message = handshakeReader_.readRequest();
        if (!message) return 0;
        if (message->kind() != tds::PacketType::PreLogin)
            throw tds::ProtocolError("a TLS handshake packet was expected");
        handshakeInput_ = std::move(message->payload);
        handshakeInputUsed_ = 0;
    }
    const size_t n = std::min(size, handshakeInput_.size() - handshakeInputUsed_);
    std::memcpy(data, handshakeInput_.data() + handshakeInputUsed_, n);
    handshakeInputUsed_ += n;
    return static_cast<ssize_t>(n);
}

size_t TlsChannel::read(uint8_t* data, size_t size) {
    if (!encrypted_) return raw_.read(data, size);
    for (;;) {
        const ssize_t n = gnutls_record_recv(session_, data, size);
        if (n >= 0) return static_cast<size_t>(n);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) continue;
        // A broken record or a close without alert ends the conversation like a socket close.
        transportFailure_ = nullptr;
        return 0;
    }
}

void TlsChannel::write(const uint8_t* data, size_t size) {
    if (!encrypted_) {
        raw_.write(data, size);
        return;
    }
    while (size > 0) {
        const ssize_t n = gnutls_record_send(session_, data, size);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) continue;
        if (n < 0) {
            rethrowTransportFailure();
            throw tds::ConnectionClosed(std::string("TLS record not sent: ") + gnutls_strerror(static_cast<int>(n)));
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

bool TlsChannel::waitForInput(std::chrono::milliseconds timeout) {
    if (encrypted_ && gnutls_record_check_pending(session_) > 0) return true;
    return raw_.waitForInput(timeout);
}

}  // namespace standin::tls
