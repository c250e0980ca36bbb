// The data file keeps what was committed across restarts, leaves out what was not, and refuses a
// damaged file without touching it.
#include "tests/support/ExpectThrows.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/TempFolder.h"
#include "tools/standin/sql/DataFile.h"
#include "tools/standin/sql/Engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace standin::test {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

class DataFileTest : public ::testing::Test {
protected:
    static RecordingSink ok(Engine& e, Session& s, std::string_view sql) {
        RecordingSink sink;
        e.execute(s, sql, sink);
        EXPECT_TRUE(sink.errors().empty()) << sql << "\n" << (sink.messages.empty() ? "" : sink.messages[0].text);
        return sink;
    }
    static Rows rows(Engine& e, std::string_view sql) {
        Session s;
        return ok(e, s, sql).text();
    }
    std::string bytes() const { return vactest::ReadFile(path); }
    void write(const std::string& data) const { vactest::WriteFile(path, data); }

    vactest::TempFolder folder;
    const std::string path = folder.File("tables.dat");
};

TEST_F(DataFileTest, CommittedTablesSurviveARestart) {
    {
        Engine engine(path);
        Session s;
        ok(engine, s, "INSERT INTO lin2db.dbo.user_auth VALUES ('alpha',0x0102,'q','',0x0,0x0)");
        ok(engine, s,
           "INSERT INTO lin2db.dbo.user_account VALUES ('alpha',1,0,0,0,0,null,'2024-01-02 03:04:05',null,0,"
           "3,null,'10.0.0.1')");
        ok(engine, s,
           "CREATE TABLE lin2db.dbo.every_type (i int IDENTITY(5,5) PRIMARY KEY, si smallint, ti tinyint, bi bigint,"
           " b bit, r real, f float, m money, sm smallmoney, d decimal(10,3), dt datetime, sdt smalldatetime,"
           " c char(4), vc varchar(10) UNIQUE, nc nchar(3), nvc nvarchar(10), bn binary(3), vb varbinary(5),"
           " t text, nt ntext, im image, g uniqueidentifier, dflt int NOT NULL DEFAULT 42)");
        ok(engine, s,
           "INSERT INTO lin2db.dbo.every_type (si, ti, bi, b, r, f, m, sm, d, dt, sdt, c, vc, nc, nvc, bn, vb, t, nt,"
           " im, g) VALUES (-2, 255, 9000000000, 1, 1.5, -2.25e10, 12.3456, -1.5, 1234567.891, '2000-02-29 12:30:00',"
           " '2079-06-06 23:59', 'ab', 'x', N'ü', N'wide', 0x01, 0x0102, 'long text', N'long wide', 0xFF,"
           " '6F9619FF-8B86-D011-B42D-00C04FC964FF')");
    }
    Engine reopened(path);
    EXPECT_EQ(rows(reopened, "SELECT account, password, quiz1 FROM lin2db.dbo.user_auth"),
              Rows{"alpha|0x01020000000000000000000000000000|q"});
    EXPECT_EQ(rows(reopened, "SELECT uid, last_login, last_world, last_ip FROM lin2db.dbo.user_account"),
              Rows{"1|Jan  2 2024  3:04AM|3|10.0.0.1"});
    EXPECT_EQ(rows(reopened, "SELECT * FROM lin2db.dbo.every_type"),
              Rows{"5|-2|255|9000000000|1|1.5|-2.25e+010|12.35|-1.50|1234567.891|Feb 29 2000 12:30PM|"
                   "Jun  6 2079 11:59PM|ab  |x|ü  |wide|0x010000|0x0102|long text|long wide|0xFF|"
                   "6F9619FF-8B86-D011-B42D-00C04FC964FF|42"});
    // Identities, keys and defaults came back too.
    Session s;
    ok(reopened, s, "INSERT INTO lin2db.dbo.user_account (account) VALUES ('beta')");
    EXPECT_EQ(rows(reopened, "SELECT uid FROM lin2db.dbo.user_account WHERE account = 'beta'"), Rows{"2"});
    RecordingSink dup;
    reopened.execute(s, "INSERT INTO lin2db.dbo.every_type (vc) VALUES ('X')", dup);
    EXPECT_EQ(dup.errors(), std::vector<int32_t>{2627});
    EXPECT_EQ(rows(reopened, "SELECT i FROM lin2db.dbo.every_type ORDER BY i"), Rows{"5"});
}

