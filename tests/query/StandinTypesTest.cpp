// Column types through the whole path against the stand-in: one table per type family, created by the
// test, with one row of values and one row of NULLs. For each column: the data kind and record size
// the record set chose, the field class, and AsString / AsInteger of both rows.
#include "tests/query/StandinFixture.h"
#include "tests/support/ExpectThrows.h"

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

struct ColumnCase {
    std::string type;     // SQL type of the column
    std::string literal;  // the value row's literal
    uint16_t kind;
    uint16_t size;
    TFieldType fieldType;
    std::string asString;
    std::optional<int32_t> asInteger;  // nullopt: AsInteger raises integerError
    std::string integerError;
    std::optional<int32_t> nullAsInteger;  // nullopt: raises nullIntegerError on the NULL row
    std::string nullIntegerError;
};

struct Family {
    std::string name;
    std::vector<ColumnCase> columns;
    std::function<void(TMSConnection&, TMSQuery&)> configure;
};

std::string AccessError(int column, const std::string& type) {
    return "Cannot access field 'c" + std::to_string(column) + "' as type " + type;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

const std::string NotInteger = "'' is not a valid integer value";

std::vector<Family> Families() {
    std::vector<Family> f;
    f.push_back({"strings",
                 {
                     {"varchar(30)", "'abc '", DataKind::String, 31, TFieldType::ftString, "abc ", std::nullopt,
                      "'abc ' is not a valid integer value", std::nullopt, NotInteger},
                     {"varchar(31)", "'abc '", DataKind::ExtString, 4, TFieldType::ftString, "abc", std::nullopt,
                      "'abc' is not a valid integer value", std::nullopt, NotInteger},
                     {"char(10)", "'abc'", DataKind::String, 11, TFieldType::ftString, "abc", std::nullopt,
                      "'abc' is not a valid integer value", std::nullopt, NotInteger},
                     {"varchar(10)", "' -42'", DataKind::String, 11, TFieldType::ftString, " -42", -42, "",
                      std::nullopt, NotInteger},
                     {"nvarchar(14)", "N'caf\xE9'", DataKind::WideString, 30, TFieldType::ftWideString, "caf\xE9",
                      std::nullopt, "'caf\xE9' is not a valid integer value", std::nullopt, NotInteger},
                     {"nvarchar(15)", "N'17'", DataKind::ExtWideString, 4, TFieldType::ftWideString, "17", 17, "",
                      std::nullopt, NotInteger},
                     {"nchar(5)", "N'ab'", DataKind::WideString, 12, TFieldType::ftWideString, "ab", std::nullopt,
                      "'ab' is not a valid integer value", std::nullopt, NotInteger},
                     {"varchar(8000)", "'long'", DataKind::ExtString, 4, TFieldType::ftString, "long", std::nullopt,
                      "'long' is not a valid integer value", std::nullopt, NotInteger},
                 },
                 {}});
    f.push_back(
        {"binaries",
         {
             {"binary(16)", "0x0102030405060708090A0B0C0D0E0F10", DataKind::Bytes, 20, TFieldType::ftBytes,
              Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}), std::nullopt, AccessError(1, "Integer"),
              std::nullopt, AccessError(1, "Integer")},
             {"binary(4)", "0x00FF", DataKind::Bytes, 8, TFieldType::ftBytes, Bytes({0, 255, 0, 0}), std::nullopt,
              AccessError(2, "Integer"), std::nullopt, AccessError(2, "Integer")},
             {"varbinary(31)", "0x0A0B", DataKind::VarBytes, 37, TFieldType::ftVarBytes, Bytes({10, 11}), std::nullopt,
              AccessError(3, "Integer"), std::nullopt, AccessError(3, "Integer")},
             {"varbinary(32)", "0x0A0B0C", DataKind::ExtVarBytes, 8, TFieldType::ftVarBytes, Bytes({10, 11, 12}),
              std::nullopt, AccessError(4, "Integer"), std::nullopt, AccessError(4, "Integer")},
         },
         {}});
    f.push_back(
        {"integers",
         {
             {"int", "2147483647", DataKind::Integer, 4, TFieldType::ftInteger, "2147483647", 2147483647, "", 0, ""},
             {"smallint", "-32768", DataKind::Smallint, 2, TFieldType::ftSmallint, "-32768", -32768, "", 0, ""},
             {"tinyint", "255", DataKind::Word, 2, TFieldType::ftWord, "255", 255, "", 0, ""},
             {"bit", "1", DataKind::Boolean, 2, TFieldType::ftBoolean, "True", std::nullopt, AccessError(4, "Integer"),
              std::nullopt, AccessError(4, "Integer")},
             {"bigint", "4294967297", DataKind::Largeint, 8, TFieldType::ftLargeint, "4294967297", 1, "", 0, ""},
         },
         {}});
    f.push_back(
        {"numbers",
         {
             {"real", "1.5", DataKind::Float, 8, TFieldType::ftFloat, "1.5", 2, "", 0, ""},
             {"float", "2.5", DataKind::Float, 8, TFieldType::ftFloat, "2.5", 2, "", 0, ""},
             {"money", "12.3456", DataKind::Currency, 8, TFieldType::ftCurrency, "12.3456", 12, "", 0, ""},
             {"decimal(10,2)", "-12.35", DataKind::Float, 8, TFieldType::ftFloat, "-12.35", -12, "", 0, ""},
             {"datetime", "'2024-02-29 13:45:30'", DataKind::DateTime, 8, TFieldType::ftDateTime, "2024-02-29 13:45:30",
              std::nullopt, AccessError(5, "Integer"), std::nullopt, AccessError(5, "Integer")},
             {"datetime", "'1999-12-31'", DataKind::DateTime, 8, TFieldType::ftDateTime, "1999-12-31", std::nullopt,
              AccessError(6, "Integer"), std::nullopt, AccessError(6, "Integer")},
             {"uniqueidentifier", "'6F9619FF-8B86-D011-B42D-00C04FC964FF'", DataKind::Guid, 39, TFieldType::ftGuid,
              "{6F9619FF-8B86-D011-B42D-00C04FC964FF}", std::nullopt,
              "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}' is not a valid integer value", std::nullopt, NotInteger},
         },
         {}});
    f.push_back({"longs",
                 {
                     {"text", "'long text'", DataKind::Memo, 8, TFieldType::ftMemo, "long text", std::nullopt,
                      AccessError(1, "Integer"), std::nullopt, AccessError(1, "Integer")},
                     {"ntext", "N'wide caf\xE9'", DataKind::Memo, 8, TFieldType::ftMemo, "wide caf\xE9", std::nullopt,
                      AccessError(2, "Integer"), std::nullopt, AccessError(2, "Integer")},
                     {"image", "0x010203", DataKind::Blob, 8, TFieldType::ftBlob, Bytes({1, 2, 3}), std::nullopt,
                      AccessError(3, "Integer"), std::nullopt, AccessError(3, "Integer")},
                     {"varchar(max)", "'max'", DataKind::Memo, 8, TFieldType::ftMemo, "max", std::nullopt,
                      AccessError(4, "Integer"), std::nullopt, AccessError(4, "Integer")},
                 },
                 {}});
    f.push_back({"no_long_strings",
                 {
                     {"varchar(300)", "'abc'", DataKind::Memo, 8, TFieldType::ftMemo, "abc", std::nullopt,
                      AccessError(1, "Integer"), std::nullopt, AccessError(1, "Integer")},
                     {"nvarchar(256)", "N'x\xE9'", DataKind::Memo, 8, TFieldType::ftMemo, "x\xE9", std::nullopt,
                      AccessError(2, "Integer"), std::nullopt, AccessError(2, "Integer")},
                     {"varchar(255)", "'abc'", DataKind::ExtString, 4, TFieldType::ftString, "abc", std::nullopt,
                      "'abc' is not a valid integer value", std::nullopt, NotInteger},
                 },
                 [](TMSConnection&, TMSQuery& q) { q.Options().LongStrings = false; }});
    f.push_back({"flat_buffers",
                 {
                     {"varchar(100)", "'abc '", DataKind::String, 101, TFieldType::ftString, "abc ", std::nullopt,
                      "'abc ' is not a valid integer value", std::nullopt, NotInteger},
                     {"varbinary(100)", "0x01", DataKind::VarBytes, 106, TFieldType::ftVarBytes, Bytes({1}),
                      std::nullopt, AccessError(2, "Integer"), std::nullopt, AccessError(2, "Integer")},
                 },
                 [](TMSConnection&, TMSQuery& q) { q.Options().FlatBuffers = true; }});
    f.push_back({"bcd",
                 {
                     {"decimal(10,2)", "12.35", DataKind::BCD, 8, TFieldType::ftBCD, "12.35", 12, "", 0, ""},
                     {"decimal(10,1)", "-2.5", DataKind::BCD, 8, TFieldType::ftBCD, "-2.5", -2, "", 0, ""},
                     {"money", "3.5", DataKind::Currency, 8, TFieldType::ftCurrency, "3.5", 4, "", 0, ""},
                 },
                 [](TMSConnection&, TMSQuery& q) { q.Options().EnableBCD = true; }});
    f.push_back({"fmt_bcd",
                 {
                     {"decimal(10,3)", "2.5", DataKind::FMTBCD, 34, TFieldType::ftFMTBcd, "2.5", 2, "", 0, ""},
                     {"decimal(38,4)", "-1234567890123456789012345678901234.5678", DataKind::FMTBCD, 41,
                      TFieldType::ftFMTBcd, "-1234567890123456789012345678901234.5678", std::nullopt,
                      "'-1234567890123456789012345678901234.5678' is not a valid integer value", 0, ""},
                 },
                 [](TMSConnection& c, TMSQuery&) { c.Options().SetNumericType(TDANumericType::ntFmtBCD); }});
    return f;
}

