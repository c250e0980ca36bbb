// Collations and code pages as SQL Server keeps them: what each collation name stands for, text
// held as bytes of its column's code page (lengths, truncation, "?"), and comparison, keys, ORDER BY
// and LIKE following the collation's case and accent sensitivity.
#include "tests/standin_sql/CodePageSamples.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/RecordingSink.h"
#include "tools/standin/sql/CodePage.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace standin;
using standin::test::RecordingSink;
using Rows = std::vector<std::string>;

namespace {

TEST(CollationNames, StandForTheirLocaleCodePageAndSensitivity) {
    struct Case {
        const char* name;
        uint32_t lcid;
        uint16_t codePage;
        uint8_t sortId;
        bool caseSensitive, accentSensitive;
        Collation::Binary binary;
    };
    const Case cases[] = {
        {"SQL_Latin1_General_CP1_CI_AS", 0x0409, 1252, 52, false, true, Collation::Binary::No},
        {"sql_latin1_general_cp1_cs_as", 0x0409, 1252, 51, true, true, Collation::Binary::No},
        {"SQL_Latin1_General_CP1251_CI_AS", 0x0409, 1251, 106, false, true, Collation::Binary::No},
        {"Cyrillic_General_CI_AI", 0x0419, 1251, 0, false, false, Collation::Binary::No},
        {"Korean_Wansung_CS_AS_KS_WS", 0x0412, 949, 0, true, true, Collation::Binary::No},
        {"Chinese_Taiwan_Bopomofo_CI_AS", 0x30404, 950, 0, false, true, Collation::Binary::No},
        {"Thai_BIN", 0x041E, 874, 0, true, true, Collation::Binary::Bin},
        {"Japanese_BIN2", 0x0411, 932, 0, true, true, Collation::Binary::Bin2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Collation* found = findCollation(c.name);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->lcid, c.lcid);
        EXPECT_EQ(found->codePage, c.codePage);
        EXPECT_EQ(found->sortId, c.sortId);
        EXPECT_EQ(found->caseSensitive, c.caseSensitive);
        EXPECT_EQ(found->accentSensitive, c.accentSensitive);
        EXPECT_EQ(found->binary, c.binary);
    }
    for (const auto& sample : test::kCodePageSamples) {
        ASSERT_NE(findCollation(sample.collation), nullptr) << sample.collation;
        EXPECT_EQ(findCollation(sample.collation)->codePage, sample.codePage) << sample.collation;
    }
    for (const char* unknown : {"Latin1_General", "Klingon_CI_AS", "Latin1_General_CI", "Korean_Wansung_BIN3", ""})
        EXPECT_EQ(findCollation(unknown), nullptr) << unknown;
}

TEST(CollationCompare, FollowsCaseAndAccentSensitivity) {
    struct Case {
        const char* collation;
        const char* a;
        const char* b;
        int expected;  // sign
    };
    const Case cases[] = {
        {"Latin1_General_CI_AS", "Alpha", "aLPHA  ", 0},
        {"Latin1_General_CI_AS", "\u00c9t\u00e9", "\u00e9T\u00c9", 0},
        {"Latin1_General_CI_AS", "e", "\u00e9", -1},
        {"Latin1_General_CI_AI", "e", "\u00c9", 0},
        {"Latin1_General_CS_AS", "abc", "ABC", -1},  // lower case first, as Windows collations sort
        {"Latin1_General_CS_AS", "abc", "abd", -1},
        {"Latin1_General_CS_AS", "B", "a", 1},  // letters before case
        {"Latin1_General_CI_AS", "ab", "abc", -1},
        {"Latin1_General_CI_AS", "\u00e9", "f", -1},  // an accented letter sorts with its letter
        {"Cyrillic_General_CI_AS", "\u0418\u0412\u0410\u041d", "\u0438\u0432\u0430\u043d", 0},
        {"Cyrillic_General_CS_AS", "\u0418\u0412\u0410\u041d", "\u0438\u0432\u0430\u043d", 1},
        {"Greek_CI_AI", "\u03ac", "\u0391", 0},
        {"Latin1_General_BIN2", "B", "a", -1},
        {"Latin1_General_BIN", "abc ", "abc", 0},  // trailing blanks never count
        // Binary order of varchar is the code page's byte order: in 1251 "Ж" (0xC6) is below "я" (0xFF).
        {"Cyrillic_General_BIN", "\u0416", "\u044f", -1},
        {"Korean_Wansung_CI_AS", "\uac00", "\ub098", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.collation) + ": " + c.a + " / " + c.b);
        const int r = compareText(c.a, c.b, *findCollation(c.collation));
        EXPECT_EQ((r > 0) - (r < 0), c.expected);
    }
}

