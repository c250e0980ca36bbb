#include "tools/standin/tds/TdsLogin.h"

#include "tools/standin/sql/Utf.h"

#include <algorithm>
#include <vector>

namespace standin::tds {
namespace {

constexpr uint8_t kOptVersion = 0x00;
constexpr uint8_t kOptEncryption = 0x01;
constexpr uint8_t kOptInstance = 0x02;
constexpr uint8_t kOptThreadId = 0x03;
constexpr uint8_t kOptMars = 0x04;
constexpr uint8_t kOptTerminator = 0xFF;

constexpr size_t kLogin7FixedSize = 94;  // TDS 7.2 and later
constexpr size_t kLogin7FixedSize70 = 86;
constexpr uint8_t kIntegratedSecurityFlag = 0x80;  // OptionFlags2

uint8_t swapNibbles(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }

// One (offset, length-in-characters) pair of the LOGIN7 fixed part, read as UTF-8.
std::string readLoginString(std::span<const uint8_t> login, size_t fieldOffset) {
    ByteReader r(login);
    r.seek(fieldOffset);
    const uint16_t offset = r.u16LE();
    const uint16_t chars = r.u16LE();
    if (chars == 0) return {};
    r.seek(offset);
    return utf16ToUtf8(r.utf16(chars));
}

}  // namespace

PreLoginRequest parsePreLogin(std::span<const uint8_t> payload) {
    PreLoginRequest request;
    ByteReader r(payload);
    // Option table: token, big-endian offset and length, until the terminator.
    for (int entries = 0;; ++entries) {
        if (entries > 64) throw ProtocolError("PRELOGIN option table has no terminator");
        const uint8_t token = r.u8();
        if (token == kOptTerminator) break;
        const uint16_t offset = r.u16BE();
        const uint16_t length = r.u16BE();
        if (static_cast<size_t>(offset) + length > payload.size())
            throw ProtocolError("PRELOGIN option points outside the message");
        if (token == kOptEncryption && length >= 1) {
            const uint8_t value = payload[offset];
            if (value > 3) throw ProtocolError("PRELOGIN encryption value out of range");
            request.encryption = static_cast<Encryption>(value);
        } else if (token == kOptMars && length >= 1) {
            request.mars = payload[offset] != 0;
        }
    }
    return request;
}

Bytes buildPreLoginResponse(std::array<uint8_t, 4> version, Encryption encryption) {
    struct Option {
        uint8_t token;
        Bytes data;
    };
    const std::vector<Option> options = {
        {kOptVersion, {version[0], version[1], version[2], version[3], 0, 0}},
        {kOptEncryption, {static_cast<uint8_t>(encryption)}},
        {kOptInstance, {0}},
        {kOptThreadId, {}},
        {kOptMars, {0}},
    };
    Bytes out;
    size_t dataOffset = options.size() * 5 + 1;
    for (const auto& o : options) {
        putU8(out, o.token);
        putU16BE(out, static_cast<uint16_t>(dataOffset));
        putU16BE(out, static_cast<uint16_t>(o.data.size()));
        dataOffset += o.data.size();
    }
    putU8(out, kOptTerminator);
    for (const auto& o : options) putBytes(out, o.data);
    return out;
}

EncryptionDecision negotiateEncryption(EncryptionMode server, Encryption client) {
    const bool clientCanEncrypt = client != Encryption::NotSupported;
    const bool clientWantsAll = client == Encryption::On || client == Encryption::Required;
    switch (server) {
    case EncryptionMode::Off: return {Encryption::NotSupported, EncryptionUse::None};
    case EncryptionMode::On:
        if (!clientCanEncrypt) return {Encryption::NotSupported, EncryptionUse::None};
        if (clientWantsAll) return {Encryption::On, EncryptionUse::Full};
        return {Encryption::Off, EncryptionUse::LoginOnly};
    case EncryptionMode::Required:
        if (!clientCanEncrypt) return {std::nullopt, EncryptionUse::None};
        return {clientWantsAll ? Encryption::On : Encryption::Required, EncryptionUse::Full};
    }
    return {std::nullopt, EncryptionUse::None};
}

const char* encryptionModeName(EncryptionMode mode) {
    switch (mode) {
    case EncryptionMode::Off: return "off";
    case EncryptionMode::On: return "on";
    case EncryptionMode::Required: return "required";
    }
    return "?";
}

std::optional<EncryptionMode> parseEncryptionMode(std::string_view name) {
    constexpr std::array modes = {EncryptionMode::Off, EncryptionMode::On, EncryptionMode::Required};
    const auto found =
        std::find_if(modes.begin(), modes.end(), [&](EncryptionMode m) { return name == encryptionModeName(m); });
    if (found == modes.end()) return std::nullopt;
    return *found;
}

const char* encryptionUseName(EncryptionUse use) {
    switch (use) {
    case EncryptionUse::None: return "none";
    case EncryptionUse::LoginOnly: return "login";
    case EncryptionUse::Full: return "full";
    }
    return "?";
}

Login7 parseLogin7(std::span<const uint8_t> payload) {
    ByteReader r(payload);
    const uint32_t length = r.u32LE();
    if (length < kLogin7FixedSize70 || length > payload.size())
        throw ProtocolError("LOGIN7 length does not match the message");
    const auto login = payload.first(length);
    Login7 l;
    l.tdsVersion = r.u32LE();
    l.packetSize = r.u32LE();
    r.skip(4);  // client program version
    l.clientProcessId = r.u32LE();
    r.skip(4);  // connection id
    l.optionFlags1 = r.u8();
    l.optionFlags2 = r.u8();
    l.typeFlags = r.u8();
    l.optionFlags3 = r.u8();
    l.hostName = readLoginString(login, 36);
    l.userName = readLoginString(login, 40);
    {
        ByteReader p(login);
        p.seek(44);
        const uint16_t offset = p.u16LE();
        const uint16_t chars = p.u16LE();
        p.seek(offset);
        l.password = utf16ToUtf8(unscramblePassword(p.bytes(static_cast<size_t>(chars) * 2)));
    }
    l.appName = readLoginString(login, 48);
    l.serverName = readLoginString(login, 52);
    l.libraryName = readLoginString(login, 60);
    l.language = readLoginString(login, 64);
    l.database = readLoginString(login, 68);
    {
        ByteReader s(login);
        s.seek(78);
        const uint16_t offset = s.u16LE();
        uint32_t bytes = s.u16LE();
        if (bytes == 0xFFFF && length >= kLogin7FixedSize) {
            s.seek(90);
            bytes = s.u32LE();
        }
        if (bytes > 0) {
            s.seek(offset);
            s.skip(bytes);  // must lie inside the message
        }
        l.integratedSecurity = bytes > 0 || (l.optionFlags2 & kIntegratedSecurityFlag) != 0;
    }
    return l;
}

std::u16string unscramblePassword(std::span<const uint8_t> scrambled) {
    std::u16string out(scrambled.size() / 2, u'\0');
    for (size_t i = 0; i + 1 < scrambled.size(); i += 2) {
        const uint8_t lo = swapNibbles(static_cast<uint8_t>(scrambled[i] ^ 0xA5));
        const uint8_t hi = swapNibbles(static_cast<uint8_t>(scrambled[i + 1] ^ 0xA5));
        out[i / 2] = static_cast<char16_t>(lo | (hi << 8));
    }
    return out;
}

Bytes scramblePassword(std::u16string_view password) {
    Bytes out;
    for (char16_t c : password) {
        out.push_back(static_cast<uint8_t>(swapNibbles(static_cast<uint8_t>(c)) ^ 0xA5));
        out.push_back(static_cast<uint8_t>(swapNibbles(static_cast<uint8_t>(c >> 8)) ^ 0xA5));
    }
    return out;
}

Bytes buildLogin7(const Login7& l) {
    Bytes fixed;
    Bytes data;
    auto addString = [&](const Bytes& encoded, size_t chars) {
        putU16LE(fixed, static_cast<uint16_t>(kLogin7FixedSize + data.size()));
        putU16LE(fixed, static_cast<uint16_t>(chars));
        putBytes(data, encoded);
    };
    auto addText = [&](const std::string& text) {
        const auto u = utf8ToUtf16(text);
        Bytes encoded;
        putUtf16(encoded, u);
        addString(encoded, u.size());
    };
    putU32LE(fixed, 0);  // length, patched below
    putU32LE(fixed, l.tdsVersion);
    putU32LE(fixed, l.packetSize);
    putU32LE(fixed, 0);
    putU32LE(fixed, l.clientProcessId);
    putU32LE(fixed, 0);
    putU8(fixed, l.optionFlags1);
    putU8(fixed, static_cast<uint8_t>(l.optionFlags2 | (l.integratedSecurity ? kIntegratedSecurityFlag : 0)));
    putU8(fixed, l.typeFlags);
    putU8(fixed, l.optionFlags3);
    putU32LE(fixed, 0);  // time zone
    putU32LE(fixed, 0x0409);
    addText(l.hostName);
    addText(l.userName);
    {
        const auto u = utf8ToUtf16(l.password);
        addString(scramblePassword(u), u.size());
    }
    addText(l.appName);
    addText(l.serverName);
    addString({}, 0);  // extension
    addText(l.libraryName);
    addText(l.language);
    addText(l.database);
    for (int i = 0; i < 6; ++i) putU8(fixed, 0);  // client id
    addString({}, 0);                             // SSPI
    addString({}, 0);                             // attach file
    addString({}, 0);                             // change password
    putU32LE(fixed, 0);                           // long SSPI length
    Bytes out = fixed;
    putBytes(out, data);
    const auto total = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(total >> (8 * i));
    return out;
}

}  // namespace standin::tds
