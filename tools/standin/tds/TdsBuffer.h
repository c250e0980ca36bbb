#pragma once
// Byte-level helpers for the TDS wire format: appending little- and big-endian integers to a buffer
// and reading them back from untrusted input with every length checked.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin::tds {

using Bytes = std::vector<uint8_t>;

// The client sent something that does not follow the protocol. The connection answers with an
// error where it still can and closes; other connections are not affected.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline void putU8(Bytes& out, uint8_t v) { out.push_back(v); }

inline void putU16LE(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void putU16BE(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

inline void putU32LE(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void putU32BE(Bytes& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void putU64LE(Bytes& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void putBytes(Bytes& out, std::span<const uint8_t> data) { out.insert(out.end(), data.begin(), data.end()); }

inline void putUtf16(Bytes& out, std::u16string_view text) {
    for (char16_t c : text) putU16LE(out, static_cast<uint16_t>(c));
}

// Reads fields from a received message; any read past the end throws ProtocolError.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> data() const { return data_; }

    void seek(size_t pos) {
        if (pos > data_.size()) throw ProtocolError("offset beyond the end of the message");
        pos_ = pos;
    }
    void skip(size_t n) { take(n); }

    uint8_t u8() { return take(1)[0]; }
    uint16_t u16LE() {
        auto b = take(2);
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    }
    uint16_t u16BE() {
        auto b = take(2);
        return static_cast<uint16_t>((b[0] << 8) | b[1]);
    }
    uint32_t u32LE() {
        auto b = take(4);
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
               (static_cast<uint32_t>(b[3]) << 24);
    }
    uint64_t u64LE() {
        uint64_t lo = u32LE();
        uint64_t hi = u32LE();
        return lo | (hi << 32);
    }
    std::span<const uint8_t> bytes(size_t n) { return take(n); }
    // n UTF-16 code units, little-endian.
    std::u16string utf16(size_t n) {
        auto b = take(n * 2);
        std::u16string s(n, u'\0');
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
        return s;
    }

private:
    std::span<const uint8_t> take(size_t n) {
        if (n > remaining()) throw ProtocolError("message ends inside a field");
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

}  // namespace standin::tds