class TypeFamilyTest : public StandinQueryFixture, public ::testing::WithParamInterface<Family> {};

TEST_P(TypeFamilyTest, KindsSizesFieldsAndConversions) {
    const Family& family = GetParam();
    if (family.configure) family.configure(*connection, *query);
    std::string create = "CREATE TABLE lin2db.dbo." + family.name + " (id int NOT NULL";
    std::string values = "(1";
    std::string nulls = "(2";
    std::string select = "SELECT ";
    for (size_t i = 0; i < family.columns.size(); ++i) {
        const std::string name = "c" + std::to_string(i + 1);
        create += ", " + name + " " + family.columns[i].type + " NULL";
        values += "," + family.columns[i].literal;
        nulls += ",NULL";
        select += (i > 0 ? "," : "") + name;
    }
    Run(create + ")");
    Run("INSERT INTO lin2db.dbo." + family.name + " VALUES " + values + ")," + nulls + ")");
    Open(select + " FROM lin2db.dbo." + family.name + " ORDER BY id");
    ASSERT_EQ(query->RecordCount(), 2);
    ASSERT_EQ(query->Fields().Count(), family.columns.size());

    for (int row = 0; row < 2; ++row) {
        const bool isNullRow = row == 1;
        for (size_t i = 0; i < family.columns.size(); ++i) {
            const ColumnCase& c = family.columns[i];
            const TField& field = query->Fields()[static_cast<int>(i)];
            SCOPED_TRACE(family.name + " " + c.type + (isNullRow ? " (NULL row)" : ""));
            EXPECT_EQ(Desc(static_cast<int>(i)).DataType, c.kind);
            EXPECT_EQ(Desc(static_cast<int>(i)).Size, c.size);
            EXPECT_EQ(field.DataType(), c.fieldType);
            EXPECT_EQ(field.IsNull(), isNullRow);
            EXPECT_EQ(field.AsString(), isNullRow ? std::string() : c.asString);
            const auto expectedInteger = isNullRow ? c.nullAsInteger : c.asInteger;
            const std::string& expectedError = isNullRow ? c.nullIntegerError : c.integerError;
            if (expectedInteger) {
                EXPECT_EQ(field.AsInteger(), *expectedInteger);
            } else {
                vactest::ExpectThrows<Exception>([&] { (void)field.AsInteger(); }, expectedError);
            }
            if (isNullRow) {
                // NULL leaves status 3 in the record; by-reference kinds keep no heap value.
                const TOLEDBRecordSet& rs = query->OLEDBRecordSet();
                const TConstRecordSpan record = rs.CurrentRecord();
                EXPECT_EQ(rs.GetStatus(static_cast<int>(i) + 1, record), 3u);
                if (DataKind::IsByReference(c.kind) || DataKind::IsSharedObject(c.kind)) {
                    uint32_t handle = 1;
                    std::memcpy(&handle, record.data() + Desc(static_cast<int>(i)).Offset, sizeof handle);
                    EXPECT_EQ(handle, 0u);
                }
            }
        }
        query->Next();
    }
    EXPECT_TRUE(query->EndOfData());
}

