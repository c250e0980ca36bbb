// Record layout, unique field names and name lookup.
#include "StoreFixture.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

using namespace DataKind;

struct TLayoutCase {
    const char* Title;
    std::vector<TColumn> Columns;
    bool StatusWords;
    std::vector<uint32_t> Offsets;
    uint32_t DataSize;
    uint32_t RecordSize;
};

void PrintTo(const TLayoutCase& c, std::ostream* os) { *os << c.Title; }

class LayoutTest : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(LayoutTest, OffsetsAndSizes) {
    const TLayoutCase& c = GetParam();
    TTestStore store(c.Columns, c.StatusWords);
    store.InitFields();
    ASSERT_EQ(store.FieldCount(), static_cast<int>(c.Offsets.size()));
    for (size_t i = 0; i < c.Offsets.size(); ++i) EXPECT_EQ(store.Fields()[i].Offset, c.Offsets[i]) << "field " << i;
    EXPECT_EQ(store.DataSize(), c.DataSize);
    EXPECT_EQ(store.RecordSize(), c.RecordSize);
    EXPECT_EQ(store.RecordSize() % 2, 1u);
    EXPECT_EQ(store.BlockManager().RecordSize(), c.RecordSize);
    EXPECT_EQ(store.BlockItemSize() % 2, 0u);  // header plus record
}

INSTANTIATE_TEST_SUITE_P(
    Records, LayoutTest,
    ::testing::Values(
        TLayoutCase{"ten data bytes, two status words", {{Integer, 4}, {String, 6}}, true, {0, 4}, 10, 19},
        TLayoutCase{
            "nine data bytes, three status words", {{Smallint, 2}, {Integer, 4}, {String, 3}}, true, {0, 2, 6}, 9, 21},
        TLayoutCase{"plain store, one status byte per field", {{Integer, 4}, {String, 6}}, false, {0, 4}, 10, 13},
        TLayoutCase{"wide string at odd offset moves to even", {{String, 3}, {WideString, 6}}, false, {0, 4}, 10, 13},
        TLayoutCase{"wide string already even", {{Smallint, 2}, {WideString, 4}}, false, {0, 2}, 6, 9},
        TLayoutCase{"wide string by reference stays odd", {{String, 1}, {ExtWideString, 4}}, false, {0, 1}, 5, 7},
        TLayoutCase{"two wide strings after odd data",
                    {{String, 2}, {String, 1}, {WideString, 4}, {String, 1}, {WideString, 2}},
                    false,
                    {0, 2, 4, 8, 10},
                    12,
                    17},
        TLayoutCase{"varchar(14) and int", {{String, 15}, {Integer, 4}}, true, {0, 15}, 19, 27},
        TLayoutCase{"no fields", {}, false, {}, 0, 1}),
    [](const auto& info) {
        std::string name = info.param.Title;
        std::replace_if(
            name.begin(), name.end(), [](char ch) { return !isalnum(static_cast<unsigned char>(ch)); }, '_');
        return name;
    });

TEST(Layout, FieldTooSmallForItsKindIsRefused) {
    // A heap handle needs four bytes; a field with fewer would make reads leave the field.
    for (const TColumn& column :
         {TColumn{ExtString, 2}, TColumn{Integer, 3}, TColumn{Blob, 1}, TColumn{WideString, 1}}) {
        TTestStore store({column});
        EXPECT_THROW(store.InitFields(), EAssertionError) << column.Kind;
    }
}

TEST(Layout, DescriptorEditedAfterLayoutIsCaught) {
    TTestStore store({{Integer, 4}, {Integer, 4}});
    store.InitFields();
    std::vector<std::byte> record(store.RecordSize());
    store.Fields()[1].Offset = 100;  // would read past the record
    bool isNull = false;
    int32_t v = 0;
    EXPECT_THROW(store.GetFieldData(2, record, isNull, std::as_writable_bytes(std::span(&v, 1))), EAssertionError);
}

// ---------------------------------------------------------------------------------------------------

std::vector<std::string> Unique(const std::vector<std::string>& names) {
    TFieldDescs fields;
    uint16_t n = 1;
    for (const auto& name : names) fields.Add(MakeDesc({Integer, 4, name}, n++));
    MakeUniqueFieldNames(fields);
    std::vector<std::string> result;
    for (const auto& f : fields) result.push_back(f->Name);
    return result;
}

struct TNamesCase {
    std::vector<std::string> In;
    std::vector<std::string> Out;
};

void PrintTo(const TNamesCase& c, std::ostream* os) {
    for (const auto& n : c.In) *os << '"' << n << "\" ";
}

class UniqueNamesTest : public ::testing::TestWithParam<TNamesCase> {};

TEST_P(UniqueNamesTest, Renames) { EXPECT_EQ(Unique(GetParam().In), GetParam().Out); }

