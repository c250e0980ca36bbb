// TMSConnection over the ODBC provider (FreeTDS) against the SQL Server stand-in: what a server shows.
#include "data/MSAccess.h"
#include "data/MSConnectionPool.h"
#include "tests/connection/Fixture.h"
#include "tests/support/ExpectThrows.h"
#include "tests/support/ServerUnderTest.h"
#include "tools/standin/tds/StandinServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        VAC_SKIP_AGAINST_OTHER_SERVER("faults, the statement log and logins of its own");
        standin::ServerOptions options;
        options.logins = {{"sa", "standin"}, {"gm", "pw"}};
        server = std::make_unique<standin::Server>(options);
        server->start();
    }

    std::string Address() const { return "127.0.0.1," + std::to_string(server->port()); }

    void Configure(TMSConnection& c, const std::string& user = "sa", const std::string& password = "standin") {
        c.SetServer(Address());
        c.SetUsername(user);
        c.SetPassword(password);
        c.SetConnectionTimeout(5);
    }

    // Rows of the first column of a query, through the connection's own object.
    static std::vector<std::string> Query(TMSConnection& c, const std::string& sql) {
        return c.OLEDBConnection()->ReadStrings(sql);
    }

    // Connection ids of the batches the server received whose text contains `marker`.
    std::vector<int> ConnectionsOf(const std::string& marker) const {
        std::vector<int> ids;
        for (const auto& b : server->statements()) {
            if (b.sql.find(marker) != std::string::npos) ids.push_back(b.connection);
        }
        return ids;
    }

    std::unique_ptr<standin::Server> server;
};

standin::Message ServerError(int32_t number, const std::string& text, uint8_t severity = 16, uint8_t state = 1) {
    standin::Message m;
    m.number = number;
    m.text = text;
    m.severity = severity;
    m.state = state;
    return m;
}

// A loopback port nobody listens on.
uint16_t ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Accepts connections and never answers: a server that hangs during login.
class SilentListener {
public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~SilentListener() { ::close(fd_); }
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace

TEST_F(StandinTest, LoginAcceptedReportsServerAndProvider) {
    TMSConnection c;
    Configure(c);
    c.Connect();
    ASSERT_TRUE(c.Connected());
    auto* object = c.OLEDBConnection();
    EXPECT_FALSE(object->DBMSName().empty());
    EXPECT_GE(object->DBMSPrimaryVer(), 7);
    EXPECT_GE(object->ProviderPrimaryVer(), 7) << object->ProviderVersion();
    EXPECT_EQ(Query(c, "SELECT DB_NAME()"), (std::vector<std::string>{"master"}));
    c.Disconnect();
    EXPECT_FALSE(c.Connected());
}

TEST_F(StandinTest, RefusedLoginCarriesTheServersTextAndNumberAndALaterConnectWorks) {
    TMSConnection c;
    Configure(c, "gm", "wrong");
    const auto e = vactest::ExpectThrows<EMSError>([&] { c.Connect(); }, "Login failed for user 'gm'.");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->ErrorCode, 18456);
    EXPECT_EQ(e->Errors.Count(), 1) << "the driver's own 'unable to connect' is left out";
    EXPECT_FALSE(c.Connected());
    c.SetPassword("pw");
    c.Connect();
    EXPECT_TRUE(c.Connected());

    // Refused by the server itself on demand, then accepted.
    c.Disconnect();
    server->refuseLogins(1);
    EXPECT_THROW(c.Connect(), EMSError);
    EXPECT_FALSE(c.Connected());
    c.Connect();
    EXPECT_TRUE(c.Connected());
}

TEST_F(StandinTest, UnknownInitialDatabaseIsRefused) {
    TMSConnection c;
    Configure(c);
    c.SetDatabase("nosuchdb");
    // Both of the server's records, one per line; the driver ranks them, so no order is assumed.
    const auto e = vactest::ExpectThrows<EMSError>(
        [&] { c.Connect(); }, ::testing::AllOf(::testing::HasSubstr("Cannot open database \"nosuchdb\""),
                                               ::testing::HasSubstr("Login failed for user 'sa'.")));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Errors.Count(), 2);
    EXPECT_EQ(e->ErrorCode, e->Errors[1].ErrorCode);
    EXPECT_FALSE(c.Connected());
}

TEST(StandinDefaultsTest, EmptyServerIsLocalAndEmptyLoginIsSaWithoutPassword) {
    standin::ServerOptions options;
    options.port = 1433;
    options.logins = {{"sa", ""}};
    standin::Server server(options);
    try {
        server.start();
    } catch (const std::exception& e) {
        GTEST_SKIP() << "port 1433 is taken here: " << e.what();
    }
    TMSConnection c;
    c.Connect();  // Server "", Username "", Password ""
    EXPECT_TRUE(c.Connected());
    c.Disconnect();
    c.SetServer("(local)");
    c.Connect();
    EXPECT_TRUE(c.Connected());
}