TEST(CollationLike, MatchesUnderTheCollation) {
    auto like = [](const char* collation, const char* text, const char* pattern) {
        return likeMatch(toCodePoints(std::string_view(text)), toCodePoints(std::string_view(pattern)), 0,
                         *findCollation(collation));
    };
    EXPECT_TRUE(like("Latin1_General_CI_AS", "Alice", "a%"));
    EXPECT_FALSE(like("Latin1_General_CS_AS", "Alice", "a%"));
    EXPECT_TRUE(like("Latin1_General_CS_AS", "Alice", "A%"));
    EXPECT_FALSE(like("Latin1_General_CI_AS", "caf\u00e9", "cafe"));
    EXPECT_TRUE(like("Latin1_General_CI_AI", "caf\u00e9", "CAFE"));
    EXPECT_TRUE(like("Cyrillic_General_CI_AS", "\u0418\u0432\u0430\u043d", "\u0438\u0412%"));
    EXPECT_TRUE(like("Latin1_General_CI_AS", "B", "[a-c]"));
    EXPECT_FALSE(like("Latin1_General_BIN2", "B", "[a-c]"));
}

TEST(CodePages, ConvertThroughTheCLibrary) {
    for (const auto& sample : test::kCodePageSamples) {
        SCOPED_TRACE(sample.collation);
        const auto cp = static_cast<uint16_t>(sample.codePage);
        const std::string bytes = encodeCodePage(sample.text, cp);
        EXPECT_EQ(bytes.size(), sample.bytes);
        EXPECT_EQ(decodeCodePage(bytes, cp), sample.text);
        EXPECT_EQ(codePageLength(sample.text, cp), sample.bytes);
        EXPECT_EQ(storeInCodePage(std::string("a") + sample.unmappable + "b", cp), "a?b");
    }
    // The cut keeps whole characters: two Hangul syllables are four bytes, so three bytes hold one.
    EXPECT_EQ(codePagePrefix("\uac00\ub098", 949, 3), "\uac00");
    EXPECT_EQ(decodeCodePage("\xff\xff", 949), "??");  // bytes 949 does not define
}

// A table per code-page family, its varchar column in the family's collation.
class CodePageTableTest : public test::EngineFixture, public ::testing::WithParamInterface<test::CodePageSample> {
protected:
    void SetUp() override {
        ok(std::string("CREATE TABLE lin2db.dbo.t (v varchar(10) COLLATE ") + GetParam().collation +
           " NOT NULL PRIMARY KEY, c char(10) COLLATE " + GetParam().collation + " NULL)");
    }
};

TEST_P(CodePageTableTest, HoldsBytesOfTheCodePage) {
    const auto& s = GetParam();
    const std::string text = s.text;
    ok("INSERT INTO lin2db.dbo.t VALUES (N'" + text + "', N'" + text + "')");
    EXPECT_EQ(ok("SELECT v, DATALENGTH(v), LEN(v), DATALENGTH(c) FROM lin2db.dbo.t").text(),
              Rows{text + "|" + std::to_string(s.bytes) + "|" + std::to_string(s.characters) + "|10"});
    // The char(10) pads to ten bytes, not ten characters.
    EXPECT_EQ(ok("SELECT c FROM lin2db.dbo.t").text(), Rows{text + std::string(10 - s.bytes, ' ')});

    // Case-insensitive lookup and key, under the column's collation.
    EXPECT_EQ(ok("SELECT DATALENGTH(v) FROM lin2db.dbo.t WHERE v = N'" + std::string(s.upper) + "'").text(),
              Rows{std::to_string(s.bytes)});
    EXPECT_EQ(run("INSERT INTO lin2db.dbo.t (v) VALUES (N'" + std::string(s.upper) + "')").errors(),
              std::vector<int32_t>{2627});

    // A character the code page cannot hold is stored as "?".
    ok("INSERT INTO lin2db.dbo.t (v) VALUES (N'x" + std::string(s.unmappable) + "')");
    EXPECT_EQ(ok("SELECT v FROM lin2db.dbo.t WHERE v LIKE 'x%'").text(), Rows{"x?"});

    // Lengths count bytes: what fits ten characters but not ten bytes is cut off with 2628.
    std::string tooLong;
    while (codePageLength(tooLong, static_cast<uint16_t>(s.codePage)) <= 10) tooLong += text;
    EXPECT_EQ(run("INSERT INTO lin2db.dbo.t (v) VALUES (N'" + tooLong + "')").errors(), std::vector<int32_t>{2628});
    EXPECT_EQ(ok("SELECT COUNT(*) FROM lin2db.dbo.t").text(), Rows{"2"});
}

