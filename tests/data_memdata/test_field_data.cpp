// Reading and writing field values: per-kind copies, trimming, line ends, nulls, buffer bounds.
#include "StoreFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using namespace DataKind;

std::string ReadString(const TData& data, std::span<const std::byte> record, int fieldNo) {
    std::vector<std::byte> dest(data.MaxFieldDataSize(fieldNo) + 100);
    bool isNull = false;
    const size_t n = data.GetFieldData(fieldNo, record, isNull, dest);
    EXPECT_GE(n, 1u);
    EXPECT_EQ(dest[n - 1], std::byte{0});
    return std::string(reinterpret_cast<const char*>(dest.data()), n - 1);
}

std::u16string ReadWide(const TData& data, std::span<const std::byte> record, int fieldNo) {
    std::vector<std::byte> dest(data.MaxFieldDataSize(fieldNo) + 100);
    bool isNull = false;
    const size_t n = data.GetFieldData(fieldNo, record, isNull, dest);
    std::u16string text((n - 2) / 2, u'\0');
    std::memcpy(text.data(), dest.data(), n - 2);
    return text;
}

class Record {
public:
    explicit Record(TTestStore& store) : Bytes(store.RecordSize()) { store.InitRecord(Bytes); }
    operator std::span<std::byte>() { return Bytes; }
    operator std::span<const std::byte>() const { return Bytes; }
    std::vector<std::byte> Bytes;
};

// char(10), varchar(10), varchar(40) by reference, and their wide twins.
TTestStore TrimStore() {
    return TTestStore({{String, 11, "c", 10, true},
                       {String, 11, "v", 10, false},
                       {ExtString, 4, "r", 40, false},
                       {WideString, 22, "nc", 10, true},
                       {WideString, 22, "nv", 10, false},
                       {ExtWideString, 4, "nr", 40, false}},
                      true);
}

TEST(FieldData, FixedCharIsTrimmedOnReadAndByReferenceOnWrite) {
    for (const bool trim : {true, false}) {
        TTestStore store = TrimStore();
        store.TrimFixedChar = trim;
        store.InitFields();
        Record rec(store);
        store.PutFieldString(1, rec, "abc       ");  // char(10) as the server pads it
        store.PutFieldString(2, rec, "abc ");
        store.PutFieldString(3, rec, "abc ");
        store.PutFieldWideString(4, rec, u"abc       ");
        store.PutFieldWideString(5, rec, u"abc ");
        store.PutFieldWideString(6, rec, u"abc ");
        EXPECT_EQ(ReadString(store, rec, 1), trim ? "abc" : "abc       ");
        EXPECT_EQ(ReadString(store, rec, 2), "abc ");  // varchar inline keeps its blank
        EXPECT_EQ(ReadString(store, rec, 3), trim ? "abc" : "abc ");
        EXPECT_EQ(ReadWide(store, rec, 4), trim ? u"abc" : u"abc       ");
        EXPECT_EQ(ReadWide(store, rec, 5), u"abc ");
        EXPECT_EQ(ReadWide(store, rec, 6), trim ? u"abc" : u"abc ");
        bool isNull = true;
        EXPECT_EQ(store.GetFieldString(1, rec, isNull), trim ? "abc" : "abc       ");
        EXPECT_FALSE(isNull);
        EXPECT_EQ(store.GetFieldString(3, rec, isNull), trim ? "abc" : "abc ");
        EXPECT_EQ(store.GetFieldWideString(4, rec, isNull), trim ? u"abc" : u"abc       ");
        EXPECT_EQ(store.GetFieldWideString(6, rec, isNull), trim ? u"abc" : u"abc ");
    }
}

struct TEolCase {
    std::string In;
    std::string Converted;
};

class EolTest : public ::testing::TestWithParam<TEolCase> {};

