#include "tools/standin/tds/TdsConnection.h"

#include "tools/standin/sql/Utf.h"
#include "tools/standin/tds/ControlStatement.h"
#include "tools/standin/tds/TdsWriter.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <functional>

namespace standin {

using namespace tds;
using standin::Message;

namespace {

constexpr const char* kDefaultDatabase = "master";
constexpr const char* kLanguage = "us_english";

// SQL Server's texts for the failures the stand-in reports itself.
Message loginFailed(const std::string& user) { return {18456, 1, 14, "Login failed for user '" + user + "'.", "", 1}; }
Message cannotOpenDatabase(const std::string& database) {
    return {4060, 1, 11, "Cannot open database \"" + database + "\" requested by the login. The login failed.", "", 1};
}
Message protocolError(const std::string& detail) {
    return {4002, 1, 20, "The incoming tabular data stream (TDS) protocol stream is incorrect. " + detail, "", 1};
}
Message noPermission() { return {15247, 1, 16, "User does not have permission to perform this action.", "", 1}; }
Message incorrectSyntax(const std::string& near) {
    return {102, 1, 15, "Incorrect syntax near '" + near + "'.", "", 1};
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// ALL_HEADERS in front of SQL batches, RPCs and transaction-manager requests (TDS 7.2+). Returns
// with the reader behind them; every header length is checked against the message.
void skipAllHeaders(ByteReader& r) {
    const size_t start = r.position();
    const uint32_t total = r.u32LE();
    if (total < 4 || total > r.data().size() - start)
        throw ProtocolError("ALL_HEADERS length does not fit the request");
    size_t pos = start + 4;
    while (pos < start + total) {
        r.seek(pos);
        const uint32_t length = r.u32LE();
        if (length < 6 || length > start + total - pos)
            throw ProtocolError("a header's length does not fit ALL_HEADERS");
        pos += length;
    }
    r.seek(start + total);
}

// A transaction name: UTF-16 behind a length in bytes, as clients send it.
std::string readTransactionName(ByteReader& r) {
    const uint8_t bytes = r.u8();
    if (bytes % 2 != 0) throw ProtocolError("a transaction name with an odd number of bytes");
    return utf16ToUtf8(r.utf16(bytes / 2));
}

int64_t threadCpuNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

Credentials::Credentials(std::vector<std::pair<std::string, std::string>> logins) : logins_(std::move(logins)) {
    if (logins_.empty()) logins_.emplace_back("sa", "standin");
}

bool Credentials::accepts(const std::string& name, const std::string& password) const {
    const std::string key = lower(name);
    return std::any_of(logins_.begin(), logins_.end(),
                       [&](const auto& l) { return lower(l.first) == key && l.second == password; });
}

bool Credentials::isAdministrator(const std::string& name) { return lower(name) == "sa"; }

TdsConnection::TdsConnection(ByteChannel& channel, ConnectionEnvironment& environment, int connectionId, uint16_t spid)
    : env_(environment),
      channel_(channel, spid),
      connectionId_(connectionId),
      spid_(spid),
      reader_(channel_),
      writer_(channel_, spid),
      procedures_(environment.engine, session_,
                  [this](const std::string& sql) { env_.log.record(connectionId_, sql); }) {}

void TdsConnection::run() {
    cpuAccounted_ = threadCpuNanoseconds();
    try {
        if (login()) {
            for (;;) {
                std::optional<tds::Request> message;
                try {
                    message = reader_.readRequest();
                } catch (const ProtocolError& e) {
                    answerProtocolError(e.what());
                    break;
                }
                if (!message) break;
                bool goOn = false;
                try {
                    goOn = handle(*message);
                } catch (const ProtocolError& e) {
                    answerProtocolError(e.what());
                }
                accountCpu();
                if (!goOn) break;
            }
        }
    } catch (const std::exception&) {
        // The client went away or broke the protocol mid-answer: only this connection ends.
    }
    if (loggedIn_) {
        try {
            env_.engine.endSession(session_);
        } catch (const std::exception&) {}
    }
    accountCpu();
}

void TdsConnection::accountCpu() {
    const int64_t now = threadCpuNanoseconds();
    env_.stats.cpuNanoseconds += now - cpuAccounted_;
    cpuAccounted_ = now;
}

bool TdsConnection::attentionArrived() {
    if (!channel_.waitForInput(std::chrono::milliseconds(0))) return false;
    auto message = reader_.readRequest();
    if (!message) throw ConnectionClosed("client left during a response");
    if (message->kind() == PacketType::Attention) return true;
    throw ProtocolError("request received while a response was still being sent");
}

bool TdsConnection::attentionWithin(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (!channel_.waitForInput(left)) return false;
        if (attentionArrived()) return true;
    }
}

bool TdsConnection::waitDelay(bool cancellable) {
    const auto delay = env_.faults.delay();
    if (delay.count() <= 0) return true;
    if (cancellable) return !attentionWithin(delay);
    // Nothing legitimate arrives during a login; a close shows up on the next read.
    channel_.waitForInput(delay);
    return true;
}

TdsResponse TdsConnection::makeResponse(uint16_t doneToken) {
    TdsResponse::Options options;
    options.serverName = env_.serverName;
    options.nbcRows = nbcRows_;
    options.doneToken = doneToken;
    return TdsResponse(
        writer_, options, [this] { return attentionArrived(); },
        [this](std::chrono::milliseconds timeout) { return attentionWithin(timeout); });
}

bool TdsConnection::refuseLogin(const std::vector<Message>& errors) {
    Bytes& out = writer_.buffer();
    for (const auto& e : errors) writeMessage(out, e, env_.serverName);
    writeDone(out, kDoneError, 0, 0);
    writer_.finish();
    return false;
}

bool TdsConnection::negotiate(const tds::Request& prelogin, EncryptionUse& use) {
    const PreLoginRequest request = parsePreLogin(prelogin.payload);
    const EncryptionDecision decision = negotiateEncryption(env_.encryption, request.encryption);
    if (!decision.answer) return false;
    writer_.buffer() = buildPreLoginResponse(kServerVersion, *decision.answer);
    writer_.finish();
    if (decision.use != EncryptionUse::None) {
        if (!env_.certificate) throw tls::TlsError("encryption was agreed but the server has no certificate");
        channel_.handshake(*env_.certificate);
    }
    use = decision.use;
    return true;
}

bool TdsConnection::login() {
    auto message = reader_.readRequest();
    if (!message) return false;
    EncryptionUse use = EncryptionUse::None;
    if (message->kind() == PacketType::PreLogin) {
        if (!negotiate(*message, use)) return false;
        message = reader_.readRequest();
        if (!message) return false;
    } else if (env_.encryption == EncryptionMode::Required) {
        // Without a PRELOGIN there is no way to encrypt, and this server accepts nothing less.
        return false;
    }
    if (message->kind() != PacketType::Login7) {
        answerProtocolError("A login was expected.");
        return false;
    }
    const Login7 login = parseLogin7(message->payload);
    // The client encrypted its login only; everything after it, the answer included, is clear.
    if (use == EncryptionUse::LoginOnly) channel_.endEncryption();
    env_.log.recordEncryption(connectionId_, encryptionUseName(use));
    waitDelay(false);

    if (login.tdsVersion < kTds72) {
        char version[16];
        std::snprintf(version, sizeof version, "%08X", login.tdsVersion);
        return refuseLogin({protocolError(std::string("The stand-in speaks TDS 7.2 to 7.4, not ") + version + ".")});
    }
    userName_ = login.userName;
    if (env_.faults.takeLoginRefusal()) return refuseLogin({loginFailed(login.userName)});
    if (login.integratedSecurity || !env_.credentials.accepts(login.userName, login.password))
        return refuseLogin({loginFailed(login.userName)});
    const std::string database = login.database.empty() ? kDefaultDatabase : login.database;
    if (!env_.engine.hasDatabase(database))
        return refuseLogin({cannotOpenDatabase(database), loginFailed(login.userName)});

    const uint32_t version = std::min(login.tdsVersion, kTds74);
    nbcRows_ = version >= kTds73B;
    size_t packetSize = login.packetSize == 0 ? kDefaultPacketSize : login.packetSize;
    packetSize = std::clamp(packetSize, kMinPacketSize, kMaxPacketSize);
    session_ = Session{};
    session_.database = database;
    session_.spid = spid_;
    session_.login = login.userName;
    session_.serverName = env_.serverName;

    Bytes& out = writer_.buffer();
    writeEnvChange(out, kEnvDatabase, database, kDefaultDatabase);
    writeMessage(out, {5701, 2, 0, "Changed database context to '" + database + "'.", "", 1}, env_.serverName);
    writeEnvChangeBytes(out, kEnvCollation, collationBytes(env_.engine.databaseCollation(database)), {});
    writeEnvChange(out, kEnvLanguage, kLanguage, "");
    writeMessage(out, {5703, 1, 0, std::string("Changed language setting to ") + kLanguage + ".", "", 1},
                 env_.serverName);
    writeLoginAck(out, version, kProgramName, kServerVersion);
    writeEnvChange(out, kEnvPacketSize, std::to_string(packetSize), std::to_string(kDefaultPacketSize));
    writeDone(out, kDoneFinal, 0, 0);
    writer_.finish();
    writer_.setPacketSize(packetSize);
    loggedIn_ = true;
    return true;
}

bool TdsConnection::handle(const tds::Request& message) {
    if (message.ignored() && message.kind() != PacketType::Attention) {
        // The client abandoned a request it had begun to send.
        answerSimple(kDoneFinal);
        return true;
    }
    switch (message.kind()) {
    case PacketType::SqlBatch: return handleBatch(message);
    case PacketType::TransactionManager: return handleTransactionRequest(message);
    case PacketType::Attention:
        // The answer was complete before the attention arrived; it still gets its acknowledgement.
        answerSimple(kDoneAttention);
        return true;
    case PacketType::Rpc: return handleRpc(message);
    case PacketType::BulkLoad: return answerBulkLoad();
    case PacketType::Login7:
    case PacketType::PreLogin: answerProtocolError("The session is already logged in."); return false;
    default:
        // Well framed but nothing the stand-in serves: said so, and the session goes on.
        answerProtocolError("Unexpected request type " + std::to_string(message.type) + ".");
        return true;
    }
}

void TdsConnection::answerCancelled() {
    // The request's own (empty) answer, then the attention's acknowledgement in a message of its own.
    answerSimple(kDoneFinal);
    answerSimple(kDoneAttention);
}

void TdsConnection::answerSimple(uint16_t doneStatus) {
    writeDone(writer_.buffer(), doneStatus, 0, 0);
    writer_.finish();
}

void TdsConnection::answerProtocolError(const std::string& detail) {
    try {
        writer_.buffer().clear();
        writeMessage(writer_.buffer(), protocolError(detail), env_.serverName);
        writeDone(writer_.buffer(), kDoneError, 0, 0);
        writer_.finish();
    } catch (const std::exception&) {
        // Nobody is listening any more.
    }
}

bool TdsConnection::answerBulkLoad() {
    TdsResponse response = makeResponse(kTokenDone);
    respond(response, [&] {
        response.message({4002, 1, 16, "The stand-in does not support bulk load requests.", "", 1});
    });
    return true;
}

bool TdsConnection::handleRpc(const tds::Request& message) {
    ByteReader r(message.payload);
    skipAllHeaders(r);
    std::vector<RpcCall> calls;
    try {
        calls = parseRpcRequest(r);
    } catch (const RpcUnsupported& e) {
        TdsResponse response = makeResponse(kTokenDoneProc);
        respond(response, [&] { response.message({4002, 1, 16, e.what(), "", 1}); });
        return true;
    }
    if (!waitDelay(true)) {
        answerCancelled();
        return true;
    }
    TdsResponse response = makeResponse(kTokenDoneInProc);
    respond(response, [&] {
        for (const auto& call : calls) procedures_.call(call, response);
    });
    accountCpu();
    env_.stats.rowsSent += response.rowsSent();
    return true;
}

bool TdsConnection::handleBatch(const tds::Request& message) {
    ByteReader r(message.payload);
    skipAllHeaders(r);
    if (r.remaining() % 2 != 0) throw ProtocolError("SQL text has an odd number of bytes");
    const std::string sql = utf16ToUtf8(r.utf16(r.remaining() / 2));
    env_.log.record(connectionId_, sql);

    if (isControlStatement(sql)) return handleControl(sql);

    const FaultControl::BatchFault fault = env_.faults.takeBatchFault();
    if (fault.drop) return false;
    if (!waitDelay(true)) {
        answerCancelled();
        return true;
    }

    TdsResponse response = makeResponse(kTokenDone);
    if (!fault.errors.empty()) {
        bool fatal = false;
        for (const auto& e : fault.errors) fatal = fatal || e.severity >= 20;
        respond(response, [&] {
            for (const auto& e : fault.errors) response.message(e);
        });
        // SQL Server ends the session after an error of severity 20 or more.
        return !fatal;
    }

    respond(response, [&] {
        try {
            env_.engine.execute(session_, sql, response);
        } catch (const EncodeError& e) {
            response.message({50000, 1, 16, std::string("The stand-in could not send a value: ") + e.what(), "", 1});
        }
    });
    // CPU first: whoever sees the row count can rely on the CPU time that produced it.
    accountCpu();
    env_.stats.rowsSent += response.rowsSent();
    return true;
}

void TdsConnection::respond(TdsResponse& response, const std::function<void()>& body) {
    try {
        body();
    } catch (const RequestCancelled&) {
        // finish() answers with DONE_ATTN.
    } catch (const ProtocolError&) {
        throw;
    } catch (const ConnectionClosed&) {
        throw;
    } catch (const std::exception& e) {
        // A defect or a failing data file must not take the server down: report it like SQL Server
        // reports an internal error, and stay connected.
        try {
            response.message({50000, 1, 16, std::string("The stand-in failed: ") + e.what(), "", 1});
        } catch (const RequestCancelled&) {}
    }
    response.finish();
}

bool TdsConnection::handleControl(const std::string& sql) {
    TdsResponse response = makeResponse(kTokenDone);
    respond(response, [&] {
        if (!Credentials::isAdministrator(userName_)) {
            response.message(noPermission());
            return;
        }
        try {
            const ControlCommand command = parseControlStatement(sql);
            struct Apply {
                FaultControl& faults;
                void operator()(const ControlDropNextBatch&) const { faults.dropNextBatch(); }
                void operator()(const ControlDelay& d) const { faults.setDelay(d.delay); }
                void operator()(const ControlFailNextBatch& f) const { faults.failNextBatch(f.errors); }
                void operator()(const ControlRefuseLogins& r) const { faults.refuseLogins(r.count); }
                void operator()(const ControlClear&) const { faults.clear(); }
            };
            std::visit(Apply{env_.faults}, command);
            response.message({0, 1, 0, describeControlCommand(command), "", 1});
        } catch (const ControlSyntaxError& e) {
            response.message(incorrectSyntax(e.what()));
        }
    });
    return true;
}

uint64_t TdsConnection::transactionDescriptor() const { return static_cast<uint64_t>(session_.transactionId); }

bool TdsConnection::handleTransactionRequest(const tds::Request& message) {
    enum : uint16_t { kBegin = 5, kCommit = 7, kRollback = 8 };
    ByteReader r(message.payload);
    skipAllHeaders(r);
    const uint16_t type = r.u16LE();
    bool beginAfter = false;
    if (type == kBegin) {
        r.u8();  // isolation level
        readTransactionName(r);
    } else if (type == kCommit || type == kRollback) {
        readTransactionName(r);
        const uint8_t flags = r.u8();
        if (flags & 0x01) {
            beginAfter = true;
            r.u8();
            readTransactionName(r);
        }
    }
    if (!waitDelay(true)) {
        answerCancelled();
        return true;
    }

    TdsResponse response = makeResponse(kTokenDone);
    auto begin = [&] {
        const bool was = session_.inTransaction;
        env_.engine.beginTransaction(session_, response);
        if (!was && session_.inTransaction) response.transactionBegan(transactionDescriptor());
    };
    auto end = [&](bool commit) {
        const bool was = session_.inTransaction;
        const uint64_t descriptor = transactionDescriptor();
        if (commit) {
            env_.engine.commitTransaction(session_, response);
        } else {
            env_.engine.rollbackTransaction(session_, response);
        }
        if (was && !session_.inTransaction) response.transactionEnded(commit, descriptor);
    };
    respond(response, [&] {
        switch (type) {
        case kBegin: begin(); break;
        case kCommit:
        case kRollback:
            end(type == kCommit);
            if (beginAfter && !session_.inTransaction) begin();
            break;
        default:
            response.message({4002, 1, 16,
                              "The stand-in does not support transaction-manager request " + std::to_string(type) + ".",
                              "", 1});
        }
    });
    return true;
}

}  // namespace standin
