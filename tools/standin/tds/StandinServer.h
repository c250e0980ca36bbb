#pragma once
// In-process handle on the stand-in TDS server, for tests: start on a free loopback port, inject
// faults, read the statement log, stop. The vac-standin binary wraps the same class.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/tds/StatementLog.h"
#include "tools/standin/tds/TdsLogin.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

struct ServerOptions {
    std::string listenAddress = "127.0.0.1";
    uint16_t port = 0;                                        // 0: pick a free port
    std::optional<std::string> dataFile;                      // tables loaded from and kept in this file
    std::optional<std::string> logFile;                       // one JSON object per batch: {"conn": N, "sql": "..."}
    std::vector<std::pair<std::string, std::string>> logins;  // empty: sa / standin
    int demoAccounts = 0;                                     // seed this many accounts when the tables are empty
    std::string serverName = "standin";                       // the server name in error and info messages
    // As a server with a certificate by default: the login always encrypted, the session when asked.
    tds::EncryptionMode encryption = tds::EncryptionMode::On;
    std::optional<std::string> certificateFile;              // PEM; without it a self-signed one is made at start
    std::optional<std::string> keyFile;                      // PEM, the certificate's private key
    std::string collation = "SQL_Latin1_General_CP1_CI_AS";  // the server's default collation
    // Schema scripts (name, text) that build the tables of a new store instead of the built-in ones.
    std::vector<std::pair<std::string, std::string>> schemaScripts;
};

// Work done by the connection threads so far, for the benchmark's share-of-time figure.
struct ServerLoad {
    std::chrono::nanoseconds cpuTime{0};  // thread CPU time of every connection, finished ones included
    uint64_t rowsSent = 0;
};

class Server {
public:
    explicit Server(ServerOptions options = {});
    ~Server();  // stops
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    void start();  // returns once accepting; throws std::runtime_error on failure
    void stop();   // closes every connection, saves the data
    uint16_t port() const;

    // Faults on demand; each applies to the next batch received on any connection.
    void dropNextBatch();                             // close that connection instead of answering
    void setDelay(std::chrono::milliseconds delay);   // delay every answer (0 turns it off)
    void failNextBatch(std::vector<Message> errors);  // answer with these error records only
    void refuseLogins(int count);                     // refuse the next count logins (18456)
    void clearFaults();                               // every fault above off

    std::vector<LoggedBatch> statements() const;                 // every batch received so far
    std::vector<LoggedConnection> connectionEncryption() const;  // per login, how much ran over TLS
    void clearStatements();                                      // both lists above
    Engine& engine();
    ServerLoad load() const;
    int openConnections() const;  // connections whose conversation still runs

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace standin