TEST_F(StandinTest, ThreeErrorRecordsInOneAnswerMakeOneErrorInRecordOrder) {
    TMSConnection c;
    Configure(c);
    c.Connect();
    server->failNextBatch({ServerError(50001, "first problem"), ServerError(50002, "second problem"),
                           ServerError(50003, "third problem")});
    const auto e = vactest::ExpectThrows<EMSError>([&] { c.SetQuotedIdentifier(false); },
                                                   "first problem\r\nsecond problem\r\nthird problem");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 50003);
    EXPECT_EQ(e->SeverityClass, 16);
    ASSERT_EQ(e->Errors.Count(), 3);
    EXPECT_EQ(e->Errors[0].ErrorCode, 50001);
    EXPECT_EQ(e->Errors[2].ErrorCode, 50003);
    EXPECT_TRUE(c.Connected());
    EXPECT_TRUE(c.QuotedIdentifier()) << "the failed SET changed nothing";
}

TEST_F(StandinTest, FatalErrorWithNothingOpenReopensTheConnection) {
    TMSConnection c;
    Configure(c);
    c.Connect();
    Query(c, "SELECT 'before'");
    server->failNextBatch({ServerError(4014, "A fatal error occurred while reading the input stream.", 20)});
    const auto e = vactest::ExpectThrows<EMSError>([&] { c.SetQuotedIdentifier(false); }, ::testing::_);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->SeverityClass, 20);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(Query(c, "SELECT 'after'"), (std::vector<std::string>{"after"}));
    auto before = ConnectionsOf("'before'");
    auto after = ConnectionsOf("'after'");
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(before[0], after[0]) << "the statement after the fatal error ran on a new session";
}

TEST_F(StandinTest, FatalErrorWithAnOpenDataSetLeavesTheConnectionAlone) {
    RecordingDataSet ds;
    TMSConnection c;
    c.RegisterClient(&ds);
    Configure(c);
    c.Connect();
    ds.active = true;
    server->failNextBatch({ServerError(4014, "A fatal error occurred.", 20)});
    EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(ds.notices, (std::vector<bool>{true})) << "neither closed nor reopened";
    c.UnRegisterClient(&ds);
}

TEST_F(StandinTest, ServerDroppingMidAnswerGivesATypedErrorAndTheNextStatementWorks) {
    TMSConnection c;
    Configure(c);
    c.Connect();
    server->dropNextBatch();
    const auto e =
        vactest::ExpectThrows<EMSError>([&] { c.SetQuotedIdentifier(false); }, ::testing::Not(::testing::IsEmpty()));
    ASSERT_TRUE(e);
    EXPECT_TRUE(TCustomDAConnection::IsFatalError(*e))
        << e->Message << " " << int(e->SeverityClass) << "/" << int(e->State) << "/" << e->NativeError;
    EXPECT_TRUE(c.Connected()) << "reconnected";
    EXPECT_EQ(Query(c, "SELECT 'again'"), (std::vector<std::string>{"again"}));

    // When the server will not take the new login either, the connection ends up closed.
    server->dropNextBatch();
    server->refuseLogins(1);
    EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
    EXPECT_FALSE(c.Connected());
    c.Connect();
    EXPECT_EQ(Query(c, "SELECT 'back'"), (std::vector<std::string>{"back"}));
}

TEST_F(StandinTest, TransactionsCommitAndRollBack) {
    TMSConnection c;
    Configure(c);
    c.Connect();
    auto insert = [&](const std::string& account) {
        c.OLEDBConnection()->ExecuteText(
            "INSERT INTO lin2db.dbo.user_auth (account, password, quiz1, quiz2, answer1, answer2) VALUES ('" + account +
            "', 0x00112233445566778899AABBCCDDEEFF, '', '', 0x00, 0x00)");
    };
    auto exists = [&](const std::string& account) {
        return !Query(c, "SELECT account FROM lin2db.dbo.user_auth WHERE account = '" + account + "'").empty();
    };
    c.StartTransaction();
    insert("rolledback");
    EXPECT_TRUE(exists("rolledback"));
    c.Rollback();
    EXPECT_FALSE(exists("rolledback"));

    c.SetIsolationLevel(TIsolationLevel::ilRepeatableRead);
    c.StartTransaction();
    insert("committed");
    c.Commit();
    EXPECT_TRUE(exists("committed"));
    EXPECT_FALSE(c.InTransaction());

    // Closing with an open transaction rolls it back.
    c.StartTransaction();
    insert("atclose");
    c.Disconnect();
    c.Connect();
    EXPECT_FALSE(exists("atclose"));
}

