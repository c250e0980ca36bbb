// TMSConnection against the server under test: the in-process stand-in, or the server VAC_TEST_SERVER
// names. Only rows of the tests' own, removed afterwards.
#include "data/MSAccess.h"
#include "tests/support/ExpectThrows.h"
#include "tests/support/ServerUnderTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

class ServerConnectionTest : public ::testing::Test {
protected:
    static std::vector<std::string> Query(TMSConnection& c, const std::string& sql) {
        return c.OLEDBConnection()->ReadStrings(sql);
    }

    vactest::ServerUnderTest server;
    vactest::Scratch scratch{server};
};

TEST_F(ServerConnectionTest, LogsInToMasterAndAWrongPasswordIsRefusedWithTheServersText) {
    TMSConnection c;
    server.Configure(c);
    c.Connect();
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(Query(c, "SELECT DB_NAME()"), std::vector<std::string>{"master"});
    c.Disconnect();

    c.SetPassword(server.Login().password + "-wrong");
    const auto e = vactest::ExpectThrows<EMSError>(
        [&] { c.Connect(); }, ::testing::HasSubstr("Login failed for user '" + server.Login().user + "'"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 18456);
    EXPECT_FALSE(c.Connected());
}

TEST_F(ServerConnectionTest, TransactionsCommitAndRollBack) {
    const std::string account = vactest::ScratchName("vc");
    scratch.UndoAccount(account);
    TMSConnection c;
    server.Configure(c);
    c.Connect();
    const std::string insert =
        "INSERT INTO lin2db.dbo.user_auth (account, password, quiz1, quiz2, answer1, answer2) "
        "VALUES ('" +
        account + "', 0x00112233445566778899AABBCCDDEEFF, '', '', 0x00, 0x00)";
    const std::string select = "SELECT account FROM lin2db.dbo.user_auth WHERE account = '" + account + "'";
    c.StartTransaction();
    c.OLEDBConnection()->ExecuteText(insert);
    EXPECT_EQ(Query(c, select).size(), 1u);
    c.Rollback();
    EXPECT_TRUE(Query(c, select).empty());
    EXPECT_TRUE(scratch.Column(select).empty()) << "seen from another connection";

    c.StartTransaction();
    c.OLEDBConnection()->ExecuteText(insert);
    c.Commit();
    EXPECT_FALSE(c.InTransaction());
    EXPECT_EQ(scratch.Column(select), std::vector<std::string>{account}) << "seen from another connection";
}

TEST_F(ServerConnectionTest, DatabaseSwitchOnAnOpenConnection) {
    TMSConnection c;
    server.Configure(c);
    c.Connect();
    for (const std::string db : {"lin2db", "lin2world", "master"}) {
        c.SetDatabase(db);
        EXPECT_EQ(Query(c, "SELECT DB_NAME()"), std::vector<std::string>{db});
    }
    EXPECT_THROW(c.SetDatabase(vactest::ScratchName("nodb")), EMSError);
    EXPECT_EQ(c.Database(), "master");
    EXPECT_TRUE(c.Connected());
}

}  // namespace