TEST_F(DataFileTest, UncommittedChangesStayOffTheDisk) {
    Engine engine(path);
    Session writer, other;
    ok(engine, writer, "INSERT INTO lin2world.dbo.builder_account VALUES ('kept',1,1),('changed',2,2),('gone',3,3)");
    ok(engine, writer,
       "BEGIN TRAN INSERT INTO lin2world.dbo.builder_account VALUES ('new',4,4) "
       "UPDATE lin2world.dbo.builder_account SET default_builder = 9 WHERE account_name = 'changed' "
       "DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'gone' "
       "CREATE TABLE lin2db.dbo.pending (x int) DROP TABLE lin2db.dbo.user_auth");
    // Another session commits while the transaction is open: its change must be on disk, the rest not.
    ok(engine, other, "INSERT INTO lin2world.dbo.builder_account VALUES ('other',5,5)");
    {
        Engine snapshot(path);
        EXPECT_EQ(rows(snapshot, "SELECT account_name, default_builder FROM lin2world.dbo.builder_account"),
                  (Rows{"changed|2", "gone|3", "kept|1", "other|5"}));
        Session s;
        RecordingSink missing;
        snapshot.execute(s, "SELECT * FROM lin2db.dbo.pending", missing);
        EXPECT_EQ(missing.errors(), std::vector<int32_t>{208});
        EXPECT_TRUE(rows(snapshot, "SELECT * FROM lin2db.dbo.user_auth").empty());
    }
    ok(engine, writer, "COMMIT");
    Engine committed(path);
    EXPECT_EQ(rows(committed, "SELECT account_name, default_builder FROM lin2world.dbo.builder_account"),
              (Rows{"changed|9", "kept|1", "new|4", "other|5"}));
}

TEST_F(DataFileTest, DamagedFilesAreRefusedAndLeftAlone) {
    { Engine engine(path); }
    const std::string good = bytes();
    ASSERT_GT(good.size(), 40u);
    const std::vector<std::string> damaged = {
        "",                               // empty
        "not a data file at all",         // foreign
        good.substr(0, good.size() / 2),  // cut short
        good + "x",                       // trailing bytes
        [&] {
            std::string b = good;
            b[b.size() / 2] ^= 0x20;
            return b;
        }(),  // one bit flipped
        [&] {
            std::string b = good;
            b[16] = 9;
            return b;
        }(),  // unknown version
    };
    for (const auto& data : damaged) {
        write(data);
        SCOPED_TRACE("a damaged file of " + std::to_string(data.size()) + " bytes");
        vactest::ExpectThrows<std::runtime_error>([&] { Engine engine(path); }, ::testing::HasSubstr(path));
        EXPECT_EQ(bytes(), data);  // never replaced
    }
}

