#include "tests/standin_proto/TdsTestClient.h"

#include "tools/standin/sql/Utf.h"
#include "tools/standin/tds/TdsLogin.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin::test {

using namespace tds;

namespace {

std::string bVarChar(ByteReader& r) {
    const uint8_t n = r.u8();
    return utf16ToUtf8(r.utf16(n));
}

TokenColumn readType(ByteReader& r, bool withTableName) {
    TokenColumn c;
    r.u32LE();  // user type
    c.flags = r.u16LE();
    c.typeCode = r.u8();
    switch (c.typeCode) {
    case 0x30:
    case 0x32: c.fixedSize = 1; break;
    case 0x34: c.fixedSize = 2; break;
    case 0x38:
    case 0x3A:
    case 0x3B:
    case 0x7A: c.fixedSize = 4; break;
    case 0x3C:
    case 0x3D:
    case 0x3E:
    case 0x7F: c.fixedSize = 8; break;
    case 0x24:
    case 0x26:
    case 0x68:
    case 0x6D:
    case 0x6E:
    case 0x6F:
        c.framing = TokenColumn::Framing::ByteLen;
        r.u8();
        break;
    case 0x6A:
    case 0x6C:
        c.framing = TokenColumn::Framing::ByteLen;
        r.u8();
        r.u8();
        r.u8();
        break;
    case 0xA5:
    case 0xAD:
    case 0xA7:
    case 0xAF:
    case 0xE7:
    case 0xEF: {
        const uint16_t max = r.u16LE();
        c.framing = max == 0xFFFF ? TokenColumn::Framing::Plp : TokenColumn::Framing::ShortLen;
        if (c.typeCode == 0xA7 || c.typeCode == 0xAF || c.typeCode == 0xE7 || c.typeCode == 0xEF) r.skip(5);
        break;
    }
    case 0x22:
    case 0x23:
    case 0x63: {
        c.framing = TokenColumn::Framing::Text;
        r.u32LE();
        if (c.typeCode != 0x22) r.skip(5);
        if (!withTableName) break;
        const uint8_t parts = r.u8();
        for (uint8_t i = 0; i < parts; ++i) r.utf16(r.u16LE());
        break;
    }
    default: throw ProtocolError("test client: unknown type " + std::to_string(c.typeCode));
    }
    return c;
}

TokenColumn readColumn(ByteReader& r) {
    TokenColumn c = readType(r, true);
    c.name = bVarChar(r);
    return c;
}

void putBVarChar(Bytes& out, const std::string& utf8) {
    const std::u16string u = utf8ToUtf16(utf8);
    putU8(out, static_cast<uint8_t>(u.size()));
    putUtf16(out, u);
}

void putParams(Bytes& out, const std::vector<RpcParam>& params) {
    putU16LE(out, 0);  // option flags
    for (const auto& p : params) {
        putBVarChar(out, p.name);
        putU8(out, p.output ? 1 : 0);
        putBytes(out, p.typeAndValue);
    }
}

Bytes allHeaders() {
    Bytes p;
    putU32LE(p, 22);
    putU32LE(p, 18);
    putU16LE(p, 2);
    putU64LE(p, 0);
    putU32LE(p, 1);
    return p;
}

std::optional<Bytes> readValue(ByteReader& r, const TokenColumn& c) {
    auto bytes = [&](size_t n) {
        auto s = r.bytes(n);
        return Bytes(s.begin(), s.end());
    };
    switch (c.framing) {
    case TokenColumn::Framing::Fixed: return bytes(c.fixedSize);
    case TokenColumn::Framing::ByteLen: {
        const uint8_t n = r.u8();
        if (n == 0) return std::nullopt;
        return bytes(n);
    }
    case TokenColumn::Framing::ShortLen: {
        const uint16_t n = r.u16LE();
        if (n == 0xFFFF) return std::nullopt;
        return bytes(n);
    }
    case TokenColumn::Framing::Plp: {
        const uint64_t total = r.u64LE();
        if (total == ~uint64_t{0}) return std::nullopt;
        Bytes all;
        for (;;) {
            const uint32_t chunk = r.u32LE();
            if (chunk == 0) break;
            auto s = r.bytes(chunk);
            all.insert(all.end(), s.begin(), s.end());
        }
        return all;
    }
    case TokenColumn::Framing::Text: {
        const uint8_t pointer = r.u8();
        if (pointer == 0) return std::nullopt;
        r.skip(pointer + 8u);
        return bytes(r.u32LE());
    }
    }
    return std::nullopt;
}

}  // namespace

