// SELECT, INSERT, UPDATE, DELETE and the rest of the T-SQL subset, checked by the rows they give.
#include "tests/support/EngineFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace standin::test {
namespace {

using Rows = std::vector<std::string>;

// A small fixture table in lin2db: people(id int PK, name varchar(20), score int NULL, born datetime NULL).
const char* kFixture =
    "USE lin2db\n"
    "CREATE TABLE people (id int NOT NULL PRIMARY KEY, name varchar(20) NOT NULL, score int NULL, born datetime NULL)\n"
    "INSERT INTO people VALUES (1, 'Alice', 90, '1990-05-01'), (2, 'bob', NULL, NULL), (3, 'Carol', 75, '1985-12-24 "
    "13:45:00'),"
    " (4, 'dave', 75, NULL), (5, 'Eve_x', 60, '2000-01-01')";

struct QueryCase {
    const char* query;
    Rows expected;
};

class QueryTest : public EngineFixture, public ::testing::WithParamInterface<QueryCase> {
protected:
    void SetUp() override {
        RecordingSink sink;
        engine.execute(session, kFixture, sink);
        ASSERT_TRUE(sink.errors().empty()) << sink.messages[0].text;
    }
};

TEST_P(QueryTest, ReturnsTheExpectedRows) {
    RecordingSink sink;
    engine.execute(session, GetParam().query, sink);
    ASSERT_TRUE(sink.errors().empty()) << GetParam().query << ": " << sink.messages[0].text;
    ASSERT_FALSE(sink.results.empty()) << GetParam().query;
    EXPECT_EQ(sink.text(), GetParam().expected) << GetParam().query;
    ASSERT_FALSE(sink.dones.empty());
    EXPECT_EQ(sink.dones.back().count, static_cast<int64_t>(GetParam().expected.size()));
    EXPECT_TRUE(sink.dones.back().hasCount);
}

INSTANTIATE_TEST_SUITE_P(
    Select, QueryTest,
    ::testing::Values(
        QueryCase{"SELECT name FROM people", {"Alice", "bob", "Carol", "dave", "Eve_x"}},
        QueryCase{"SELECT name FROM lin2db.dbo.people WHERE id = 3", {"Carol"}},
        QueryCase{"SELECT name FROM lin2db..people WHERE id = 3", {"Carol"}},
        QueryCase{"SELECT name FROM dbo.people WHERE id = 3", {"Carol"}},
        QueryCase{"SELECT name FROM [people] WHERE [id] = 3", {"Carol"}},
        QueryCase{"SELECT name FROM \"people\" WHERE \"id\" = 3", {"Carol"}},
        // The default collation ignores case and trailing blanks.
        QueryCase{"SELECT id FROM people WHERE name = 'ALICE'", {"1"}},
        QueryCase{"SELECT id FROM people WHERE name = 'alice   '", {"1"}},
        QueryCase{"SELECT id FROM people WHERE name <> 'alice' AND name < 'c'", {"2"}},
        QueryCase{"SELECT id FROM people WHERE score > 70 AND NOT name = 'dave'", {"1", "3"}},
        QueryCase{"SELECT id FROM people WHERE score = 60 OR id = 2", {"2", "5"}},
        QueryCase{"SELECT id FROM people WHERE score IS NULL", {"2"}},
        QueryCase{"SELECT id FROM people WHERE score IS NOT NULL AND born IS NULL", {"4"}},
        QueryCase{"SELECT id FROM people WHERE score <> 75", {"1", "5"}},  // NULL is neither equal nor unequal
        QueryCase{"SELECT id FROM people WHERE NOT (score = 75)", {"1", "5"}},
        QueryCase{"SELECT id FROM people WHERE (id = 1 OR id = 2) AND score IS NOT NULL", {"1"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE 'a%'", {"1"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE '%O%'", {"2", "3"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE '_o_'", {"2"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE '[a-c]%'", {"1", "2", "3"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE '[^a-c]%'", {"4", "5"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE 'Eve[_]x'", {"5"}},
        QueryCase{"SELECT id FROM people WHERE name LIKE 'Eve!_x' ESCAPE '!'", {"5"}},
        QueryCase{"SELECT id FROM people WHERE name NOT LIKE '%e%'", {"2", "3"}},
        QueryCase{"SELECT id FROM people WHERE id IN (2, 4, 9)", {"2", "4"}},
        QueryCase{"SELECT id FROM people WHERE id NOT IN (2, 4)", {"1", "3", "5"}},
        QueryCase{"SELECT id FROM people WHERE id BETWEEN 2 AND 4", {"2", "3", "4"}},
        QueryCase{"SELECT id FROM people WHERE born > '1989-01-01'", {"1", "5"}},
        QueryCase{"SELECT id FROM people WHERE id = '3'", {"3"}},
        QueryCase{"SELECT id FROM people ORDER BY name DESC", {"5", "4", "3", "2", "1"}},
        QueryCase{"SELECT id FROM people ORDER BY score, id DESC", {"2", "5", "4", "3", "1"}},
        QueryCase{"SELECT id, score s FROM people ORDER BY s DESC, 1", {"1|90", "3|75", "4|75", "5|60", "2|NULL"}},
        QueryCase{"SELECT TOP 2 id FROM people ORDER BY id DESC", {"5", "4"}},
        QueryCase{"SELECT TOP (1) name FROM people", {"Alice"}}, QueryCase{"SELECT TOP 0 name FROM people", {}},
        QueryCase{"SELECT DISTINCT score FROM people WHERE score IS NOT NULL ORDER BY score", {"60", "75", "90"}},
        QueryCase{"SELECT p.id, p.name FROM people AS p WHERE p.id = 1", {"1|Alice"}},
        QueryCase{"SELECT people.id FROM people WHERE people.id = 2", {"2"}},
        QueryCase{"SELECT p.* FROM people p WHERE id = 2", {"2|bob|NULL|NULL"}},
        QueryCase{"SELECT * FROM people WHERE id = 3", {"3|Carol|75|Dec 24 1985  1:45PM"}},
        QueryCase{"SELECT COUNT(*) FROM people", {"5"}},
        QueryCase{"SELECT COUNT(score), MIN(score), MAX(name), SUM(score), AVG(score) FROM people",
                  {"4|60|Eve_x|300|75"}},
        QueryCase{"SELECT COUNT(*) FROM people WHERE id > 100", {"0"}},
        QueryCase{"SELECT id * 10 + 1, name + '!' FROM people WHERE id = 1", {"11|Alice!"}},
        QueryCase{"SELECT ISNULL(score, -1) FROM people WHERE id = 2", {"-1"}},
        QueryCase{"SELECT UPPER(name), LOWER(name), LEN(name + '  ') FROM people WHERE id = 1", {"ALICE|alice|5"}},
        QueryCase{"SELECT 1", {"1"}}, QueryCase{"SELECT 1 AS one, 'x' two, three = 3", {"1|x|3"}},
        QueryCase{"SELECT 'it''s', N'wide', 0x0AFF, NULL, 1.50, 2e3, -7", {"it's|wide|0x0AFF|NULL|1.50|2000|-7"}},
        QueryCase{"SELECT CAST('42' AS int) + 1, CONVERT(varchar(5), 12345678), CAST(3.7 AS int)", {"43|*|3"}},
        QueryCase{"SELECT CAST('2024-02-29 23:59:59.997' AS datetime)", {"Feb 29 2024 11:59PM"}},
        QueryCase{"SELECT CAST(12.345 AS decimal(5,2)), CAST(5 AS money)", {"12.35|5.00"}},
        QueryCase{"SELECT 1 WHERE 1 = 0", {}}, QueryCase{"SELECT DB_NAME(), @@TRANCOUNT, @@ROWCOUNT", {"lin2db|0|5"}},
        QueryCase{"/* a /* nested */ comment */ SELECT 2 -- trailing\n", {"2"}}));

class EngineFeatureTest : public EngineFixture {};

TEST_F(EngineFeatureTest, UseChangesTheCurrentDatabaseAndReportsIt) {
    RecordingSink sink = ok("USE lin2world");
    ASSERT_EQ(sink.databaseChanges.size(), 1u);
    EXPECT_EQ(sink.databaseChanges[0], (std::pair<std::string, std::string>{"master", "lin2world"}));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].number, 5701);
    EXPECT_EQ(sink.messages[0].text, "Changed database context to 'lin2world'.");
    EXPECT_EQ(session.database, "lin2world");
    EXPECT_TRUE(rows("SELECT * FROM builder_account").empty());
    EXPECT_EQ(run("SELECT * FROM user_auth").errors(), std::vector<int32_t>{208});
    ok("USE [LIN2DB]");
    EXPECT_EQ(session.database, "lin2db");  // the database's own spelling
}

TEST_F(EngineFeatureTest, IdentityFillsUidAndIsReported) {
    ok("INSERT INTO lin2db.dbo.user_account VALUES ('a',1,0,0,0,0,null,null,null,0,null,null,null)");
    EXPECT_EQ(rows("INSERT INTO lin2db.dbo.user_account VALUES ('b',1,0,0,0,0,null,null,null,0,null,null,null);"
                   "SELECT @@IDENTITY, SCOPE_IDENTITY(), @@ROWCOUNT"),
              Rows{"2|2|1"});
    // SCOPE_IDENTITY() belongs to the batch; @@IDENTITY to the session.
    EXPECT_EQ(rows("SELECT @@IDENTITY, SCOPE_IDENTITY()"), Rows{"2|NULL"});
    // A failed insert uses up its identity value, as in SQL Server.
    EXPECT_EQ(
        run("INSERT INTO lin2db.dbo.user_account VALUES ('b',1,0,0,0,0,null,null,null,0,null,null,null)").errors(),
        std::vector<int32_t>{2627});
    ok("INSERT INTO lin2db.dbo.user_account (account) VALUES ('c')");
    EXPECT_EQ(rows("SELECT uid, account, pay_stat FROM lin2db.dbo.user_account ORDER BY uid"),
              (Rows{"1|a|1", "2|b|1", "4|c|0"}));
    ok("SET IDENTITY_INSERT lin2db.dbo.user_account ON");
    ok("INSERT INTO lin2db.dbo.user_account (uid, account) VALUES (10, 'd')");
    ok("SET IDENTITY_INSERT lin2db.dbo.user_account OFF");
    ok("INSERT INTO lin2db.dbo.user_account (account) VALUES ('e')");
    EXPECT_EQ(rows("SELECT uid FROM lin2db.dbo.user_account WHERE account = 'e'"), Rows{"11"});
    EXPECT_EQ(run("UPDATE lin2db.dbo.user_account SET uid = 3").errors(), std::vector<int32_t>{8102});
}

TEST_F(EngineFeatureTest, RowCountFollowsTheLastStatement) {
    ok("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1),('b',2,2)");
    EXPECT_EQ(rows("SELECT @@ROWCOUNT"), Rows{"2"});  // a new batch still sees the last statement's count
    RecordingSink sink = ok("UPDATE lin2world.dbo.builder_account SET default_builder = 5 SELECT @@ROWCOUNT");
    EXPECT_EQ(sink.text(), Rows{"2"});
}

TEST_F(EngineFeatureTest, SetOptionsAreAcceptedAndNoCountHidesCounts) {
    ok("SET TEXTSIZE 2147483647");
    EXPECT_EQ(session.textSize, 2147483647);
    ok("SET ANSI_NULLS ON SET ANSI_WARNINGS ON SET ANSI_PADDING ON SET CONCAT_NULL_YIELDS_NULL ON "
       "SET ARITHABORT ON SET ANSI_NULL_DFLT_ON ON SET IMPLICIT_TRANSACTIONS OFF SET XACT_ABORT OFF "
       "SET TRANSACTION ISOLATION LEVEL READ COMMITTED SET LANGUAGE us_english SET DATEFORMAT mdy "
       "SET LOCK_TIMEOUT -1 SET ANSI_NULLS, ANSI_PADDING ON");
    RecordingSink sink = ok("SET NOCOUNT ON; INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1)");
    ASSERT_EQ(sink.dones.size(), 2u);
    EXPECT_FALSE(sink.dones[1].hasCount);
    ok("SET NOCOUNT OFF");
    ok("SET ROWCOUNT 1");
    ok("INSERT INTO lin2world.dbo.builder_account VALUES ('b',1,1)");
    EXPECT_EQ(rows("SELECT account_name FROM lin2world.dbo.builder_account"), Rows{"a"});
    ok("SET ROWCOUNT 0");
    EXPECT_EQ(rows("SELECT account_name FROM lin2world.dbo.builder_account").size(), 2u);
}

TEST_F(EngineFeatureTest, QuotedIdentifierOffMakesDoubleQuotesStrings) {
    RecordingSink sink = ok("SET QUOTED_IDENTIFIER OFF SELECT \"text\"");
    EXPECT_EQ(sink.text(), Rows{"text"});
    EXPECT_FALSE(session.quotedIdentifier);
    EXPECT_EQ(rows("SELECT \"again\""), Rows{"again"});
    RecordingSink on = run("SET QUOTED_IDENTIFIER ON SELECT \"text\"");
    EXPECT_EQ(on.errors(), std::vector<int32_t>{207});
}

TEST_F(EngineFeatureTest, SystemQueriesThatClientsSend) {
    session.spid = 57;
    session.login = "sa";
    EXPECT_EQ(rows("select @@spid"), Rows{"57"});
    EXPECT_EQ(rows("SELECT SUSER_SNAME(), USER_NAME(), @@MAX_PRECISION, @@TEXTSIZE"), Rows{"sa|dbo|38|4096"});
    RecordingSink version = ok("SELECT @@VERSION");
    ASSERT_EQ(version.results.size(), 1u);
    EXPECT_EQ(version.results[0].columns[0].type.type, SqlType::NVarChar);
    EXPECT_NE(version.text()[0].find("Microsoft SQL Server"), std::string::npos);
    EXPECT_EQ(run("EXEC sp_nosuch 1, 'x'").errors(), std::vector<int32_t>{2812});
    EXPECT_EQ(run("sp_datatype_info_100 1,3").errors(), std::vector<int32_t>{2812});
}

TEST_F(EngineFeatureTest, ResultColumnsDescribeTypesNamesAndNullability) {
    RecordingSink sink = ok("SELECT * FROM lin2db.dbo.user_account");
    ASSERT_EQ(sink.results.size(), 1u);
    const auto& cols = sink.results[0].columns;
    ASSERT_EQ(cols.size(), 14u);
    EXPECT_EQ(cols[0].name, "uid");
    EXPECT_TRUE(cols[0].identity);
    EXPECT_FALSE(cols[0].nullable);
    EXPECT_EQ(cols[1].type.type, SqlType::VarChar);
    EXPECT_EQ(cols[1].type.length, 14);
    EXPECT_EQ(cols[7].type.type, SqlType::DateTime);
    EXPECT_TRUE(cols[7].nullable);
    EXPECT_EQ(cols[11].type.type, SqlType::TinyInt);
    EXPECT_EQ(cols[13].type.length, 15);

    RecordingSink literals = ok("SELECT 1, 'abc', N'xy', 1.25, NULL, pw = password FROM lin2db.dbo.user_auth");
    const auto& lc = literals.results[0].columns;
    EXPECT_EQ(lc[0].name, "");
    EXPECT_EQ(lc[0].type.type, SqlType::Int);
    EXPECT_FALSE(lc[0].nullable);
    EXPECT_EQ(lc[1].type.type, SqlType::VarChar);
    EXPECT_EQ(lc[1].type.length, 3);
    EXPECT_EQ(lc[2].type.type, SqlType::NVarChar);
    EXPECT_EQ(lc[3].type.type, SqlType::Decimal);
    EXPECT_EQ(lc[3].type.precision, 3);
    EXPECT_EQ(lc[3].type.scale, 2);
    EXPECT_TRUE(lc[4].nullable);
    EXPECT_EQ(lc[5].name, "pw");
    EXPECT_EQ(lc[5].type.type, SqlType::Binary);
    EXPECT_EQ(lc[5].type.length, 16);
    // Metadata goes out even when no row follows.
    EXPECT_TRUE(literals.results[0].rows.empty());
}

}  // namespace
}  // namespace standin::test