TEST_F(DataFileTest, SavingLeavesNoTemporaryFile) {
    Engine engine(path);
    Session s;
    ok(engine, s, "INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1)");
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST_F(DataFileTest, DemoAccountsAreSeededOnceAndKept) {
    {
        Engine engine(path);
        engine.seedDemo(200);
        engine.seedDemo(50);  // tables are no longer empty: nothing happens
    }
    Engine engine(path);
    EXPECT_EQ(rows(engine, "SELECT COUNT(*) FROM lin2db.dbo.user_auth"), Rows{"200"});
    EXPECT_EQ(rows(engine, "SELECT COUNT(*) FROM lin2db.dbo.user_account"), Rows{"200"});
    EXPECT_EQ(rows(engine, "SELECT COUNT(*) FROM lin2db.dbo.user_auth WHERE DATALENGTH(password) = 16"), Rows{"200"});
    const Rows blocked = rows(engine, "SELECT COUNT(*) FROM lin2db.dbo.user_account WHERE block_flag = 1");
    const Rows open = rows(engine, "SELECT COUNT(*) FROM lin2db.dbo.user_account WHERE block_flag = 0");
    EXPECT_NE(blocked, Rows{"0"});
    EXPECT_NE(open, Rows{"0"});
    EXPECT_EQ(
        rows(engine, "SELECT COUNT(*) FROM lin2world.dbo.builder_account b WHERE default_builder BETWEEN 1 AND 9"),
        rows(engine, "SELECT COUNT(*) FROM lin2world.dbo.builder_account"));
    EXPECT_NE(rows(engine, "SELECT COUNT(*) FROM lin2world.dbo.builder_account"), Rows{"0"});
    // Every game master is an account whose uid it carries.
    for (const auto& line : rows(engine, "SELECT account_name, account_id FROM lin2world.dbo.builder_account")) {
        const auto bar = line.find('|');
        EXPECT_EQ(rows(engine, "SELECT uid FROM lin2db.dbo.user_account WHERE account = '" + line.substr(0, bar) + "'"),
                  Rows{line.substr(bar + 1)});
    }
}

// A file the previous stand-in wrote (format 1, the account tables in its own column order, NULLs
// where the game server allows none): every row comes over by column name, and the start says so.
TEST_F(DataFileTest, PreviousLayoutIsConvertedKeepingEveryRow) {
    fs::copy_file(VAC_PREVIOUS_LAYOUT_FILE, path, fs::copy_options::overwrite_existing);
    {
        Engine engine(path);
        const auto& report = engine.startReport();
        // user_auth had the game server's layout already.
        ASSERT_EQ(report.size(), 2u);
        EXPECT_EQ(report[0], "The data file '" + path +
                                 "' held lin2db.dbo.user_account in the previous layout; it was converted to the game "
                                 "server's layout by column name, keeping all 4 rows.");
        EXPECT_NE(report[1].find("lin2world.dbo.builder_account in the previous layout"), std::string::npos);
        EXPECT_EQ(rows(engine,
                       "SELECT uid, account, pay_stat, block_flag, block_end_date, last_world, last_ip "
                       "FROM lin2db.dbo.user_account ORDER BY uid"),
                  (Rows{"1|rupert1|1|0|NULL|3|10.218.115.3", "2|paladin19720|1|1|Aug  1 2030 12:00AM|3|10.220.192.138",
                        "3|dwarf_3|1|0|NULL|NULL|NULL", "4|nullpay|0|0|NULL|NULL|10.1.2.3"}));
        EXPECT_EQ(rows(engine, "SELECT COUNT(*) FROM lin2db.dbo.user_auth"), Rows{"4"});
        EXPECT_EQ(rows(engine, "SELECT account_name, default_builder, account_id FROM lin2world.dbo.builder_account"),
                  (Rows{"nullpay|0|0", "rupert1|4|1"}));
        // The identity goes on after the rows it handed out, and the positional statements fit.
        Session s;
        ok(engine, s, "INSERT INTO lin2db.dbo.user_account VALUES ('next',1,0,0,0,0,null,null,null,0,null,null,null)");
        EXPECT_EQ(rows(engine, "SELECT uid FROM lin2db.dbo.user_account WHERE account = 'next'"), Rows{"5"});
    }
    // Written back in the current format: the next start has nothing to convert.
    Engine reopened(path);
    EXPECT_TRUE(reopened.startReport().empty());
    EXPECT_EQ(rows(reopened, "SELECT COUNT(*) FROM lin2db.dbo.user_account"), Rows{"5"});
}

}  // namespace
}  // namespace standin::test