INSTANTIATE_TEST_SUITE_P(Names, UniqueNamesTest,
                         ::testing::Values(TNamesCase{{"x", "x"}, {"x", "x_1"}},
                                           TNamesCase{{"x", "x", "x"}, {"x", "x_1", "x_2"}},
                                           TNamesCase{{"a", "b"}, {"a", "b"}}, TNamesCase{{""}, {"_0"}},
                                           TNamesCase{{"", "", ""}, {"_0", "_1", "_2"}},
                                           TNamesCase{{"a", "b", "a", "b"}, {"a", "b", "a_1", "b_1"}},
                                           TNamesCase{{"ID", "id"}, {"ID", "id_1"}},
                                           TNamesCase{{"b", "a", "b", "a", "a"}, {"b", "a", "b_1", "a_1", "a_2"}},
                                           // The second x becomes x_1, which pushes the column really named x_1 aside.
                                           TNamesCase{{"x", "x", "x_1"}, {"x", "x_1", "x_1_1"}},
                                           TNamesCase{{"x_1", "x", "x"}, {"x_1_1", "x", "x_1"}},
                                           TNamesCase{{"x", "x", "x_1", "x_1_1"}, {"x", "x_1", "x_1_2", "x_1_1"}},
                                           TNamesCase{{"a_5", "a_5"}, {"a_5", "a_5_1"}},
                                           // One nameless column must not shift the names of the next duplicate group.
                                           TNamesCase{{"", "x", "x"}, {"_0", "x", "x_1"}},
                                           TNamesCase{{"x", "", "x", ""}, {"x", "_0", "x_1", "_1"}},
                                           TNamesCase{{"_0", ""}, {"_0_1", "_0"}}));

TEST(UniqueNames, AnyMixEndsUniqueAndKeepsOriginalAsPrefix) {
    const std::vector<std::string> pool = {"x", "X", "x_1", "", "y", "x_1_1", "_0", "_1", "y_2"};
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> names(1 + random() % 9);
        for (auto& n : names) n = pool[random() % pool.size()];
        const auto out = Unique(names);
        std::set<std::string> seen;
        for (size_t i = 0; i < out.size(); ++i) {
            std::string folded = out[i];
            for (auto& ch : folded) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
            EXPECT_TRUE(seen.insert(folded).second) << "duplicate " << out[i] << " in round " << round;
            EXPECT_EQ(out[i].rfind(names[i], 0), 0u) << names[i] << " -> " << out[i];
        }
    }
}

TEST(UniqueNames, SubFieldsAreLeftAlone) {
    TFieldDescs fields;
    TFieldDesc& parent = fields.Add(MakeDesc({Integer, 4, "x"}, 1));
    TFieldDesc& child = fields.Add(MakeDesc({Integer, 4, "x"}, 2));
    child.ParentField = &parent;
    MakeUniqueFieldNames(fields);
    EXPECT_EQ(parent.Name, "x");
    EXPECT_EQ(child.Name, "x");
}

TEST(UniqueNames, InitFieldsAppliesThem) {
    TTestStore store({{Integer, 4, "x"}, {Integer, 4, "x"}});
    store.InitFields();
    EXPECT_EQ(store.Fields()[0].Name, "x");
    EXPECT_EQ(store.Fields()[1].Name, "x_1");
    EXPECT_EQ(store.Fields()[1].ActualName, "x");
}

// ---------------------------------------------------------------------------------------------------

TEST(FieldLookup, Rules) {
    TFieldDescs fields;
    TFieldDesc& account = fields.Add(MakeDesc({Integer, 4, "account"}, 1));
    TFieldDesc& accented = fields.Add(MakeDesc({Integer, 4, "\xC9t\xE9"}, 2));  // Été
    TFieldDesc& object = fields.Add(MakeDesc({Integer, 4, "obj"}, 3));
    TFieldDesc& sub = fields.Add(MakeDesc({Integer, 4, "part"}, 4));
    sub.ParentField = &object;
    sub.ActualName = "obj.part";
    TFieldDesc& shadow = fields.Add(MakeDesc({Integer, 4, "shadow"}, 5));
    TFieldDesc& shadowSub = fields.Add(MakeDesc({Integer, 4, "Shadow"}, 6));
    shadowSub.ParentField = &object;

    EXPECT_EQ(fields.FindField("ACCOUNT"), &account);
    EXPECT_EQ(fields.FindField("\xE9T\xC9"), &accented);  // Windows-1252 case folding
    EXPECT_EQ(fields.FindField("part"), &sub);            // sub-fields after top-level ones
    EXPECT_EQ(fields.FindField("SHADOW"), &shadow);       // the top-level field wins
    EXPECT_EQ(fields.FindField("OBJ.PART"), &sub);        // a dotted name goes by actual names
    EXPECT_EQ(fields.FindField("account."), nullptr);
    EXPECT_EQ(fields.FindField("nope"), nullptr);
    EXPECT_EQ(&fields.FieldByName("Account"), &account);
    vactest::ExpectThrows<EDatabaseError>([&] { fields.FieldByName("nope"); }, "Field nope not found.");
    EXPECT_THROW(fields[6], EDatabaseError);
}

TEST(FieldLookup, CompareFieldNames) {
    EXPECT_EQ(CompareFieldNames("abc", "ABC"), 0);
    EXPECT_LT(CompareFieldNames("ab", "abc"), 0);
    EXPECT_GT(CompareFieldNames("b", "A"), 0);
    EXPECT_EQ(CompareFieldNames("\x9A\xFF", "\x8A\x9F"), 0);  // š ÿ / Š Ÿ
    EXPECT_NE(CompareFieldNames("\xF7", "\xD7"), 0);          // ÷ and × are not a case pair
}

}  // namespace
