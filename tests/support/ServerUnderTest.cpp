#include "tests/support/ServerUnderTest.h"

#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vactest {

namespace {

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

}  // namespace

std::optional<ServerLogin> ExternalServer() {
    const auto server = Variable("VAC_TEST_SERVER");
    const auto login = Variable("VAC_TEST_LOGIN");
    if (!server && !login) return std::nullopt;
    if (!server || !login) throw std::invalid_argument("set both VAC_TEST_SERVER and VAC_TEST_LOGIN, or neither");
    const auto colon = login->find(':');
    if (colon == std::string::npos) throw std::invalid_argument("VAC_TEST_LOGIN is user:password");
    return ServerLogin{*server, login->substr(0, colon), login->substr(colon + 1)};
}

ServerUnderTest::ServerUnderTest(standin::ServerOptions options) {
    if (auto external = ExternalServer()) {
        login_ = std::move(*external);
        return;
    }
    const auto logins = options.logins;
    standin_ = std::make_unique<standin::Server>(std::move(options));
    standin_->start();
    const auto& first = logins.empty() ? std::pair<std::string, std::string>{"sa", "standin"} : logins.front();
    login_ = {"127.0.0.1," + std::to_string(standin_->port()), first.first, first.second};
}

void ServerUnderTest::Configure(TMSConnection& connection) const {
    connection.SetServer(login_.address);
    connection.SetUsername(login_.user);
    connection.SetPassword(login_.password);
    connection.SetConnectionTimeout(5);
}

std::string ScratchName(const std::string& prefix) {
    std::random_device random;
    std::ostringstream out;
    out << prefix << std::hex << std::setw(8) << std::setfill('0') << static_cast<uint32_t>(random());
    return out.str();
}

Scratch::Scratch(const ServerUnderTest& server) : server_(server) {}

Scratch::~Scratch() {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
        try {
            Connected().OLEDBConnection()->ExecuteText(*it);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "cleanup failed: " << *it << ": " << e.what();
        }
    }
}

void Scratch::UndoAccount(const std::string& account) {
    // Names from ScratchName need no quote doubling; a test's own odd name still must not break out.
    std::string quoted;
    for (char c : account) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    Undo("DELETE FROM lin2db.dbo.user_auth WHERE account = '" + quoted + "'");
    Undo("DELETE FROM lin2db.dbo.user_account WHERE account = '" + quoted + "'");
    Undo("DELETE FROM lin2world.dbo.builder_account WHERE account_name = '" + quoted + "'");
}

void Scratch::UndoTable(const std::string& qualifiedName) { Undo("DROP TABLE " + qualifiedName); }

void Scratch::Exec(const std::string& sql) { Connected().OLEDBConnection()->ExecuteText(sql); }

std::vector<std::string> Scratch::Column(const std::string& sql) {
    return Connected().OLEDBConnection()->ReadStrings(sql);
}

TMSConnection& Scratch::Connected() {
    if (!connection_.Connected()) {
        server_.Configure(connection_);
        connection_.Connect();
    }
    return connection_;
}

}  // namespace vactest
