#pragma once
// The two messages that open a TDS conversation: PRELOGIN (option table, where client and server
// settle on encryption) and LOGIN7 (who logs in, to which database, with which packet size).
#include "tools/standin/tds/TdsBuffer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace standin::tds {

enum class Encryption : uint8_t { Off = 0, On = 1, NotSupported = 2, Required = 3 };

struct PreLoginRequest {
    Encryption encryption = Encryption::NotSupported;  // a client that names none cannot encrypt
    bool mars = false;
};

PreLoginRequest parsePreLogin(std::span<const uint8_t> payload);

// VERSION, ENCRYPTION = the given answer, INSTOPT, THREADID (empty), MARS = off.
Bytes buildPreLoginResponse(std::array<uint8_t, 4> version, Encryption encryption = Encryption::NotSupported);

// What the server offers: off (no certificate), on (a certificate, encryption when the client
// wants it, the login always when the client can), required (SQL Server's "Force Encryption").
enum class EncryptionMode { Off, On, Required };
// How much of a connection ran over TLS.
enum class EncryptionUse { None, LoginOnly, Full };

struct EncryptionDecision {
    std::optional<Encryption> answer;  // nullopt: close the connection without answering
    EncryptionUse use = EncryptionUse::None;
};

// The negotiation table of TDS 7.x pre-login for the client's offer against the server's mode. A
// client that needs encryption and is told "not supported" is the one to end the connection.
EncryptionDecision negotiateEncryption(EncryptionMode server, Encryption client);

const char* encryptionModeName(EncryptionMode mode);  // "off", "on", "required"
std::optional<EncryptionMode> parseEncryptionMode(std::string_view name);
const char* encryptionUseName(EncryptionUse use);  // "none", "login", "full"

constexpr uint32_t kTds74 = 0x74000004;
constexpr uint32_t kTds73B = 0x730B0003;
constexpr uint32_t kTds73A = 0x730A0003;
constexpr uint32_t kTds72 = 0x72090002;

struct Login7 {
    uint32_t tdsVersion = 0;  // as the client numbers it, e.g. 0x74000004
    uint32_t packetSize = 0;
    uint32_t clientProcessId = 0;
    uint8_t optionFlags1 = 0;
    uint8_t optionFlags2 = 0;
    uint8_t typeFlags = 0;
    uint8_t optionFlags3 = 0;
    // UTF-8.
    std::string hostName;
    std::string userName;
    std::string password;
    std::string appName;
    std::string serverName;
    std::string libraryName;
    std::string language;
    std::string database;
    bool integratedSecurity = false;  // SSPI data present or the integrated-security flag set
};

// Throws ProtocolError for a message whose fields point outside it.
Login7 parseLogin7(std::span<const uint8_t> payload);

// The client side of parseLogin7, for tests and for seeding the fuzz corpus.
Bytes buildLogin7(const Login7& login);

// LOGIN7 scrambles each password byte: nibbles swapped, then XOR 0xA5. These undo and redo it.
std::u16string unscramblePassword(std::span<const uint8_t> scrambled);
Bytes scramblePassword(std::u16string_view password);

}  // namespace standin::tds
