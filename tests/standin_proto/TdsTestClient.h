#pragma once
// A deliberately small TDS client for the stand-in's protocol tests: it logs in, sends batches and
// raw packets (also malformed ones), and decodes the response tokens far enough to check them.
// Fidelity against real clients is checked with FreeTDS; this one exists to break the rules.
#include "tools/standin/tds/TdsBuffer.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin::test {

using tds::Bytes;

struct TokenColumn {
    uint8_t typeCode = 0;
    uint16_t flags = 0;
    std::string name;
    // Framing of the values: fixed size, 1- or 2-byte length, PLP or text pointer.
    enum class Framing { Fixed, ByteLen, ShortLen, Plp, Text } framing = Framing::Fixed;
    size_t fixedSize = 0;
};

struct Token {
    uint8_t type = 0;
    // DONE, DONEPROC, DONEINPROC
    uint16_t status = 0;
    uint64_t count = 0;
    // INFO, ERROR
    int32_t number = 0;
    uint8_t state = 0;
    uint8_t severity = 0;
    std::string text;
    // ENVCHANGE
    uint8_t envType = 0;
    Bytes envNew, envOld;  // raw (UTF-16 for text kinds)
    // COLMETADATA
    std::vector<TokenColumn> columns;
    // ROW, NBCROW: raw value bytes, nullopt for NULL
    std::vector<std::optional<Bytes>> values;
    // LOGINACK
    uint32_t tdsVersion = 0;
    // RETURNSTATUS
    int32_t returnStatus = 0;
    // RETURNVALUE: the parameter's name and ordinal; its value is values[0], its type columns[0]
    std::string paramName;
    uint16_t ordinal = 0;
};

// Decodes one response payload; throws tds::ProtocolError on anything it cannot follow.
std::vector<Token> decodeTokens(const Bytes& payload);

std::string utf16Text(const Bytes& utf16le);

// Packets of one message as a client would send them.
Bytes clientPackets(uint8_t type, const Bytes& payload, size_t packetSize = 4096, uint8_t lastStatus = 0x01);
Bytes sqlBatchPayload(const std::string& utf8, uint64_t transaction = 0);

// One parameter of a remote procedure call: its TYPE_INFO and value as the wire carries them.
struct RpcParam {
    std::string name;
    bool output = false;
    Bytes typeAndValue;
};
RpcParam intParam(const std::string& name, std::optional<int32_t> value, bool output = false);
RpcParam nvarcharParam(const std::string& name, const std::optional<std::string>& utf8, bool output = false);
// A call of a system procedure by its ProcID (sp_executesql 10, sp_prepare 11, sp_execute 12,
// sp_prepexec 13, sp_unprepare 15) or of a procedure by name.
Bytes rpcById(uint16_t procId, const std::vector<RpcParam>& params);
Bytes rpcByName(const std::string& name, const std::vector<RpcParam>& params);

class TdsTestClient {
public:
    explicit TdsTestClient(uint16_t port);
    ~TdsTestClient();
    TdsTestClient(const TdsTestClient&) = delete;
    TdsTestClient& operator=(const TdsTestClient&) = delete;

    // PRELOGIN offering this ENCRYPTION value; the answer's payload, nullopt when the server
    // closed the connection instead of answering.
    std::optional<Bytes> preLogin(uint8_t encryption);
    // PRELOGIN of a client without TLS + LOGIN7; returns the login response tokens.
    std::vector<Token> login(const std::string& user = "sa", const std::string& password = "standin",
                             const std::string& database = "", uint32_t packetSize = 4096,
                             uint32_t tdsVersion = 0x74000004);
    std::vector<Token> batch(const std::string& sql);
    // Sends an RPC request payload (from rpcById/rpcByName) and reads the answer.
    std::vector<Token> rpc(const Bytes& payload);

    void send(const Bytes& bytes);
    // One whole response message; nullopt when the server closed the connection instead.
    std::optional<Bytes> readMessage(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<Token> readTokens();
    // True when the server closed the connection (reads until EOF, dropping data).
    bool closedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    uint16_t spid() const { return spid_; }
    size_t lastPacketMax() const { return lastPacketMax_; }

private:
    size_t readSome(uint8_t* data, size_t size, std::chrono::milliseconds timeout);
    int fd_ = -1;
    uint16_t spid_ = 0;
    size_t lastPacketMax_ = 0;
};

}  // namespace standin::test
