// The query component against the server under test: the in-process stand-in, or the server
// VAC_TEST_SERVER names. Only a table and rows of the tests' own, removed afterwards.
#include "data/MSAccess.h"
#include "data/MSQuery.h"
#include "tests/support/ExpectThrows.h"
#include "tests/support/ServerUnderTest.h"

#include <gtest/gtest.h>

namespace {

class ServerQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.Configure(connection);
        query.SetConnection(&connection);
    }
    void Run(const std::string& sql) {
        query.SQL().SetText(sql);
        query.Execute();
    }
    void Open(const std::string& sql) {
        query.SQL().SetText(sql);
        query.Open();
    }
    std::vector<std::string> Column(const std::string& sql) {
        Open(sql);
        std::vector<std::string> values;
        for (; !query.Eof(); query.Next()) values.push_back(query.Fields()[0].AsString());
        query.Close();
        return values;
    }

    vactest::ServerUnderTest server;
    vactest::Scratch scratch{server};
    TMSConnection connection;
    TMSQuery query;
};

TEST_F(ServerQueryTest, RowsOfATableOfItsOwnInOrderWithRowCounts) {
    const std::string table = "lin2db.dbo." + vactest::ScratchName("vq_");
    Run("CREATE TABLE " + table + " (n int NOT NULL, s varchar(10) NULL)");
    scratch.UndoTable(table);
    Run("INSERT INTO " + table + " VALUES (3,'c'),(1,'a'),(2,NULL)");
    EXPECT_EQ(query.AffectedRows(), 3);
    EXPECT_EQ(Column("SELECT s FROM " + table + " ORDER BY n"), (std::vector<std::string>{"a", "", "c"}));
    Run("UPDATE " + table + " SET s = 'x' WHERE n > 1");
    EXPECT_EQ(query.AffectedRows(), 2);
    Run("DELETE FROM " + table + " WHERE n = 99");
    EXPECT_EQ(query.AffectedRows(), 0);
    EXPECT_EQ(Column("SELECT s FROM " + table + " ORDER BY n"), (std::vector<std::string>{"a", "x", "x"}));
}

TEST_F(ServerQueryTest, AMissingTableIsAnEMSErrorWithTheServersText) {
    const std::string table = "lin2db.dbo." + vactest::ScratchName("vq_");
    query.SQL().SetText("SELECT * FROM " + table);
    const auto e = vactest::ExpectThrows<EMSError>([&] { query.Open(); }, ::testing::HasSubstr("Invalid object name"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 208);
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(Column("SELECT 'still usable'"), std::vector<std::string>{"still usable"});
}

TEST_F(ServerQueryTest, AnAccountsRowsWithTheProgramsStatements) {
    const std::string account = vactest::ScratchName("vq");
    scratch.UndoAccount(account);
    const std::string hash = "0x35F2BE8FCE597F7F4AD3F5F538A28484";
    Run("INSERT INTO lin2db.dbo.user_auth VALUES ('" + account + "'," + hash + ",'','',0x0,0x0)");
    Run("INSERT INTO lin2db.dbo.user_account VALUES ('" + account + "',1,0,0,0,0,null,null,null,0,null,null,null)");
    const auto uid = Column("SELECT uid FROM lin2db.dbo.user_account WHERE account = '" + account + "'");
    ASSERT_EQ(uid.size(), 1u);
    Run("INSERT INTO lin2world.dbo.builder_account VALUES ('" + account + "',3," + uid.front() + ")");

    Open("SELECT * FROM lin2db.dbo.user_auth WHERE account = '" + account + "'");
    EXPECT_EQ(query.FieldByName("account").AsString(), account);
    query.Close();
    Run("UPDATE lin2db.dbo.user_account SET block_flag = 1,block_flag2 = 0 WHERE account = '" + account + "'");
    EXPECT_EQ(Column("SELECT block_flag FROM lin2db.dbo.user_account WHERE account = '" + account + "'"),
              std::vector<std::string>{"1"});
    Run("UPDATE lin2world.dbo.builder_account SET default_builder = 4 WHERE account_name = '" + account + "'");
    EXPECT_EQ(
        Column("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '" + account + "'"),
        std::vector<std::string>{"4"});
    Run("DELETE FROM lin2world.dbo.builder_account WHERE account_name = '" + account + "'");
    EXPECT_TRUE(
        Column("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '" + account + "'")
            .empty());
}

}  // namespace
