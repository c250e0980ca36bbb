#pragma once
// TDS packet framing: an 8-byte header (type, status, big-endian length and SPID, packet id,
// window) in front of each piece of a message; the last piece carries the end-of-message bit.
#include "tools/standin/tds/TdsBuffer.h"
#include "tools/standin/tds/TdsChannel.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace standin::tds {

enum class PacketType : uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    TabularResult = 0x04,
    Attention = 0x06,
    BulkLoad = 0x07,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    PreLogin = 0x12,
};

constexpr uint8_t kStatusEndOfMessage = 0x01;
constexpr uint8_t kStatusIgnore = 0x02;
constexpr size_t kHeaderSize = 8;
constexpr size_t kDefaultPacketSize = 4096;
constexpr size_t kMinPacketSize = 512;
constexpr size_t kMaxPacketSize = 32767;
// A request larger than this is refused: nothing the stand-in is asked to run comes close, and a
// client announcing endless continuation packets must not exhaust memory.
constexpr size_t kMaxRequestSize = 16 * 1024 * 1024;

struct PacketHeader {
    uint8_t type = 0;
    uint8_t status = 0;
    uint16_t length = 0;  // header included
    uint16_t spid = 0;
    uint8_t packetId = 0;
    uint8_t window = 0;
};

// Decodes a header; a length below the header size throws ProtocolError.
PacketHeader parseHeader(const uint8_t* bytes);

// One client request: the payloads of its packets joined.
struct Request {
    uint8_t type = 0;
    uint8_t status = 0;  // of the last packet
    Bytes payload;
    PacketType kind() const { return static_cast<PacketType>(type); }
    bool ignored() const { return (status & kStatusIgnore) != 0; }
};

class PacketReader {
public:
    explicit PacketReader(ByteChannel& channel, size_t maxMessageSize = kMaxRequestSize)
        : channel_(channel), maxMessageSize_(maxMessageSize) {}

    // The next whole request; nullopt when the client closed between messages. A close inside a
    // message throws ConnectionClosed, malformed framing ProtocolError.
    std::optional<Request> readRequest();

private:
    bool readExactly(uint8_t* data, size_t size, bool atMessageStart);

    ByteChannel& channel_;
    size_t maxMessageSize_;
};

// Collects one response message and sends it in packets of the negotiated size. Tokens are
// appended to buffer(); full packets leave as soon as more data is known to follow.
class PacketWriter {
public:
    PacketWriter(ByteChannel& channel, uint16_t spid, size_t packetSize = kDefaultPacketSize)
        : channel_(channel), spid_(spid), packetSize_(packetSize) {}

    void setPacketSize(size_t size) { packetSize_ = size; }
    size_t packetSize() const { return packetSize_; }
    Bytes& buffer() { return buffer_; }

    // Sends the full packets that are certainly not the last of this message.
    void sendFullPackets();
    // Sends the rest, the last packet with the end-of-message bit.
    void finish(PacketType type = PacketType::TabularResult);
    // Packets sent since construction; lets the response poll for an attention only after output.
    uint64_t packetsSent() const { return packetsSent_; }

private:
    void sendPacket(PacketType type, const uint8_t* payload, size_t size, bool last);

    ByteChannel& channel_;
    uint16_t spid_;
    size_t packetSize_;
    Bytes buffer_;
    Bytes packet_;
    uint8_t packetId_ = 1;
    uint64_t packetsSent_ = 0;
};

}  // namespace standin::tds
