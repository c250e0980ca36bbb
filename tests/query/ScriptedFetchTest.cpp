// The record set on a scripted provider: what no server shows on demand.
#include "data/MSQuery.h"
#include "tests/support/ExpectThrows.h"
#include "tests/support/ScriptedProvider.h"

#include <gtest/gtest.h>

namespace {

using namespace provider;

class ScriptedFetchTest : public ::testing::Test {
protected:
    ScriptedFetchTest() : scriptedProvider(script), scope(scriptedProvider) {
        connection.SetServer("scripted");
        query.SetConnection(&connection);
        query.SQL().SetText("SELECT a FROM t");
    }

    scripted::Script script;
    scripted::Provider scriptedProvider;
    ScopedProvider scope;
    TMSConnection connection;
    TMSQuery query;
};

TEST_F(ScriptedFetchTest, ColumnOfAnUnknownTypeRaisesAndNothingIsFetched) {
    script.columns = {scripted::Column("a", 1, DBTYPE_I4), scripted::Column("big", 2, DBTYPE_UI8, 8)};
    int fetches = 0;
    script.fetch = [&](auto&, auto*, size_t, size_t, size_t&) {
        ++fetches;
        return DB_S_ENDOFROWSET;
    };
    vactest::ExpectThrows<Exception>([&] { query.Open(); }, "Unknown field type \"big\" (OLE DB code = 15h)");
    EXPECT_EQ(fetches, 0);
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(script.liveRowsets, 0);
    EXPECT_EQ(query.OLEDBRecordSet().Command().InterfaceUseCount(), 0);
}

TEST_F(ScriptedFetchTest, FailingFetchAppendsOneLinePerFieldWithAnErrorStatus) {
    script.columns = {scripted::Column("a", 1, DBTYPE_I4), scripted::Column("b", 2, DBTYPE_I4),
                      scripted::Column("", 3, DBTYPE_I4), scripted::Column("d", 4, DBTYPE_I4)};
    script.fetch = [](const std::vector<Binding>& b, std::byte* rows, size_t rowSize, size_t, size_t& fetched) {
        scripted::PutInt32(b, rows, rowSize, 0, 1, 5);
        scripted::PutStatus(b, rows, rowSize, 0, 2, DBSTATUS_E_DATAOVERFLOW);
        scripted::PutStatus(b, rows, rowSize, 0, 3, DBSTATUS_E_CANTCONVERTVALUE);
        scripted::PutStatus(b, rows, rowSize, 0, 4, DBSTATUS_S_ISNULL);
        fetched = 0;
        scripted::PostError(E_FAIL, "Errors occurred while reading the row.");
        return E_FAIL;
    };
    vactest::ExpectThrows<Exception>([&] { query.Open(); },
                                     "Errors occurred while reading the row.\n"
                                     "Field[1] :b - data overflow (Status = 6h).\n"
                                     "Field[2] :_0 - invalid Value (Status = 2h).");
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(script.liveRowsets, 0);
}

TEST_F(ScriptedFetchTest, ErrorsOccurredAloneIsDroppedAndTheStatusesStay) {
    script.columns = {scripted::Column("a", 1, DBTYPE_I4), scripted::Column("b", 2, DBTYPE_I4)};
    int call = 0;
    script.fetch = [&](const std::vector<Binding>& b, std::byte* rows, size_t rowSize, size_t, size_t& fetched) {
        if (call++ > 0) return DB_S_ENDOFROWSET;
        for (size_t r = 0; r < 2; ++r) {
            scripted::PutInt32(b, rows, rowSize, r, 1, static_cast<int32_t>(r + 1));
            scripted::PutInt32(b, rows, rowSize, r, 2, 7, r == 1 ? DBSTATUS_E_CANTCONVERTVALUE : DBSTATUS_S_OK);
        }
        fetched = 2;
        return DB_S_ERRORSOCCURRED;
    };
    query.Open();
    ASSERT_EQ(query.RecordCount(), 2);
    query.Next();
    EXPECT_EQ(query.Fields()[0].AsInteger(), 2);
    const auto& rs = query.OLEDBRecordSet();
    EXPECT_EQ(rs.GetStatus(2, rs.CurrentRecord()), DBSTATUS_E_CANTCONVERTVALUE);
    EXPECT_EQ(script.liveRowsets, 0);
}

TEST_F(ScriptedFetchTest, AnOpenHoldsTheCommandInterfacesUntilClose) {
    script.columns = {scripted::Column("a", 1, DBTYPE_I4)};
    query.Open();
    EXPECT_EQ(query.OLEDBRecordSet().Command().InterfaceUseCount(), 1);
    query.Close();
    EXPECT_EQ(query.OLEDBRecordSet().Command().InterfaceUseCount(), 0);
    query.Execute();
    EXPECT_TRUE(query.Active());
    EXPECT_EQ(query.OLEDBRecordSet().Command().InterfaceUseCount(), 1);
    EXPECT_EQ(script.Executed().size(), 2u);
}

struct NumericCase {
    std::string providerVersion;
    uint8_t precision;
    uint16_t kind;
};

class OldProviderTest : public ScriptedFetchTest, public ::testing::WithParamInterface<NumericCase> {};

TEST_P(OldProviderTest, NumericOfPrecision19BecomesInt64BeforeVersion8) {
    script.info.providerVersion = GetParam().providerVersion;
    auto column = scripted::Column("n", 1, DBTYPE_NUMERIC, 19);
    column.precision = GetParam().precision;
    script.columns = {column};
    query.Open();
    EXPECT_EQ(query.OLEDBRecordSet().FieldDesc(1).DataType, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Versions, OldProviderTest,
                         ::testing::Values(NumericCase{"07.00.0623", 19, DataKind::Largeint},
                                           NumericCase{"07.00.0623", 18, DataKind::Float},
                                           NumericCase{"08.00.0194", 19, DataKind::Float}));

TEST_F(ScriptedFetchTest, NotInitialisedFromAVersion7ProviderEndsTheFetch) {
    script.info.providerVersion = "07.00.0623";
    script.columns = {scripted::Column("a", 1, DBTYPE_I4)};
    script.fetch = [](const std::vector<Binding>& b, std::byte* rows, size_t rowSize, size_t, size_t& fetched) {
        scripted::PutInt32(b, rows, rowSize, 0, 1, 9);
        fetched = 1;
        return DB_E_NOTINITIALIZED;
    };
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1);
    EXPECT_EQ(query.Fields()[0].AsInteger(), 9);

    query.Close();
    script.info.providerVersion = "09.00.3042";
    connection.Disconnect();
    EXPECT_THROW(query.Open(), EOLEDBError);
}

}  // namespace
