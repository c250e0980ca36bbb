// Schema scripts as operators run them: the stand-in's own account-table script, and a generated
// script of the game server's databases in the style of SQL Server's tools, whose procedures,
// views, triggers, grants and foreign keys the stand-in skips without losing a supported batch.
#include "tests/support/RecordingSink.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/Engine.h"
#include "tools/standin/sql/SchemaScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace standin;
using standin::test::RecordingSink;
using Rows = std::vector<std::string>;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Rows query(Engine& engine, const std::string& sql) {
    Session session;
    RecordingSink sink;
    engine.execute(session, sql, sink);
    EXPECT_TRUE(sink.errors().empty()) << sql << "\n" << (sink.messages.empty() ? "" : sink.messages[0].text);
    return sink.text();
}

// Each column as name type(length) collation nullability, in order.
Rows layout(Engine& engine, const std::string& db, const std::string& table) {
    Session session;
    RecordingSink sink;
    engine.execute(session, "SELECT * FROM " + db + ".dbo." + table, sink);
    Rows out;
    for (const Column& c : sink.results.at(0).columns)
        out.push_back(
            c.name + " " + std::to_string(static_cast<int>(c.type.type)) + "(" + std::to_string(c.type.length) + ")" +
            (c.type.collation ? " " + c.type.collation->name : std::string()) + (c.nullable ? " NULL" : " NOT NULL"));
    return out;
}

TEST(SchemaBatches, SplitAtGoLines) {
    const auto batches = splitBatches("USE lin2db\nGO\n\nSELECT 1\n  go 3 -- three times\nSELECT 'GO'\nGOTO x\n");
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].text, "USE lin2db\n");
    EXPECT_EQ(batches[0].firstLine, 1);
    EXPECT_EQ(batches[1].text, "\nSELECT 1\n");
    EXPECT_EQ(batches[1].firstLine, 3);
    EXPECT_EQ(batches[1].repeat, 3);
    EXPECT_EQ(batches[2].text, "SELECT 'GO'\nGOTO x\n");
    EXPECT_TRUE(splitBatches("GO\n  \nGO\n").empty());
}

TEST(SchemaScript, BuiltInTablesHaveTheGameServersLayout) {
    Engine engine;
    EXPECT_TRUE(engine.startReport().empty());
    EXPECT_EQ(layout(engine, "lin2db", "user_auth"),
              (Rows{"account 13(14) SQL_Latin1_General_CP1_CI_AS NOT NULL", "password 16(16) NOT NULL",
                    "quiz1 13(255) SQL_Latin1_General_CP1_CI_AS NOT NULL",
                    "quiz2 13(255) SQL_Latin1_General_CP1_CI_AS NOT NULL", "answer1 16(32) NOT NULL",
                    "answer2 16(32) NOT NULL"}));
    const Rows account = layout(engine, "lin2db", "user_account");
    EXPECT_EQ(account, (Rows{"uid 0(0) NOT NULL", "account 13(14) SQL_Latin1_General_CP1_CI_AS NOT NULL",
                             "pay_stat 0(0) NOT NULL", "login_flag 0(0) NOT NULL", "warn_flag 0(0) NOT NULL",
                             "block_flag 0(0) NOT NULL", "block_flag2 0(0) NOT NULL", "block_end_date 10(0) NULL",
                             "last_login 10(0) NULL", "last_logout 10(0) NULL", "subscription_flag 0(0) NOT NULL",
                             "last_world 2(0) NULL", "last_game 0(0) NULL",
                             "last_ip 13(15) SQL_Latin1_General_CP1_CI_AS NULL"}));
    EXPECT_EQ(layout(engine, "lin2world", "builder_account"),
              (Rows{"account_name 15(50) SQL_Latin1_General_CP1_CI_AS NOT NULL", "default_builder 0(0) NOT NULL",
                    "account_id 0(0) NOT NULL"}));
    // Defaults fill what an insert leaves out; the keys are the game server's.
    query(engine, "INSERT INTO lin2db.dbo.user_account (account) VALUES ('x')");
    EXPECT_EQ(
        query(engine, "SELECT uid, pay_stat, login_flag, subscription_flag, last_ip FROM lin2db.dbo.user_account"),
        Rows{"1|0|0|0|NULL"});
    EXPECT_EQ(
        query(engine,
              "SELECT name, type FROM lin2db.sys.objects WHERE parent_object_id <> 0 AND type = 'PK' ORDER BY name"),
        (Rows{"PK_user_account|PK", "PK_user_auth|PK"}));
}