INSTANTIATE_TEST_SUITE_P(Columns, TypeFamilyTest, ::testing::ValuesIn(Families()),
                         [](const ::testing::TestParamInfo<Family>& info) { return info.param.name; });

TEST_F(StandinQueryFixture, LongValuesSpanSeveralPieces) {
    Run("CREATE TABLE lin2db.dbo.longs (id int NOT NULL, t text NULL, b image NULL)");
    const std::string text(150000, 'x');
    Run("INSERT INTO lin2db.dbo.longs VALUES (1,'" + text + "',NULL)");
    Open("SET TEXTSIZE 2147483647 SELECT t, b FROM lin2db.dbo.longs");
    ASSERT_EQ(query->RecordCount(), 1);
    const auto& memo = dynamic_cast<const TMemoField&>(query->Fields()[0]);
    EXPECT_EQ(memo.AsString(), text);
    EXPECT_GE(memo.Blob()->PieceCount(), 3u);
    EXPECT_TRUE(query->Fields()[1].IsNull());
}

TEST_F(StandinQueryFixture, ManyStagedRowsKeepTheirOwnValues) {
    Run("CREATE TABLE lin2db.dbo.staged (id int NOT NULL, s varchar(40) NULL, w nvarchar(40) NULL, b varbinary(40) "
        "NULL)");
    std::string sql = "INSERT INTO lin2db.dbo.staged VALUES ";
    for (int i = 1; i <= 60; ++i) {
        const std::string n = std::to_string(i);
        sql += (i > 1 ? "," : "");
        sql += i % 7 == 0 ? "(" + n + ",NULL,NULL,NULL)"
                          : "(" + n + ",'s" + n + "',N'w" + n + "',0x" + (i < 16 ? "0" : "") +
                                [&] {
                                    char h[8];
                                    std::snprintf(h, sizeof h, "%X", i);
                                    return std::string(h);
                                }() +
                                ")";
    }
    Run(sql);
    Open("SELECT id, s, w, b FROM lin2db.dbo.staged ORDER BY id");
    ASSERT_EQ(query->RecordCount(), 60);
    for (int i = 1; i <= 60; ++i, query->Next()) {
        const std::string n = std::to_string(i);
        ASSERT_EQ(query->Fields()[0].AsInteger(), i);
        if (i % 7 == 0) {
            EXPECT_TRUE(query->Fields()[1].IsNull());
            EXPECT_TRUE(query->Fields()[2].IsNull());
            EXPECT_TRUE(query->Fields()[3].IsNull());
            continue;
        }
        EXPECT_EQ(query->Fields()[1].AsString(), "s" + n);
        EXPECT_EQ(query->Fields()[2].AsString(), "w" + n);
        EXPECT_EQ(query->Fields()[3].AsString(), std::string(1, static_cast<char>(i)));
    }
}

}  // namespace