std::string utf16Text(const Bytes& b) {
    ByteReader r(b);
    return utf16ToUtf8(r.utf16(b.size() / 2));
}

std::vector<Token> decodeTokens(const Bytes& payload) {
    std::vector<Token> tokens;
    std::vector<TokenColumn> columns;
    ByteReader r(payload);
    while (!r.atEnd()) {
        Token t;
        t.type = r.u8();
        switch (t.type) {
        case 0xFD:
        case 0xFE:
        case 0xFF:
            t.status = r.u16LE();
            r.u16LE();
            t.count = r.u64LE();
            break;
        case 0xAA:
        case 0xAB: {
            const uint16_t length = r.u16LE();
            const size_t end = r.position() + length;
            t.number = static_cast<int32_t>(r.u32LE());
            t.state = r.u8();
            t.severity = r.u8();
            t.text = utf16ToUtf8(r.utf16(r.u16LE()));
            bVarChar(r);
            bVarChar(r);
            r.u32LE();
            if (r.position() != end) throw ProtocolError("test client: message length mismatch");
            break;
        }
        case 0xE3: {
            const uint16_t length = r.u16LE();
            const size_t end = r.position() + length;
            t.envType = r.u8();
            const bool text = t.envType == 1 || t.envType == 2 || t.envType == 4;
            const size_t unit = text ? 2 : 1;
            auto part = [&] {
                auto s = r.bytes(r.u8() * unit);
                return Bytes(s.begin(), s.end());
            };
            t.envNew = part();
            t.envOld = part();
            if (r.position() != end) throw ProtocolError("test client: ENVCHANGE length mismatch");
            break;
        }
        case 0x79: t.returnStatus = static_cast<int32_t>(r.u32LE()); break;
        case 0xAC: {
            t.ordinal = r.u16LE();
            t.paramName = bVarChar(r);
            r.u8();  // status
            t.columns.push_back(readType(r, false));
            t.values.push_back(readValue(r, t.columns[0]));
            break;
        }
        case 0xAD: {
            const uint16_t length = r.u16LE();
            const size_t end = r.position() + length;
            r.u8();
            const auto v = r.bytes(4);
            t.tdsVersion = (uint32_t{v[0]} << 24) | (uint32_t{v[1]} << 16) | (uint32_t{v[2]} << 8) | v[3];
            r.seek(end);
            break;
        }
        case 0x81: {
            const uint16_t count = r.u16LE();
            columns.clear();
            if (count != 0xFFFF)
                for (uint16_t i = 0; i < count; ++i) columns.push_back(readColumn(r));
            t.columns = columns;
            break;
        }
        case 0xD1:
            for (const auto& c : columns) t.values.push_back(readValue(r, c));
            break;
        case 0xD2: {
            const auto bitmap = r.bytes((columns.size() + 7) / 8);
            const Bytes nulls(bitmap.begin(), bitmap.end());
            for (size_t i = 0; i < columns.size(); ++i) {
                if (nulls[i / 8] & (1u << (i % 8))) {
                    t.values.emplace_back(std::nullopt);
                } else {
                    t.values.push_back(readValue(r, columns[i]));
                }
            }
            break;
        }
        default: throw ProtocolError("test client: unknown token " + std::to_string(t.type));
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

Bytes clientPackets(uint8_t type, const Bytes& payload, size_t packetSize, uint8_t lastStatus) {
    Bytes out;
    const size_t chunk = packetSize - 8;
    size_t pos = 0;
    do {
        const size_t n = std::min(chunk, payload.size() - pos);
        const bool last = pos + n == payload.size();
        putU8(out, type);
        putU8(out, last ? lastStatus : 0);
        putU16BE(out, static_cast<uint16_t>(n + 8));
        putU16BE(out, 0);
        putU8(out, 1);
        putU8(out, 0);
        out.insert(out.end(), payload.begin() + static_cast<long>(pos), payload.begin() + static_cast<long>(pos + n));
        pos += n;
    } while (pos < payload.size());
    return out;
}

Bytes sqlBatchPayload(const std::string& utf8, uint64_t transaction) {
    Bytes p = allHeaders();
    for (int i = 0; i < 8; ++i) p[10 + i] = static_cast<uint8_t>(transaction >> (8 * i));
    putUtf16(p, utf8ToUtf16(utf8));
    return p;
}

RpcParam intParam(const std::string& name, std::optional<int32_t> value, bool output) {
    RpcParam p{name, output, {0x26, 4}};
    if (value) {
        putU8(p.typeAndValue, 4);
        putU32LE(p.typeAndValue, static_cast<uint32_t>(*value));
    } else {
        putU8(p.typeAndValue, 0);
    }
    return p;
}

RpcParam nvarcharParam(const std::string& name, const std::optional<std::string>& utf8, bool output) {
    RpcParam p{name, output, {0xE7}};
    putU16LE(p.typeAndValue, 8000);
    putBytes(p.typeAndValue, Bytes{0x09, 0x04, 0xD0, 0x00, 0x34});
    if (utf8) {
        const std::u16string u = utf8ToUtf16(*utf8);
        putU16LE(p.typeAndValue, static_cast<uint16_t>(u.size() * 2));
        putUtf16(p.typeAndValue, u);
    } else {
        putU16LE(p.typeAndValue, 0xFFFF);
    }
    return p;
}

Bytes rpcById(uint16_t procId, const std::vector<RpcParam>& params) {
    Bytes p = allHeaders();
    putU16LE(p, 0xFFFF);
    putU16LE(p, procId);
    putParams(p, params);
    return p;
}

Bytes rpcByName(const std::string& name, const std::vector<RpcParam>& params) {
    Bytes p = allHeaders();
    const std::u16string u = utf8ToUtf16(name);
    putU16LE(p, static_cast<uint16_t>(u.size()));
    putUtf16(p, u);
    putParams(p, params);
    return p;
}

TdsTestClient::TdsTestClient(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error(std::string("test client cannot connect: ") + std::strerror(errno));
}

TdsTestClient::~TdsTestClient() { ::close(fd_); }

void TdsTestClient::send(const Bytes& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("test client: send failed");
        sent += static_cast<size_t>(n);
    }
}

size_t TdsTestClient::readSome(uint8_t* data, size_t size, std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        throw std::runtime_error("test client: no answer in time");
    const ssize_t n = ::recv(fd_, data, size, 0);
    return n < 0 ? 0 : static_cast<size_t>(n);
}

std::optional<Bytes> TdsTestClient::readMessage(std::chrono::milliseconds timeout) {
    Bytes payload;
    for (;;) {
        uint8_t header[8];
        size_t got = 0;
        while (got < 8) {
            const size_t n = readSome(header + got, 8 - got, timeout);
            if (n == 0) {
                if (got == 0 && payload.empty()) return std::nullopt;
                throw std::runtime_error("test client: connection closed inside a packet");
            }
            got += n;
        }
        const size_t length = (header[2] << 8) | header[3];
        if (length < 8) throw std::runtime_error("test client: bad packet length");
        if (header[0] != 0x04) throw std::runtime_error("test client: reply is not a tabular result");
        lastPacketMax_ = std::max(lastPacketMax_, length);
        spid_ = static_cast<uint16_t>((header[4] << 8) | header[5]);
        const size_t old = payload.size();
        payload.resize(old + length - 8);
        size_t body = 0;
        while (body < length - 8) {
            const size_t n = readSome(payload.data() + old + body, length - 8 - body, timeout);
            if (n == 0) throw std::runtime_error("test client: connection closed inside a packet");
            body += n;
        }
        if (header[1] & 0x01) return payload;
    }
}

std::vector<Token> TdsTestClient::readTokens() {
    auto message = readMessage();
    if (!message) throw std::runtime_error("test client: server closed the connection");
    return decodeTokens(*message);
}

bool TdsTestClient::closedByServer(std::chrono::milliseconds timeout) {
    uint8_t buffer[4096];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
    }
}

std::optional<Bytes> TdsTestClient::preLogin(uint8_t encryption) {
    const Bytes prelogin = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                            0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, encryption};
    send(clientPackets(0x12, prelogin));
    return readMessage();
}

std::vector<Token> TdsTestClient::login(const std::string& user, const std::string& password,
                                        const std::string& database, uint32_t packetSize, uint32_t tdsVersion) {
    // This client speaks no TLS: it says so, and the server lets it log in in clear.
    if (!preLogin(0x02)) throw std::runtime_error("test client: no PRELOGIN answer");
    Login7 l;
    l.tdsVersion = tdsVersion;
    l.packetSize = packetSize;
    l.userName = user;
    l.password = password;
    l.database = database;
    l.hostName = "test";
    l.appName = "standin_proto tests";
    send(clientPackets(0x10, buildLogin7(l)));
    auto answer = readMessage();
    if (!answer) return {};
    return decodeTokens(*answer);
}

std::vector<Token> TdsTestClient::batch(const std::string& sql) {
    send(clientPackets(0x01, sqlBatchPayload(sql)));
    return readTokens();
}

std::vector<Token> TdsTestClient::rpc(const Bytes& payload) {
    send(clientPackets(0x03, payload));
    return readTokens();
}

}  // namespace standin::test