TEST(SchemaScript, GeneratedScriptBuildsEverySupportedObjectAndReportsWhatItSkipped) {
    const std::string script = readFile(VAC_SCHEMA_SAMPLE);
    ASSERT_FALSE(script.empty());
    EngineOptions options;
    // Run twice, as operators rerun scripts: the guards keep the second run from failing on the tables.
    options.schemaScripts = {{"lin2_schema.sql", script}, {"again.sql", script}};
    Engine engine(options);

    std::vector<std::string> first, second;
    for (const auto& line : engine.startReport())
        (line.rfind("lin2_schema.sql,", 0) == 0 ? first : second).push_back(line);
    auto skippedAt = [](int batchLine, int line, const std::string& keyword) {
        return "lin2_schema.sql, batch at line " + std::to_string(batchLine) +
               " skipped: Msg 40517, Level 16, State 1, Line " + std::to_string(line) +
               ": Keyword or statement option '" + keyword + "' is not supported in this version of SQL Server.";
    };
    // The guarded DROP PROCEDURE does not run: there is no such procedure.
    const Rows skipped = {skippedAt(81, 82, "CREATE PROCEDURE"), skippedAt(88, 88, "GRANT"),
                          skippedAt(123, 123, "FOREIGN KEY"), skippedAt(126, 127, "CREATE VIEW"),
                          skippedAt(131, 132, "CREATE TRIGGER")};
    EXPECT_EQ(first, skipped);
    // Only what the script creates without a guard fails the second time.
    for (const auto& line : second)
        for (const char* guarded : {"user_auth'", "builder_account'", "lin2log", "lin2db'"})
            EXPECT_EQ(line.find(guarded), std::string::npos) << line;
    EXPECT_NE(std::find_if(second.begin(), second.end(),
                           [](const std::string& l) {
                               return l.find("Msg 2714") != std::string::npos &&
                                      l.find("'user_account'") != std::string::npos;
                           }),
              second.end());

    // Every table, key, default and unique index of the supported batches is there.
    EXPECT_EQ(query(engine, "SELECT name, collation_name FROM sys.databases ORDER BY name"),
              (Rows{"lin2db|SQL_Latin1_General_CP1_CI_AS", "lin2log|Korean_Wansung_CI_AS",
                    "lin2world|SQL_Latin1_General_CP1_CI_AS", "master|SQL_Latin1_General_CP1_CI_AS"}));
    EXPECT_EQ(layout(engine, "lin2db", "user_auth").front(), "account 13(14) Korean_Wansung_CI_AS NOT NULL");
    EXPECT_EQ(layout(engine, "lin2db", "user_account").size(), 14u);
    EXPECT_EQ(layout(engine, "lin2log", "log_data").back(), "actor_account 13(14) Korean_Wansung_CI_AS NULL");
    EXPECT_EQ(query(engine, "SELECT name, type FROM lin2db.dbo.sysobjects WHERE parent_obj <> 0 ORDER BY name"),
              (Rows{"DF_user_account_block_flag|D ", "DF_user_account_block_flag2|D ", "DF_user_account_login_flag|D ",
                    "DF_user_account_pay_stat|D ", "DF_user_account_subscription_flag|D ",
                    "DF_user_account_warn_flag|D ", "PK_user_account|PK", "PK_user_auth|PK"}));
    EXPECT_EQ(query(engine, "SELECT name FROM lin2world.sys.indexes ORDER BY name"),
              (Rows{"IX_user_data_char_name", "PK_builder_account", "PK_user_data"}));

    // The program's own statements work on the tables the script built; Hangul is two bytes each.
    const std::string seven = "\uac00\ub098\ub2e4\ub77c\ub9c8\ubc14\uc0ac";
    query(engine, "INSERT INTO lin2db.dbo.user_auth VALUES (N'" + seven + "',0x01,'','',0x0,0x0)");
    query(engine,
          "INSERT INTO lin2db.dbo.user_account VALUES (N'" + seven + "',1,0,0,0,0,null,null,null,0,null,null,null)");
    query(engine, "INSERT INTO lin2world.dbo.builder_account VALUES (N'" + seven + "',1,1)");
    EXPECT_EQ(query(engine, "SELECT uid, DATALENGTH(account) FROM lin2db.dbo.user_account"), Rows{"1|14"});
    Session session;
    RecordingSink duplicate;
    engine.execute(session,
                   "INSERT INTO lin2world.dbo.user_data (char_name, account_name, account_id) VALUES (N'a', N'b', 1), "
                   "(N'A', N'c', 2)",
                   duplicate);
    EXPECT_EQ(duplicate.errors(), std::vector<int32_t>{2627});
}

