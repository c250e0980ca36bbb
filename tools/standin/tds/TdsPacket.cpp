#include "tools/standin/tds/TdsPacket.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace standin::tds {

PacketHeader parseHeader(const uint8_t* b) {
    PacketHeader h;
    h.type = b[0];
    h.status = b[1];
    h.length = static_cast<uint16_t>((b[2] << 8) | b[3]);
    h.spid = static_cast<uint16_t>((b[4] << 8) | b[5]);
    h.packetId = b[6];
    h.window = b[7];
    if (h.length < kHeaderSize)
        throw ProtocolError("packet length " + std::to_string(h.length) + " is below the header size");
    return h;
}

bool PacketReader::readExactly(uint8_t* data, size_t size, bool atMessageStart) {
    size_t got = 0;
    while (got < size) {
        const size_t n = channel_.read(data + got, size - got);
        if (n == 0) {
            if (got == 0 && atMessageStart) return false;
            throw ConnectionClosed("connection closed inside a packet");
        }
        got += n;
    }
    return true;
}

std::optional<Request> PacketReader::readRequest() {
    Request message;
    bool first = true;
    for (;;) {
        uint8_t header[kHeaderSize];
        if (!readExactly(header, kHeaderSize, first)) return std::nullopt;
        const PacketHeader h = parseHeader(header);
        if (first) {
            message.type = h.type;
        } else if (h.type != message.type) {
            // An attention may interrupt a request the client is still sending: the request is
            // dropped and the attention is what the client now waits an answer for.
            if (h.type == static_cast<uint8_t>(PacketType::Attention)) {
                message.type = h.type;
                message.payload.clear();
            } else {
                throw ProtocolError("packet type changed inside a message");
            }
        }
        const size_t body = h.length - kHeaderSize;
        if (message.payload.size() + body > maxMessageSize_) throw ProtocolError("request exceeds the size limit");
        const size_t old = message.payload.size();
        message.payload.resize(old + body);
        if (body > 0) readExactly(message.payload.data() + old, body, false);
        message.status = h.status;
        first = false;
        if (h.status & kStatusEndOfMessage) return message;
    }
}

void PacketWriter::sendPacket(PacketType type, const uint8_t* payload, size_t size, bool last) {
    const size_t length = size + kHeaderSize;
    packet_.resize(length);
    packet_[0] = static_cast<uint8_t>(type);
    packet_[1] = last ? kStatusEndOfMessage : 0;
    packet_[2] = static_cast<uint8_t>(length >> 8);
    packet_[3] = static_cast<uint8_t>(length);
    packet_[4] = static_cast<uint8_t>(spid_ >> 8);
    packet_[5] = static_cast<uint8_t>(spid_);
    packet_[6] = packetId_++;
    packet_[7] = 0;
    if (size > 0) std::memcpy(packet_.data() + kHeaderSize, payload, size);
    channel_.write(packet_.data(), length);
    ++packetsSent_;
}

void PacketWriter::sendFullPackets() {
    const size_t payload = packetSize_ - kHeaderSize;
    if (buffer_.size() <= payload) return;
    size_t offset = 0;
    // Keep at least one byte back: the message's last packet must carry the end-of-message bit.
    while (buffer_.size() - offset > payload) {
        sendPacket(PacketType::TabularResult, buffer_.data() + offset, payload, false);
        offset += payload;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PacketWriter::finish(PacketType type) {
    const size_t payload = packetSize_ - kHeaderSize;
    size_t offset = 0;
    while (buffer_.size() - offset > payload) {
        sendPacket(type, buffer_.data() + offset, payload, false);
        offset += payload;
    }
    sendPacket(type, buffer_.data() + offset, buffer_.size() - offset, true);
    buffer_.clear();
}

}  // namespace standin::tds