INSTANTIATE_TEST_SUITE_P(Families, CodePageTableTest, ::testing::ValuesIn(test::kCodePageSamples),
                         [](const auto& info) {
                             std::string name = info.param.collation;
                             for (auto& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(CodePageEngine, HangulNamesCountTwoBytesEach) {
    // Seven Hangul syllables fill the game server's varchar(14); an eighth does not fit.
    EngineOptions options;
    options.collation = "Korean_Wansung_CI_AS";
    Engine engine(options);
    Session session;
    auto run = [&](const std::string& sql) {
        RecordingSink sink;
        engine.execute(session, sql, sink);
        return sink;
    };
    const std::string seven = "\uac00\ub098\ub2e4\ub77c\ub9c8\ubc14\uc0ac";
    EXPECT_TRUE(run("INSERT INTO lin2db.dbo.user_auth VALUES ('" + seven + "',0x01,'','',0x0,0x0)").errors().empty());
    EXPECT_EQ(run("INSERT INTO lin2db.dbo.user_auth VALUES ('" + seven + "\uc544',0x01,'','',0x0,0x0)").errors(),
              std::vector<int32_t>{2628});
    EXPECT_EQ(run("SELECT account, DATALENGTH(account), LEN(account) FROM lin2db.dbo.user_auth").text(),
              Rows{seven + "|14|7"});
    // A varchar literal takes the database's code page: Thai becomes "?" on this server.
    EXPECT_EQ(run("SELECT '\u0e01', N'\u0e01', DATABASEPROPERTYEX('lin2db', 'Collation')").text(),
              Rows{"?|\u0e01|Korean_Wansung_CI_AS"});
}

TEST(CodePageEngine, OrderByAndUpperFollowTheCollation) {
    Engine engine;
    Session session;
    auto run = [&](const std::string& sql) {
        RecordingSink sink;
        engine.execute(session, sql, sink);
        EXPECT_TRUE(sink.errors().empty()) << sql;
        return sink.text();
    };
    run("CREATE TABLE lin2db.dbo.names (ci varchar(10) COLLATE Latin1_General_CI_AS, bin varchar(10) COLLATE "
        "Latin1_General_BIN)");
    run("INSERT INTO lin2db.dbo.names VALUES ('b', 'b'), ('A', 'A'), ('\u00e9', '\u00e9'), ('a', 'a')");
    EXPECT_EQ(run("SELECT ci FROM lin2db.dbo.names ORDER BY ci, bin"), (Rows{"A", "a", "b", "\u00e9"}));
    EXPECT_EQ(run("SELECT bin FROM lin2db.dbo.names ORDER BY bin"), (Rows{"A", "a", "b", "\u00e9"}));
    EXPECT_EQ(run("SELECT COUNT(*) FROM lin2db.dbo.names WHERE bin = 'A'"), Rows{"1"});
    EXPECT_EQ(run("SELECT COUNT(*) FROM lin2db.dbo.names WHERE ci = 'A'"), Rows{"2"});
    EXPECT_EQ(run("SELECT UPPER(N'\u0438\u0432\u0430\u043d')"), Rows{"\u0418\u0412\u0410\u041d"});
}

TEST(CodePageEngine, UnknownCollationsAreRefused) {
    Engine engine;
    Session session;
    RecordingSink sink;
    engine.execute(session, "CREATE TABLE lin2db.dbo.x (v varchar(5) COLLATE Klingon_CI_AS)", sink);
    ASSERT_EQ(sink.errors(), std::vector<int32_t>{448});
    EXPECT_EQ(sink.messages[0].text, "Invalid collation 'Klingon_CI_AS'.");
    EngineOptions options;
    options.collation = "Klingon_CI_AS";
    EXPECT_THROW(Engine{options}, std::invalid_argument);
}

}  // namespace

namespace {

// Text and binary convert through the code page of the text's collation; N-text is UTF-16LE.
TEST(CodePageEngine, TextAndBinaryConvertThroughTheCodePage) {
    EngineOptions options;
    options.collation = "Cyrillic_General_CI_AS";
    Engine engine(options);
    Session session;
    RecordingSink sink;
    engine.execute(session,
                   "SELECT CAST(N'\u0416' AS varbinary(4)), CAST('\u0416' AS varbinary(4)), CAST(0xC6 AS varchar(2)),"
                   " CAST(0x1604 AS nvarchar(2))",
                   sink);
    EXPECT_EQ(sink.text(), Rows{"0x1604|0xC6|\u0416|\u0416"});
}

}  // namespace