TEST_F(StandinTest, DatabaseSwitchOnAnOpenConnection) {
    TMSConnection c;
    Configure(c);
    c.Connect();
    c.SetDatabase("lin2db");
    EXPECT_EQ(Query(c, "SELECT DB_NAME()"), (std::vector<std::string>{"lin2db"}));
    c.SetDatabase("[lin2world]");  // already bracketed: used as it is
    EXPECT_EQ(Query(c, "SELECT DB_NAME()"), (std::vector<std::string>{"lin2world"}));
    c.SetDatabase("");
    EXPECT_EQ(c.Database(), "master");
    EXPECT_EQ(Query(c, "SELECT DB_NAME()"), (std::vector<std::string>{"master"}));
    EXPECT_THROW(c.SetDatabase("nosuchdb"), EMSError);
    EXPECT_EQ(c.Database(), "master");
    EXPECT_TRUE(c.Connected());
    // The initial database of a new login.
    c.Disconnect();
    c.SetDatabase("lin2world");
    c.Connect();
    EXPECT_EQ(Query(c, "SELECT DB_NAME()"), (std::vector<std::string>{"lin2world"}));
}

TEST_F(StandinTest, QuotedIdentifierReachesTheSession) {
    TMSConnection c;
    Configure(c);
    c.SetQuotedIdentifier(false);
    c.Connect();
    EXPECT_EQ(ConnectionsOf("SET QUOTED_IDENTIFIER OFF").size(), 1u);
    c.SetQuotedIdentifier(true);
    EXPECT_EQ(ConnectionsOf("SET QUOTED_IDENTIFIER ON").size(), 1u);
}

TEST_F(StandinTest, UnreachableServersGiveTypedErrorsAndLeaveTheConnectionClosed) {
    SilentListener silent;
    struct Case {
        const char* name;
        std::string server;
    };
    const std::vector<Case> cases = {
        {"wrong host", "no-such-host.invalid"},
        {"closed port", "127.0.0.1," + std::to_string(ClosedPort())},
        {"silent server", "127.0.0.1," + std::to_string(silent.port())},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        TMSConnection c;
        Configure(c);
        c.SetServer(k.server);
        c.SetConnectionTimeout(2);
        vactest::ExpectThrows<EOLEDBError>([&] { c.Connect(); }, ::testing::Not(::testing::IsEmpty()));
        EXPECT_FALSE(c.Connected());
        c.SetServer(Address());
        c.Connect();
        EXPECT_TRUE(c.Connected()) << "a later connect works";
    }
}

TEST_F(StandinTest, PooledOpenReusesTheServerSession) {
    TMSConnectionPoolManager::Instance().Clear();
    {
        TMSConnection a;
        Configure(a);
        a.SetPooling(true);
        a.Connect();
        Query(a, "SELECT 'first'");
    }
    TMSConnection b;
    Configure(b);
    b.SetPooling(true);
    b.Connect();
    Query(b, "SELECT 'second'");
    EXPECT_EQ(ConnectionsOf("'first'"), ConnectionsOf("'second'"));
    b.Disconnect();
    TMSConnectionPoolManager::Instance().PurgeAll();
    EXPECT_EQ(ConnectionsOf("/* Check connection */").size(), 1u);
    TMSConnectionPoolManager::Instance().Clear();
}

// Every way a server settles encryption, with the connection option Encrypt off and on: what ran over
// TLS, or, when the option asks for what the server cannot give, a clear refusal.
TEST(StandinEncryptionTest, EachServerModeWithEncryptOffAndOn) {
    struct Case {
        const char* name;
        standin::tds::EncryptionMode mode;
        bool encrypt;
        const char* logged;  // nullptr: the connect fails
    };
    const Case cases[] = {
        {"certificate, Encrypt off", standin::tds::EncryptionMode::On, false, "login"},
        {"certificate, Encrypt on", standin::tds::EncryptionMode::On, true, "full"},
        {"forced encryption, Encrypt off", standin::tds::EncryptionMode::Required, false, "full"},
        {"forced encryption, Encrypt on", standin::tds::EncryptionMode::Required, true, "full"},
        {"no certificate, Encrypt off", standin::tds::EncryptionMode::Off, false, "none"},
        {"no certificate, Encrypt on", standin::tds::EncryptionMode::Off, true, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        standin::ServerOptions options;
        options.encryption = k.mode;
        standin::Server server(options);
        server.start();
        TMSConnection c;
        c.SetServer("127.0.0.1," + std::to_string(server.port()));
        c.SetUsername("sa");
        c.SetPassword("standin");
        c.SetConnectionTimeout(5);
        c.Options().SetEncrypt(k.encrypt);
        if (k.logged == nullptr) {
            // The driver's own words, never the catch-all text of an error without records.
            vactest::ExpectThrows<EOLEDBError>(
                [&] { c.Connect(); },
                ::testing::AllOf(::testing::Ne("Unknown error."), ::testing::HasSubstr("connection failed")));
            EXPECT_FALSE(c.Connected());
            EXPECT_TRUE(server.statements().empty()) << "nothing was sent in clear";
            continue;
        }
        c.Connect();
        EXPECT_EQ(c.OLEDBConnection()->ReadStrings("SELECT 'over TLS'"), std::vector<std::string>{"over TLS"});
        const auto logins = server.connectionEncryption();
        ASSERT_FALSE(logins.empty());
        for (const auto& l : logins) EXPECT_EQ(l.encryption, k.logged) << "connection " << l.connection;
    }
}