TEST(SchemaScript, UnsupportedAndFailingStatementsAnswerAsSqlServer) {
    Engine engine;
    Session session;
    auto errors = [&](const std::string& sql) {
        RecordingSink sink;
        engine.execute(session, sql, sink);
        return sink.errors();
    };
    EXPECT_EQ(errors("CREATE PROCEDURE p AS SELECT 1"), std::vector<int32_t>{40517});
    EXPECT_EQ(errors("IF OBJECT_ID('dbo.nothing') IS NOT NULL DROP VIEW dbo.nothing"), std::vector<int32_t>{});
    EXPECT_EQ(errors("ALTER TABLE lin2db.dbo.user_auth ADD CONSTRAINT PK_again PRIMARY KEY (quiz1)"),
              std::vector<int32_t>{1779});
    EXPECT_EQ(errors("ALTER TABLE lin2db.dbo.user_account ADD CONSTRAINT DF_x DEFAULT (1) FOR pay_stat"),
              std::vector<int32_t>{1781});
    EXPECT_EQ(errors("INSERT INTO lin2db.dbo.sysobjects (name) VALUES (N'x')"), std::vector<int32_t>{259});
    EXPECT_EQ(errors("CREATE DATABASE lin2db"), std::vector<int32_t>{1801});
    // Blocks nest as deep as expressions may, and no deeper.
    std::string nested;
    for (int i = 0; i < 500; ++i) nested += "IF 1 = 1 BEGIN ";
    EXPECT_EQ(errors(nested + "PRINT 'deep'"), std::vector<int32_t>{102});
    // A unique index over rows that repeat a value is refused and leaves the table as it was.
    errors("CREATE TABLE lin2db.dbo.pairs (a int NOT NULL, b int)");
    errors("INSERT INTO lin2db.dbo.pairs VALUES (1, 1), (2, 1)");
    RecordingSink duplicate;
    engine.execute(session, "CREATE UNIQUE INDEX ux ON lin2db.dbo.pairs (b)", duplicate);
    ASSERT_EQ(duplicate.errors(), std::vector<int32_t>{1505});
    EXPECT_EQ(duplicate.messages[0].text,
              "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object name "
              "'dbo.pairs' and the index name 'ux'. The duplicate key value is (1).");
    EXPECT_EQ(errors("ALTER TABLE lin2db.dbo.pairs ADD CONSTRAINT pk_pairs PRIMARY KEY (a)"), std::vector<int32_t>{});
    // OBJECT_ID and OBJECTPROPERTY look in the current database, as in SQL Server.
    errors("USE lin2db");
    RecordingSink keys;
    engine.execute(session, "SELECT COUNT(*), OBJECTPROPERTY(OBJECT_ID('pk_pairs'), 'IsPrimaryKey') FROM pairs", keys);
    EXPECT_EQ(keys.text(), Rows{"2|1"});
    // Inside a transaction the added key is taken back with everything else.
    errors("BEGIN TRAN");
    EXPECT_EQ(errors("CREATE UNIQUE INDEX ub ON lin2db.dbo.pairs (a)"), std::vector<int32_t>{});
    errors("ROLLBACK");
    EXPECT_EQ(query(engine, "SELECT COUNT(*) FROM lin2db.sys.indexes WHERE name = 'ub'"), Rows{"0"});
    // While another session's transaction is open, a key cannot be added under it.
    Session other;
    RecordingSink began;
    engine.execute(other, "BEGIN TRAN INSERT INTO lin2db.dbo.pairs VALUES (3, 3)", began);
    EXPECT_EQ(errors("CREATE UNIQUE INDEX ub ON lin2db.dbo.pairs (a)"), std::vector<int32_t>{1222});
    RecordingSink rolledBack;
    engine.execute(other, "ROLLBACK", rolledBack);
    EXPECT_EQ(errors("CREATE UNIQUE INDEX ub ON lin2db.dbo.pairs (a)"), std::vector<int32_t>{});
}

}  // namespace
