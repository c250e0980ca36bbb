#pragma once
// TLS over one client connection as TDS 7.x carries it: the handshake travels inside PRELOGIN
// packets, then TLS records run straight on the connection, either for the LOGIN7 alone (the
// client offered "off") or for the rest of the session. Until handshake() and after
// endEncryption() bytes pass through in clear.
#include "tools/standin/tds/TdsChannel.h"
#include "tools/standin/tds/TdsPacket.h"
#include "tools/standin/tds/TlsCertificate.h"

#include <exception>

namespace standin::tls {

class TlsChannel : public tds::ByteChannel {
public:
    TlsChannel(tds::ByteChannel& raw, uint16_t spid);
    ~TlsChannel() override;
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Runs the server side of the handshake (TLS 1.2); throws TlsError or tds::ConnectionClosed.
    void handshake(const TlsCertificate& certificate);
    // Back to clear text without a close alert, as after an encrypted login.
    void endEncryption() { encrypted_ = false; }
    bool encrypted() const { return encrypted_; }

    size_t read(uint8_t* data, size_t size) override;
    void write(const uint8_t* data, size_t size) override;
    bool waitForInput(std::chrono::milliseconds timeout) override;

private:
    static ssize_t push(gnutls_transport_ptr_t self, const void* data, size_t size);
    static ssize_t pull(gnutls_transport_ptr_t self, void* data, size_t size);
    ssize_t handshakePull(uint8_t* data, size_t size);
    void flushHandshake();
    // GnuTLS calls push and pull from C; a failure inside them is kept here and rethrown after.
    void rethrowTransportFailure();

    tds::ByteChannel& raw_;
    gnutls_session_t session_ = nullptr;
    bool inHandshake_ = false;
    bool encrypted_ = false;
    tds::PacketReader handshakeReader_;
    tds::PacketWriter handshakeWriter_;
    tds::Bytes handshakeInput_;
    size_t handshakeInputUsed_ = 0;
    std::exception_ptr transportFailure_;
};

}  // namespace standin::tls
