#include "tools/standin/tds/TdsLogin.h"
#include "tools/standin/tds/TdsWriter.h"

#include <gtest/gtest.h>

using namespace standin;
using namespace standin::tds;

namespace {

Column column(SqlType type, bool nullable, int length = 0, int precision = 0, int scale = 0) {
    Column c;
    c.name = "c";
    c.type = {type, length, precision, scale};
    c.nullable = nullable;
    return c;
}

// TYPE_INFO of a one-column COLMETADATA named "c" (without user type, flags and name).
Bytes typeInfo(const Column& c) {
    Bytes out;
    RowEncoder(std::vector<Column>{c}, true).writeMetadata(out);
    return Bytes(out.begin() + 9, out.end() - 3);
}

Bytes rowBytes(const Column& c, const Value& v) {
    Bytes out;
    RowEncoder(std::vector<Column>{c}, true).writeRow(out, {v});
    return out;
}

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes r = a;
    r.insert(r.end(), b.begin(), b.end());
    return r;
}

const Bytes kColl(kCollation.begin(), kCollation.end());

}  // namespace

TEST(TdsRowEncoder, EveryColumnTypeHasItsWireFormat) {
    struct Case {
        const char* name;
        Column column;
        Value value;
        Bytes typeInfo;
        Bytes value_;  // value bytes after the ROW token
    };
    const Guid guid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const Case cases[] = {
        {"int not null", column(SqlType::Int, false), int64_t{-2}, {0x38}, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"int null", column(SqlType::Int, true), int64_t{258}, {0x26, 4}, {4, 0x02, 0x01, 0, 0}},
        {"smallint", column(SqlType::SmallInt, true), int64_t{-1}, {0x26, 2}, {2, 0xFF, 0xFF}},
        {"smallint not null", column(SqlType::SmallInt, false), int64_t{7}, {0x34}, {7, 0}},
        {"tinyint", column(SqlType::TinyInt, true), int64_t{200}, {0x26, 1}, {1, 200}},
        {"tinyint not null", column(SqlType::TinyInt, false), int64_t{5}, {0x30}, {5}},
        {"bigint", column(SqlType::BigInt, true), int64_t{1} << 40, {0x26, 8}, {8, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"bigint not null", column(SqlType::BigInt, false), int64_t{1}, {0x7F}, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"bit", column(SqlType::Bit, true), int64_t{1}, {0x68, 1}, {1, 1}},
        {"bit not null", column(SqlType::Bit, false), int64_t{0}, {0x32}, {0}},
        {"real", column(SqlType::Real, true), 1.5, {0x6D, 4}, {4, 0x00, 0x00, 0xC0, 0x3F}},
        {"float not null", column(SqlType::Float, false), -2.0, {0x3E}, {0, 0, 0, 0, 0, 0, 0, 0xC0}},
        {"float", column(SqlType::Float, true), 1.0, {0x6D, 8}, {8, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        // money: value x 10^4 as 64 bits, high half first. -1.0000 = 0xFFFFFFFF_FFFFD8F0.
        {"money",
         column(SqlType::Money, true),
         DecimalValue{-10000, 4},
         {0x6E, 8},
         {8, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xD8, 0xFF, 0xFF}},
        {"money high half",
         column(SqlType::Money, false),
         DecimalValue{(__int128{1} << 32) + 5, 4},
         {0x3C},
         {1, 0, 0, 0, 5, 0, 0, 0}},
        {"smallmoney", column(SqlType::SmallMoney, true), DecimalValue{125, 2}, {0x6E, 4}, {4, 0xD4, 0x30, 0, 0}},
        {"smallmoney not null", column(SqlType::SmallMoney, false), DecimalValue{1, 4}, {0x7A}, {1, 0, 0, 0}},
        {"decimal(5,2) positive",
         column(SqlType::Decimal, true, 0, 5, 2),
         DecimalValue{12345, 2},
         {0x6A, 5, 5, 2},
         {5, 1, 0x39, 0x30, 0, 0}},
        {"decimal(20,0) negative",
         column(SqlType::Decimal, false, 0, 20, 0),
         DecimalValue{-1, 0},
         {0x6A, 13, 20, 0},
         {13, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"decimal rescaled",
         column(SqlType::Decimal, true, 0, 9, 3),
         DecimalValue{15, 1},
         {0x6A, 5, 9, 3},
         {5, 1, 0xDC, 0x05, 0, 0}},
        {"datetime",
         column(SqlType::DateTime, true),
         DateTimeValue{1, 300},
         {0x6F, 8},
         {8, 1, 0, 0, 0, 0x2C, 0x01, 0, 0}},
        {"datetime not null",
         column(SqlType::DateTime, false),
         DateTimeValue{-1, 0},
         {0x3D},
         {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
        // smalldatetime: days and minutes; 12:00:30 rounds up to 12:01.
        {"smalldatetime",
         column(SqlType::SmallDateTime, true),
         DateTimeValue{2, 12 * 3600 * 300 + 30 * 300},
         {0x6F, 4},
         {4, 2, 0, 0xD1, 0x02}},
        {"smalldatetime not null", column(SqlType::SmallDateTime, false), DateTimeValue{3, 0}, {0x3A}, {3, 0, 0, 0}},
        {"uniqueidentifier",
         column(SqlType::UniqueIdentifier, true),
         guid,
         {0x24, 16},
         {16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"varchar in code page 1252",
         column(SqlType::VarChar, true, 14),
         std::string("\xE2\x82\xAC"
                     "a"),
         concat({0xA7, 14, 0}, kColl),
         {2, 0, 0x80, 'a'}},
        {"empty varchar", column(SqlType::VarChar, false, 5), std::string(), concat({0xA7, 5, 0}, kColl), {0, 0}},
        {"char padded",
         column(SqlType::Char, true, 3),
         std::string("a"),
         concat({0xAF, 3, 0}, kColl),
         {3, 0, 'a', ' ', ' '}},
        {"nvarchar",
         column(SqlType::NVarChar, true, 10),
         std::u16string(u"\u0416"),
         concat({0xE7, 20, 0}, kColl),
         {2, 0, 0x16, 0x04}},
        {"nvarchar from utf-8",
         column(SqlType::NVarChar, true, 10),
         std::string("\xC3\xA9"),
         concat({0xE7, 20, 0}, kColl),
         {2, 0, 0xE9, 0x00}},
        {"nchar padded",
         column(SqlType::NChar, false, 2),
         std::u16string(u"x"),
         concat({0xEF, 4, 0}, kColl),
         {4, 0, 'x', 0, ' ', 0}},
        {"binary padded",
         column(SqlType::Binary, true, 4),
         std::vector<uint8_t>{0xAB},
         {0xAD, 4, 0},
         {4, 0, 0xAB, 0, 0, 0}},
        {"varbinary", column(SqlType::VarBinary, true, 32), std::vector<uint8_t>{1, 2}, {0xA5, 32, 0}, {2, 0, 1, 2}},
        {"varchar(max) as PLP",
         column(SqlType::VarChar, true, -1),
         std::string("ab"),
         concat({0xA7, 0xFF, 0xFF}, kColl),
         {2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0}},
        {"varbinary(max) empty",
         column(SqlType::VarBinary, true, -1),
         std::vector<uint8_t>{},
         {0xA5, 0xFF, 0xFF},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(typeInfo(c.column), c.typeInfo);
        const Bytes row = rowBytes(c.column, c.value);
        ASSERT_FALSE(row.empty());
        EXPECT_EQ(row[0], kTokenRow);
        EXPECT_EQ(Bytes(row.begin() + 1, row.end()), c.value_);
    }
}

TEST(TdsRowEncoder, TextTypesCarryTextPointerAndNoTableName) {
    struct Case {
        Column column;
        Value value;
        uint8_t code;
        bool collation;
        Bytes data;
    };
    const Case cases[] = {
        {column(SqlType::Text, true, -1), std::string("hi"), 0x23, true, {'h', 'i'}},
        {column(SqlType::NText, true, -1), std::u16string(u"hi"), 0x63, true, {'h', 0, 'i', 0}},
        {column(SqlType::Image, true, -1), std::vector<uint8_t>{9}, 0x22, false, {9}},
    };
    for (const auto& c : cases) {
        Bytes expectedInfo = {c.code};
        putU32LE(expectedInfo, c.code == 0x63 ? 0x7FFFFFFE : 0x7FFFFFFF);
        if (c.collation) putBytes(expectedInfo, kColl);
        putU8(expectedInfo, 0);  // table name parts
        EXPECT_EQ(typeInfo(c.column), expectedInfo);

        const Bytes row = rowBytes(c.column, c.value);
        ASSERT_EQ(row.size(), 1u + 1 + 16 + 8 + 4 + c.data.size());
        EXPECT_EQ(row[1], 16);
        EXPECT_EQ(Bytes(row.end() - static_cast<long>(c.data.size()), row.end()), c.data);
        EXPECT_EQ(rowBytes(c.column, Value{}), (Bytes{kTokenRow, 0}));
    }
}

TEST(TdsRowEncoder, NullsUseTheBitmapRowOnlyWhereItSavesBytes) {
    std::vector<Column> cols;
    for (int i = 0; i < 9; ++i) cols.push_back(column(SqlType::Int, true));
    RowEncoder encoder(cols, true);

    // One NULL INTN costs 1 byte in ROW; the bitmap for 9 columns costs 2: plain ROW.
    std::vector<Value> oneNull(9, Value{int64_t{1}});
    oneNull[3] = Value{};
    Bytes out;
    encoder.writeRow(out, oneNull);
    EXPECT_EQ(out[0], kTokenRow);
    EXPECT_EQ(out.size(), 1u + 8 * 5 + 1);

    // Nine NULLs: ROW needs 9 bytes, NBCROW 2.
    out.clear();
    encoder.writeRow(out, std::vector<Value>(9));
    EXPECT_EQ(out, (Bytes{kTokenNbcRow, 0xFF, 0x01}));

    // Without NBCROW support (TDS 7.2/7.3A) the same row stays a ROW.
    out.clear();
    RowEncoder(cols, false).writeRow(out, std::vector<Value>(9));
    EXPECT_EQ(out, Bytes({kTokenRow, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(TdsRowEncoder, NullInAFixedTypeColumnGoesThroughTheBitmap) {
    const std::vector<Column> cols = {column(SqlType::Int, false), column(SqlType::VarChar, false, 5)};
    Bytes out;
    RowEncoder(cols, true).writeRow(out, {Value{}, Value{std::string("x")}});
    EXPECT_EQ(out, (Bytes{kTokenNbcRow, 0x01, 1, 0, 'x'}));
    out.clear();
    EXPECT_THROW(RowEncoder(cols, false).writeRow(out, {Value{}, Value{std::string("x")}}), EncodeError);
    EXPECT_TRUE(out.empty());
}

TEST(TdsRowEncoder, ValuesThatDoNotFitLeaveNothingBehind) {
    struct Case {
        const char* name;
        Column column;
        Value value;
    };
    const Case cases[] = {
        {"text for int", column(SqlType::Int, true), std::string("1")},
        {"too long for varchar(2)", column(SqlType::VarChar, true, 2), std::string("abc")},
        {"number for datetime", column(SqlType::DateTime, true), int64_t{1}},
        {"decimal beyond precision", column(SqlType::Decimal, true, 0, 2, 0), DecimalValue{__int128{1} << 40, 0}},
    };
    for (const auto& c : cases) {
        Bytes out = {0x55};
        const std::vector<Column> two = {column(SqlType::Int, true), c.column};
        EXPECT_THROW(RowEncoder(two, true).writeRow(out, {Value{int64_t{1}}, c.value}), EncodeError) << c.name;
        EXPECT_EQ(out, Bytes{0x55}) << c.name;
    }
}

TEST(TdsRowEncoder, MetadataCarriesNullabilityIdentityAndNames) {
    Column uid = column(SqlType::Int, false);
    uid.name = "uid";
    uid.identity = true;
    Column account = column(SqlType::VarChar, true, 14);
    account.name = "account";
    Bytes out;
    RowEncoder({uid, account}, true).writeMetadata(out);
    Bytes expected = {0x81, 2, 0,   0, 0, 0, 0, 0x18, 0x00, 0x38, 3,    'u', 0,
                      'i',  0, 'd', 0, 0, 0, 0, 0,    0x09, 0x00, 0xA7, 14,  0};
    putBytes(expected, kColl);
    putBytes(expected, Bytes{7, 'a', 0, 'c', 0, 'c', 0, 'o', 0, 'u', 0, 'n', 0, 't', 0});
    EXPECT_EQ(out, expected);
}

TEST(TdsTokens, DoneLoginAckEnvChangeAndMessagesHaveTheirLayouts) {
    Bytes done;
    writeDone(done, kDoneMore | kDoneCount, 0xC1, 3);
    EXPECT_EQ(done, (Bytes{0xFD, 0x11, 0x00, 0xC1, 0x00, 3, 0, 0, 0, 0, 0, 0, 0}));

    Bytes ack;
    writeLoginAck(ack, kTds74, "SQL", {16, 0, 3, 0xE8});
    EXPECT_EQ(ack, (Bytes{0xAD, 16, 0, 1, 0x74, 0, 0, 4, 3, 'S', 0, 'Q', 0, 'L', 0, 16, 0, 3, 0xE8}));

    Bytes env;
    writeEnvChange(env, kEnvPacketSize, "8192", "4096");
    EXPECT_EQ(env, (Bytes{0xE3, 19, 0, 4, 4, '8', 0, '1', 0, '9', 0, '2', 0, 4, '4', 0, '0', 0, '9', 0, '6', 0}));

    Bytes collation;
    writeEnvChangeBytes(collation, kEnvCollation, kCollation, {});
    EXPECT_EQ(collation, (Bytes{0xE3, 8, 0, 7, 5, 0x09, 0x04, 0xD0, 0x00, 0x34, 0}));

    Bytes error;
    writeMessage(error, {208, 1, 16, "x", "p", 3}, "S");
    EXPECT_EQ(error, (Bytes{0xAA, 20, 0, 0xD0, 0, 0, 0, 1, 16, 1, 0, 'x', 0, 1, 'S', 0, 1, 'p', 0, 3, 0, 0, 0}));
    Bytes info;
    writeMessage(info, {3621, 0, 10, "", "", 1}, "");
    EXPECT_EQ(info[0], kTokenInfo);
}

TEST(TdsTokens, OverlongMessagesAreCutToFitTheTokenLength) {
    Bytes out;
    writeMessage(out, {50000, 1, 16, std::string(40000, 'x'), "", 1}, "standin");
    const size_t declared = out[1] | (out[2] << 8);
    EXPECT_EQ(declared + 3, out.size());
}

TEST(TdsCollations, EachTravelsWithItsLocaleFlagsAndSortId) {
    struct Case {
        const char* name;
        std::array<uint8_t, 5> bytes;
    };
    const Case cases[] = {
        {"SQL_Latin1_General_CP1_CI_AS", {0x09, 0x04, 0xD0, 0x00, 0x34}},
        {"SQL_Latin1_General_CP1_CS_AS", {0x09, 0x04, 0xC0, 0x00, 0x33}},
        {"SQL_Latin1_General_CP1251_CI_AS", {0x09, 0x04, 0xD0, 0x00, 106}},
        {"Latin1_General_CI_AS", {0x09, 0x04, 0xD0, 0x00, 0x00}},
        {"Latin1_General_CS_AI", {0x09, 0x04, 0xE0, 0x00, 0x00}},
        {"Latin1_General_BIN", {0x09, 0x04, 0x00, 0x01, 0x00}},
        {"Latin1_General_BIN2", {0x09, 0x04, 0x00, 0x02, 0x00}},
        {"Cyrillic_General_CI_AS", {0x19, 0x04, 0xD0, 0x00, 0x00}},
        {"Korean_Wansung_CI_AS", {0x12, 0x04, 0xD0, 0x00, 0x00}},
        {"Japanese_CS_AS_KS_WS", {0x11, 0x04, 0x00, 0x00, 0x00}},
        {"Chinese_Taiwan_Bopomofo_CI_AS", {0x04, 0x04, 0xD3, 0x00, 0x00}},
    };
    for (const Case& c : cases) EXPECT_EQ(collationBytes(*findCollation(c.name)), c.bytes) << c.name;
    EXPECT_EQ(collationBytes(defaultCollation()), kCollation);
}

TEST(TdsRowEncoder, TextColumnsCarryTheirOwnCollationAndCodePage) {
    Column korean = column(SqlType::VarChar, true, 14);
    korean.type.collation = findCollation("Korean_Wansung_CI_AS");
    EXPECT_EQ(typeInfo(korean), (Bytes{0xA7, 14, 0, 0x12, 0x04, 0xD0, 0x00, 0x00}));
    EXPECT_EQ(rowBytes(korean, std::string("\uac00\ub098")), (Bytes{0xD1, 4, 0, 0xB0, 0xA1, 0xB3, 0xAA}));

    // N-types name their collation too, and stay UTF-16.
    Column wide = column(SqlType::NVarChar, true, 5);
    wide.type.collation = findCollation("Cyrillic_General_CI_AS");
    EXPECT_EQ(typeInfo(wide), (Bytes{0xE7, 10, 0, 0x19, 0x04, 0xD0, 0x00, 0x00}));
    EXPECT_EQ(rowBytes(wide, std::u16string(u"\u0416")), (Bytes{0xD1, 2, 0, 0x16, 0x04}));
}
