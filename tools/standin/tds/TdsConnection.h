#pragma once
// One client conversation: PRELOGIN (with the TLS handshake where encryption is agreed), LOGIN7,
// then requests until the client leaves, over TLS for as much as was agreed. SQL batches and
// remote procedure calls run on the engine and stream back; transaction-manager requests begin,
// commit and roll back; attention cancels; anything else is answered with an error. Faults and the
// control statement are honoured here.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/tds/FaultControl.h"
#include "tools/standin/tds/StatementLog.h"
#include "tools/standin/tds/SystemProcedures.h"
#include "tools/standin/tds/TdsChannel.h"
#include "tools/standin/tds/TdsLogin.h"
#include "tools/standin/tds/TdsPacket.h"
#include "tools/standin/tds/TdsResponse.h"
#include "tools/standin/tds/TlsChannel.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// The SQL logins the stand-in accepts. Names compare without regard to case, as on a server with a
// case-insensitive collation; passwords exactly. The login "sa" is the administrator.
class Credentials {
public:
    explicit Credentials(std::vector<std::pair<std::string, std::string>> logins);
    bool accepts(const std::string& name, const std::string& password) const;
    static bool isAdministrator(const std::string& name);

private:
    std::vector<std::pair<std::string, std::string>> logins_;
};

// Totals over every connection of a server, for the benchmark.
struct ServerStats {
    std::atomic<int64_t> cpuNanoseconds{0};  // thread CPU time spent answering requests
    std::atomic<uint64_t> rowsSent{0};
};

// What every connection of one server shares.
struct ConnectionEnvironment {
    Engine& engine;
    FaultControl& faults;
    StatementLog& log;
    const Credentials& credentials;
    ServerStats& stats;
    std::string serverName = "standin";
    tds::EncryptionMode encryption = tds::EncryptionMode::Off;
    const tls::TlsCertificate* certificate = nullptr;  // present unless encryption is off
};

// major, minor, build (big-endian) of the release the engine reports (ServerRelease).
constexpr std::array<uint8_t, 4> kServerVersion = {ServerRelease::kMajor, ServerRelease::kMinor,
                                                   ServerRelease::kBuild >> 8, ServerRelease::kBuild & 0xFF};
constexpr const char* kProgramName = "Microsoft SQL Server";

class TdsConnection {
public:
    TdsConnection(tds::ByteChannel& channel, ConnectionEnvironment& environment, int connectionId, uint16_t spid);
    TdsConnection(const TdsConnection&) = delete;
    TdsConnection& operator=(const TdsConnection&) = delete;

    // Runs the conversation to its end. Never throws: a broken or misbehaving client ends only its
    // own connection. An open transaction is rolled back when the connection ends.
    void run();

private:
    bool login();
    // PRELOGIN's answer and, where agreed, the TLS handshake; false when the connection ends here.
    bool negotiate(const tds::Request& prelogin, tds::EncryptionUse& use);
    bool refuseLogin(const std::vector<Message>& errors);
    bool handle(const tds::Request& message);
    bool handleBatch(const tds::Request& message);
    bool handleControl(const std::string& sql);
    bool handleTransactionRequest(const tds::Request& message);
    bool handleRpc(const tds::Request& message);
    bool answerBulkLoad();
    void answerProtocolError(const std::string& detail);
    void answerSimple(uint16_t doneStatus);
    void answerCancelled();
    // Waits out the configured delay; false when the client cancelled meanwhile.
    bool waitDelay(bool cancellable);
    bool attentionArrived();
    // Waits up to timeout for the client's attention; true when it came.
    bool attentionWithin(std::chrono::milliseconds timeout);
    uint64_t transactionDescriptor() const;
    void accountCpu();
    tds::TdsResponse makeResponse(uint16_t doneToken);
    // Runs body against the response and ends it: DONE_ATTN after a cancel, an error record for a
    // failure inside the engine.
    void respond(tds::TdsResponse& response, const std::function<void()>& body);

    ConnectionEnvironment& env_;
    tls::TlsChannel channel_;
    int connectionId_;
    uint16_t spid_;
    tds::PacketReader reader_;
    tds::PacketWriter writer_;
    Session session_;
    tds::SystemProcedures procedures_;
    std::string userName_;
    bool loggedIn_ = false;
    bool nbcRows_ = true;
    int64_t cpuAccounted_ = 0;
};

}  // namespace standin