TEST_P(EolTest, LineFeedsBecomeCrLfInEveryStringKind) {
    for (const bool convert : {true, false}) {
        TTestStore store = TrimStore();
        store.ConvertEOL = convert;
        store.InitFields();
        Record rec(store);
        const std::string& in = GetParam().In;
        const std::u16string wide(in.begin(), in.end());
        store.PutFieldString(2, rec, in);
        store.PutFieldString(3, rec, in);
        store.PutFieldWideString(5, rec, wide);
        store.PutFieldWideString(6, rec, wide);
        const std::string& expected = convert ? GetParam().Converted : in;
        const std::u16string wideExpected(expected.begin(), expected.end());
        EXPECT_EQ(ReadString(store, rec, 2), expected);
        EXPECT_EQ(ReadString(store, rec, 3), expected);
        EXPECT_EQ(ReadWide(store, rec, 5), wideExpected);
        EXPECT_EQ(ReadWide(store, rec, 6), wideExpected);
        bool isNull = false;
        EXPECT_EQ(store.GetFieldString(2, rec, isNull), expected);
        EXPECT_EQ(store.GetFieldWideString(6, rec, isNull), wideExpected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EolTest,
    ::testing::Values(TEolCase{"a\nb", "a\r\nb"}, TEolCase{"a\r\nb", "a\r\nb"}, TEolCase{"\n\n", "\r\n\r\n"},
                      TEolCase{"\n", "\r\n"}, TEolCase{"a\rb", "a\rb"}, TEolCase{"\r\n\n", "\r\n\r\n"},
                      TEolCase{"", ""}, TEolCase{"\n\n\n\n\n\n\n\n\n\n", "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"}));

TEST(FieldData, DestinationIsNeverOverrun) {
    TTestStore store = TrimStore();
    store.ConvertEOL = true;
    store.InitFields();
    Record rec(store);
    store.PutFieldString(2, rec, "\n\n\n\n\n\n\n\n\n\n");  // varchar(10) of line feeds: 21 bytes once converted
    store.PutFieldWideString(5, rec, u"\n\n\n\n\n\n\n\n\n\n");
    EXPECT_GE(store.MaxFieldDataSize(2), 21u);
    EXPECT_GE(store.MaxFieldDataSize(5), 42u);
    for (const auto& [fieldNo, needed] : {std::pair{2, size_t{21}}, std::pair{5, size_t{42}}}) {
        std::vector<std::byte> dest(needed + 8, std::byte{0xAA});
        bool isNull = false;
        EXPECT_THROW(store.GetFieldData(fieldNo, rec, isNull, std::span(dest).first(needed - 1)), EDatabaseError);
        EXPECT_EQ(dest[0], std::byte{0xAA});
        EXPECT_EQ(store.GetFieldData(fieldNo, rec, isNull, std::span(dest).first(needed)), needed);
        EXPECT_EQ(dest[needed], std::byte{0xAA});
    }
    store.PutFieldString(3, rec, "abcdef");
    std::vector<std::byte> small(6);
    bool isNull = false;
    EXPECT_THROW(store.GetFieldData(3, rec, isNull, small), EDatabaseError);  // heap text too
}

TEST(FieldData, ValuesThatDoNotFitAreRefused) {
    TTestStore store = TrimStore();
    store.InitFields();
    Record rec(store);
    store.PutFieldString(2, rec, "0123456789");  // exactly varchar(10)
    EXPECT_THROW(store.PutFieldString(2, rec, "0123456789x"), EDatabaseError);
    EXPECT_EQ(ReadString(store, rec, 2), "0123456789");
    EXPECT_THROW(store.PutFieldWideString(5, rec, u"0123456789x"), EDatabaseError);
    const char odd[3] = {'a', 'b', 'c'};
    EXPECT_THROW(store.PutFieldData(5, rec, std::as_bytes(std::span(odd))), EDatabaseError);  // half a wide char
}

template <class T>
std::vector<std::byte> BytesOf(T value) {
    std::vector<std::byte> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

struct TScalarCase {
    uint16_t Kind;
    uint16_t Size;
    std::vector<std::byte> Value;
};

class ScalarTest : public ::testing::TestWithParam<TScalarCase> {};

TEST_P(ScalarTest, CopiedAsStored) {
    const auto& c = GetParam();
    TTestStore store({{String, 3}, {c.Kind, c.Size}}, true);  // an odd start offset on purpose
    store.InitFields();
    Record rec(store);
    store.PutFieldData(2, rec, c.Value);
    std::vector<std::byte> dest(c.Size);
    bool isNull = true;
    EXPECT_EQ(store.GetFieldData(2, rec, isNull, dest), c.Size);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(std::vector<std::byte>(dest.begin(), dest.begin() + c.Value.size()), c.Value);
    EXPECT_THROW(store.GetFieldData(2, rec, isNull, std::span(dest).first(c.Size - 1)), EDatabaseError);
}

std::vector<std::byte> GuidText() {
    const std::string text = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    std::vector<std::byte> bytes(39);
    std::memcpy(bytes.data(), text.c_str(), 39);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ScalarTest,
    ::testing::Values(TScalarCase{Smallint, 2, BytesOf<int16_t>(-12345)},
                      TScalarCase{Integer, 4, BytesOf<int32_t>(-2000000000)},
                      TScalarCase{Word, 2, BytesOf<uint16_t>(255)}, TScalarCase{Boolean, 2, BytesOf<int16_t>(-1)},
                      TScalarCase{Float, 8, BytesOf<double>(3.25)}, TScalarCase{Currency, 8, BytesOf<double>(-0.5)},
                      TScalarCase{Largeint, 8, BytesOf<int64_t>(-9000000000000LL)},
                      TScalarCase{DateTime, 8, BytesOf<double>(45000.75)}, TScalarCase{Guid, 39, GuidText()}));

TEST(FieldData, DateAndTimeKindsKeepTheirPart) {
    TTestStore store({{Date, 8}, {Time, 8}, {DateTime, 8}});
    store.InitFields();
    Record rec(store);
    for (int i = 1; i <= 3; ++i) store.PutFieldData(i, rec, BytesOf(45000.75));
    auto read = [&](int fieldNo) {
        double value = 0;
        bool isNull = false;
        store.GetFieldData(fieldNo, rec, isNull, std::as_writable_bytes(std::span(&value, 1)));
        return value;
    };
    EXPECT_EQ(read(1), 45000.0);
    EXPECT_EQ(read(2), 0.75);
    EXPECT_EQ(read(3), 45000.75);
}

TEST(FieldData, BinaryKinds) {
    // binary(16) (16 + length slot), varbinary(31) inline (2 + 31 + 4), varbinary by reference.
    TTestStore store({{Bytes, 20, "b", 16}, {VarBytes, 37, "vb", 31}, {ExtVarBytes, 8, "rb", 200}}, true);
    store.InitFields();
    Record rec(store);
    std::vector<std::byte> value(16);
    for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::byte>(i * 17);
    store.PutFieldData(1, rec, value);
    store.PutFieldData(2, rec, std::span(value).first(5));
    std::vector<std::byte> longValue(150, std::byte{7});
    store.PutFieldData(3, rec, longValue);
    bool isNull = true;
    EXPECT_EQ(store.GetFieldBytes(1, rec, isNull), value);
    EXPECT_EQ(store.GetFieldBytes(2, rec, isNull), std::vector<std::byte>(value.begin(), value.begin() + 5));
    EXPECT_EQ(store.GetFieldBytes(3, rec, isNull), longValue);
    EXPECT_FALSE(isNull);

    std::vector<std::byte> dest(152);
    EXPECT_EQ(store.GetFieldData(3, rec, isNull, dest), 152u);  // 16-bit length and the bytes
    uint16_t length = 0;
    std::memcpy(&length, dest.data(), 2);
    EXPECT_EQ(length, 150);
    EXPECT_THROW(store.GetFieldData(3, rec, isNull, std::span(dest).first(151)), EDatabaseError);
    EXPECT_EQ(store.GetFieldData(2, rec, isNull, std::span(dest).first(37)), 37u);  // inline: as stored

    EXPECT_THROW(store.PutFieldData(1, rec, std::vector<std::byte>(17)), EDatabaseError);
    EXPECT_THROW(store.PutFieldData(2, rec, std::vector<std::byte>(32)), EDatabaseError);
    EXPECT_THROW(store.PutFieldData(3, rec, std::vector<std::byte>(65536)), EDatabaseError);
}

TEST(FieldData, ByReferenceValuesAreReleased) {
    TTestStore store({{ExtString, 4, "r", 40}});
    store.InitFields();
    Record rec(store);
    store.PutFieldString(1, rec, "first value");
    uint32_t firstRef = 0;
    std::memcpy(&firstRef, rec.Bytes.data(), 4);
    EXPECT_EQ(store.StringHeap().RefWord(firstRef), 101);
    store.PutFieldString(1, rec, "second value");  // replacing frees the first buffer
    EXPECT_EQ(store.StringHeap().RefWord(firstRef), 100);
    uint32_t secondRef = 0;
    std::memcpy(&secondRef, rec.Bytes.data(), 4);
    store.SetNull(1, rec, true);  // null drops the value and leaves a nil handle
    EXPECT_EQ(store.StringHeap().RefWord(secondRef), 100);
    uint32_t nowRef = 1;
    std::memcpy(&nowRef, rec.Bytes.data(), 4);
    EXPECT_EQ(nowRef, 0u);
    store.SetNull(1, rec, false);  // present with a nil handle reads as empty
    bool isNull = true;
    EXPECT_EQ(store.GetFieldString(1, rec, isNull), "");
    EXPECT_FALSE(isNull);
}

TEST(FieldData, BlobAndVariantFields) {
    TTestStore store({{Blob, 8}, {Memo, 8}, {Variant, 4}});
    store.InitFields();
    Record rec(store);
    auto blob = std::make_shared<TBlob>();
    blob->Write(0, std::vector<std::byte>(70000, std::byte{1}));
    store.PutFieldObject(1, rec, blob);
    auto memo = std::make_shared<TBlob>(true);
    store.PutFieldObject(2, rec, memo);
    store.PutFieldObject(3, rec, std::make_shared<TVariantObject>(TVariant{int32_t{42}}));
    EXPECT_EQ(store.SharedObjects().LiveCount(), 3u);
    EXPECT_EQ(store.GetFieldBlob(1, rec), blob);
    EXPECT_EQ(store.GetFieldBlob(1, rec)->Size(), 70000u);
    bool isNull = true;
    EXPECT_EQ(std::get<int32_t>(store.GetFieldVariant(3, rec, isNull)), 42);
    EXPECT_FALSE(isNull);

    store.PutFieldObject(2, rec, std::make_shared<TBlob>());  // the old memo is released
    EXPECT_EQ(store.SharedObjects().LiveCount(), 3u);
    store.SetNull(1, rec, true);
    EXPECT_EQ(store.SharedObjects().LiveCount(), 2u);
    EXPECT_EQ(store.GetFieldBlob(1, rec), nullptr);
    EXPECT_EQ(blob->Size(), 70000u);  // a holder keeps it alive

    EXPECT_THROW(store.PutFieldObject(3, rec, std::make_shared<TBlob>()), EAssertionError);
    EXPECT_THROW(store.PutFieldObject(1, rec, std::make_shared<TVariantObject>()), EAssertionError);
    EXPECT_THROW(store.PutFieldData(1, rec, std::vector<std::byte>(4)), EAssertionError);
    EXPECT_THROW(store.GetFieldBlob(3, rec), EAssertionError);
}

class NullTest : public ::testing::TestWithParam<TColumn> {};

TEST_P(NullTest, EveryKindCanBeNull) {
    for (const bool statusWords : {false, true}) {
        TTestStore store({{String, 1}, GetParam()}, statusWords);
        store.InitFields();
        Record rec(store);  // starts all null
        EXPECT_TRUE(store.GetNull(2, rec));
        EXPECT_EQ(store.GetStatus(2, rec), statusWords ? 3u : 1u);
        std::vector<std::byte> dest(store.MaxFieldDataSize(2) + 8, std::byte{0xAA});
        bool isNull = false;
        const size_t n = store.GetFieldData(2, rec, isNull, dest);
        EXPECT_TRUE(isNull);
        if (IsByReference(GetParam().Kind)) {
            EXPECT_EQ(n, 0u);  // nothing copied
            EXPECT_EQ(dest[0], std::byte{0xAA});
        }
        store.SetNull(2, rec, false);
        EXPECT_FALSE(store.GetNull(2, rec));
        EXPECT_EQ(store.GetStatus(2, rec), 0u);
        store.SetNull(2, rec, true);
        EXPECT_TRUE(store.GetNull(2, rec));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, NullTest,
                         ::testing::Values(TColumn{String, 11}, TColumn{Smallint, 2}, TColumn{Integer, 4},
                                           TColumn{Float, 8}, TColumn{Date, 8}, TColumn{Time, 8}, TColumn{DateTime, 8},
                                           TColumn{Word, 2}, TColumn{Boolean, 2}, TColumn{Largeint, 8},
                                           TColumn{Currency, 8}, TColumn{Blob, 8}, TColumn{Memo, 8},
                                           TColumn{Variant, 4}, TColumn{ExtString, 4}, TColumn{Bytes, 20, "b", 16},
                                           TColumn{VarBytes, 37, "vb", 31}, TColumn{ExtVarBytes, 8},
                                           TColumn{WideString, 22}, TColumn{ExtWideString, 4}, TColumn{BCD, 8},
                                           TColumn{FMTBCD, 34}, TColumn{Guid, 39}));

TEST(FieldData, ProviderStatusesOtherThanNullAreNotNull) {
    TTestStore store({{Integer, 4}}, true);
    store.InitFields();
    Record rec(store);
    const uint32_t truncated = 4;
    std::memcpy(rec.Bytes.data() + store.StatusOffset(1), &truncated, 4);
    EXPECT_EQ(store.GetStatus(1, rec), 4u);
    EXPECT_FALSE(store.GetNull(1, rec));
}

TEST(FieldData, FieldNumbersAndRecordSizesAreChecked) {
    TTestStore store({{Integer, 4}, {ExtString, 4}});
    store.InitFields();
    Record rec(store);
    std::vector<std::byte> dest(16);
    bool isNull = false;
    for (int bad : {0, -1, 3, 1000}) {
        EXPECT_THROW(store.GetFieldData(bad, rec, isNull, dest), EAssertionError) << bad;
        EXPECT_THROW(store.GetNull(bad, rec), EAssertionError);
        EXPECT_THROW(store.SetNull(bad, rec, true), EAssertionError);
        EXPECT_THROW(store.PutFieldData(bad, rec, dest), EAssertionError);
        EXPECT_THROW(store.MaxFieldDataSize(bad), EAssertionError);
    }
    std::vector<std::byte> shortRecord(store.RecordSize() - 1);
    EXPECT_THROW(store.GetFieldData(1, shortRecord, isNull, dest), EAssertionError);
    EXPECT_THROW(store.GetNull(1, shortRecord), EAssertionError);
    EXPECT_THROW(store.InitRecord(shortRecord), EAssertionError);
}

TEST(FieldData, GarbageRecordsNeverReadOutOfBounds) {
    // Records are plain bytes that PutRecord accepts from anywhere; handles in them are checked.
    TTestStore store({{String, 11, "s", 10, true},
                      {ExtString, 4},
                      {ExtWideString, 4},
                      {ExtVarBytes, 8},
                      {WideString, 9},
                      {Blob, 8},
                      {Variant, 4},
                      {VarBytes, 9},
                      {Date, 8}},
                     true);
    store.TrimFixedChar = true;
    store.ConvertEOL = true;
    store.OnOpen = [](TTestStore& s) {
        Record rec(s);
        s.PutFieldString(2, rec, "a real heap string");
        s.AppendRecord(rec);
    };
    store.Open();
    store.GetNextRecord({});
    std::mt19937 random(11);
    std::vector<std::byte> garbage(store.RecordSize());
    std::vector<std::byte> dest(4096);
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        for (auto& b : garbage) b = static_cast<std::byte>(random() % 4 == 0 ? 0 : random() & 0xFF);
        store.PutRecord(garbage);
        for (int f = 1; f <= store.FieldCount(); ++f) {
            bool isNull = false;
            try {
                store.GetFieldData(f, store.CurrentRecord(), isNull, dest);
                if (f == 6) store.GetFieldBlob(f, store.CurrentRecord());
                if (f == 7) store.GetFieldVariant(f, store.CurrentRecord(), isNull);
            } catch (const EAssertionError&) {
                ++rejected;
            }
        }
    }
    EXPECT_GT(rejected, 0);
}

TEST(FieldData, FreeDataDropsEveryValue) {
    TTestStore store({{ExtString, 4}, {Blob, 8}});
    store.OnOpen = [](TTestStore& s) {
        for (int i = 0; i < 50; ++i) {
            Record rec(s);
            s.PutFieldString(1, rec, std::string(100 + i * 50, 'z'));
            s.PutFieldObject(2, rec, std::make_shared<TBlob>());
            s.AppendRecord(rec);
        }
    };
    store.Open();
    EXPECT_TRUE(store.StringHeap().HasLargeBlocks());
    EXPECT_EQ(store.SharedObjects().LiveCount(), 50u);
    store.FreeData();
    EXPECT_EQ(store.StringHeap().AllocatedBytes(), 0u);
    EXPECT_EQ(store.SharedObjects().LiveCount(), 0u);
    EXPECT_EQ(store.BlockManager().BlockCount(), 0u);
    EXPECT_EQ(store.RecordCount(), 0);
    EXPECT_TRUE(store.IsEOF());
}

}  // namespace
