#pragma once
// The server an integration test runs against. By default an in-process stand-in on a free port; when
// VAC_TEST_SERVER (host, host,port or host\instance) and VAC_TEST_LOGIN (user:password) are set, that
// server instead, which may be a real SQL Server holding other people's accounts: tests there touch only
// names of their own (ScratchName) and remove them afterwards (Scratch), also when they fail.
#include "data/MSAccess.h"
#include "tools/standin/tds/StandinServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vactest {

struct ServerLogin {
    std::string address;
    std::string user;
    std::string password;
};

// The server the two variables name; none when neither is set. One set without the other, or a login
// without ':', is a mistake of the person running the tests and throws std::invalid_argument.
std::optional<ServerLogin> ExternalServer();

class ServerUnderTest {
public:
    // Starts a stand-in with these options unless an external server is named.
    explicit ServerUnderTest(standin::ServerOptions options = {});

    // Null against an external server: faults, the statement log and the engine are the stand-in's own.
    standin::Server* Standin() const { return standin_.get(); }
    const ServerLogin& Login() const { return login_; }
    // Server, login and a short login time-out on a connection.
    void Configure(TMSConnection& connection) const;

private:
    std::unique_ptr<standin::Server> standin_;
    ServerLogin login_;
};

// `prefix` and eight random hexadecimal digits: short enough for user_auth.account (14 characters)
// with a prefix of up to six.
std::string ScratchName(const std::string& prefix);

// Statements that undo what a test created, run in reverse order on a connection of their own when the
// object goes, whatever the test's outcome. A statement that fails there is a test failure.
class Scratch {
public:
    explicit Scratch(const ServerUnderTest& server);
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    void Undo(std::string sql) { undo_.push_back(std::move(sql)); }
    // The three rows an account may have, removed by name.
    void UndoAccount(const std::string& account);
    // A table, dropped.
    void UndoTable(const std::string& qualifiedName);

    // A statement or a query on the cleanup connection, for checks of what a test left.
    void Exec(const std::string& sql);
    std::vector<std::string> Column(const std::string& sql);

private:
    TMSConnection& Connected();

    const ServerUnderTest& server_;
    TMSConnection connection_;
    std::vector<std::string> undo_;
};

}  // namespace vactest

// For the fixtures written for the stand-in alone (its empty tables, statement log and faults); skips
// their tests, with the reason, when the run points at another server.
#define VAC_SKIP_AGAINST_OTHER_SERVER(reason)                                         \
    do {                                                                              \
        if (vactest::ExternalServer()) GTEST_SKIP() << "stand-in only: " << (reason); \
    } while (false)
