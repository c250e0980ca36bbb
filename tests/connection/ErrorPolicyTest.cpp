// The result check and the error policy on the scripted provider: one EMSError from several records,
// sub-errors, info messages, the fatal-error test, reconnect and close on a fatal error.
#include "tests/connection/Fixture.h"
#include "tests/support/ExpectThrows.h"

using namespace provider;

namespace {

// Opens c and then makes the next statement fail with the given error.
void FailNextStatement(scripted::Script& script, ErrorInfo error, HRESULT hr = DB_E_ERRORSINCOMMAND) {
    script.nextExecutions.push_back({hr, std::move(error)});
}

}  // namespace

TEST_F(FakeConnectionTest, SeveralRecordsMakeOneErrorInRecordOrderWithSubErrors) {
    auto first = scripted::ServerRecord(2627, "Violation of PRIMARY KEY constraint 'PK_user_auth'.", 14, 1);
    auto last = scripted::ServerRecord(3621, "The statement has been terminated.", 10, 2);
    last.procName = "ap_create";
    last.lineNumber = 7;
    auto info = scripted::MakeError(DB_E_ERRORSINCOMMAND, {first, std::nullopt, last}, "provider text");
    info.records[1].result = E_FAIL;
    info.records[1].interfaceId = InterfaceId::IRowset;
    TMSConnection c;
    c.Connect();
    FailNextStatement(script, info);
    const auto e = vactest::ExpectThrows<EMSError>(
        [&] { c.SetQuotedIdentifier(false); },
        "Violation of PRIMARY KEY constraint 'PK_user_auth'.\r\nThe statement has been terminated.");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 3621);
    EXPECT_EQ(e->ErrorCode, 3621);
    EXPECT_EQ(e->ServerMessage, "The statement has been terminated.");
    EXPECT_EQ(e->ProcName, "ap_create");
    EXPECT_EQ(e->LineNumber, 7);
    EXPECT_EQ(e->State, 2);
    EXPECT_EQ(e->SeverityClass, 10);
    EXPECT_EQ(e->ServerName, "FAKE");
    EXPECT_EQ(e->OLEDBErrorCode, DB_E_ERRORSINCOMMAND);
    ASSERT_EQ(e->Errors.Count(), 3);
    auto* sub0 = dynamic_cast<EMSError*>(&e->Errors[0]);
    ASSERT_NE(sub0, nullptr);
    EXPECT_EQ(sub0->Message, first.message);
    EXPECT_EQ(sub0->NativeError, 2627);
    EXPECT_EQ(dynamic_cast<EMSError*>(&e->Errors[1]), nullptr);
    EXPECT_EQ(e->Errors[1].Message, "provider text #1");
    EXPECT_EQ(e->Errors[1].ErrorCode, DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(e->Errors[1].OLEDBErrorCode, E_FAIL);
    EXPECT_EQ(e->Errors[1].ErrorInterface, InterfaceId::IRowset);
    EXPECT_NE(dynamic_cast<EMSError*>(&e->Errors[2]), nullptr);

    // Copies duplicate the sub-errors with their classes.
    EMSError copy = *e;
    ASSERT_EQ(copy.Errors.Count(), 3);
    EXPECT_NE(&copy.Errors[0], &e->Errors[0]);
    EXPECT_NE(dynamic_cast<EMSError*>(&copy.Errors[0]), nullptr);
}

TEST_F(FakeConnectionTest, ErrorsWithoutServerRecords) {
    struct Case {
        const char* name;
        std::optional<ErrorInfo> info;
        HRESULT hr;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"description", scripted::MakeError(E_FAIL, {std::nullopt}, "Driver failure"), E_FAIL, "Driver failure"},
        {"no error object", std::nullopt, MakeResult(0x80040E4D), "OLE DB error occured. Code 80040E4Dh"},
        {"success code", std::nullopt, DB_S_ERRORSOCCURRED, "OLE DB error occured. Code 40EDAh"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        TMSConnection c;
        c.Connect();
        script.nextExecutions.push_back({k.hr, k.info});
        const auto e = vactest::ExpectThrows<EOLEDBError, vactest::Not<EMSError>>([&] { c.SetQuotedIdentifier(false); },
                                                                                  k.message);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->ErrorCode, k.hr);
        EXPECT_EQ(e->OLEDBErrorCode, k.hr);
        EXPECT_TRUE(c.Connected()) << "not fatal";
    }
}

TEST(FatalErrorTest, OnlyServerErrorsOfTheseKindsAreFatal) {
    struct Case {
        uint8_t severity;
        uint8_t state;
        int32_t native;
        bool fatal;
    };
    const std::vector<Case> cases = {
        {20, 0, 50000, true}, {25, 9, 1, true},  {16, 1, 17, true},     {16, 1, 11, true},     {16, 1, 18, false},
        {16, 2, 17, false},   {15, 1, 5, false}, {19, 1, 50000, false}, {14, 1, 18456, false},
    };
    for (const auto& k : cases) {
        auto record = scripted::ServerRecord(k.native, "x", k.severity, k.state);
        EXPECT_EQ(TCustomDAConnection::IsFatalError(EMSError(record, "x")), k.fatal)
            << int(k.severity) << "/" << int(k.state) << "/" << k.native;
    }
    EXPECT_FALSE(TCustomDAConnection::IsFatalError(EOLEDBError(E_FAIL, "x")));
    EXPECT_FALSE(TCustomDAConnection::IsFatalError(EDAError(20, "x")));
}

TEST_F(FakeConnectionTest, FatalErrorWithNothingOpenReconnectsAndStillRaises) {
    TMSConnection c;
    c.Connect();
    script.ClearLog();
    FailNextStatement(script, scripted::MakeError(E_FAIL, {Fatal()}));
    EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(script.Count("uninitialize"), 1);
    EXPECT_EQ(script.Count("initialize"), 1);
}

TEST_F(FakeConnectionTest, FatalErrorWithAnOpenClientNeitherReconnectsNorCloses) {
    struct Case {
        const char* name;
        bool active, holdsRowset, prepared;
    };
    for (const auto& k : std::vector<Case>{{"open dataset", true, false, false},
                                           {"dataset holding a rowset", false, true, false},
                                           {"prepared command", false, false, true}}) {
        SCOPED_TRACE(k.name);
        RecordingDataSet ds;
        RecordingCommand cmd;
        TMSConnection c;
        c.RegisterClient(&ds);
        c.RegisterClient(&cmd);
        c.Connect();
        ds.active = k.active;
        ds.holdsRowset = k.holdsRowset;
        cmd.prepared = k.prepared;
        script.ClearLog();
        FailNextStatement(script, scripted::MakeError(E_FAIL, {Fatal(50000, 21)}));
        EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
        EXPECT_TRUE(c.Connected());
        EXPECT_EQ(script.Count("uninitialize"), 0);
        EXPECT_EQ(script.Count("initialize"), 0);
        c.UnRegisterClient(&ds);
        c.UnRegisterClient(&cmd);
    }
}

// With the link gone, keeping the connection for an open client would leave it reading open on a link
// that can never carry anything again: it closes instead.
TEST_F(FakeConnectionTest, FatalErrorOnALostLinkWithAnOpenClientCloses) {
    RecordingDataSet ds;
    TMSConnection c;
    c.RegisterClient(&ds);
    c.Connect();
    ds.active = true;
    script.ClearLog();
    script.linkLost = true;
    FailNextStatement(script,
                      scripted::MakeError(E_FAIL, {scripted::ServerRecord(11, "Communication link failure", 16, 1)}));
    EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(script.Count("initialize"), 0) << "not reopened behind the open client's back";
    c.UnRegisterClient(&ds);
}

TEST_F(FakeConnectionTest, FatalErrorInATransactionClosesWithoutRollback) {
    TMSConnection c;
    c.Connect();
    c.StartTransaction();
    script.ClearLog();
    FailNextStatement(script,
                      scripted::MakeError(E_FAIL, {scripted::ServerRecord(11, "General network error.", 16, 1)}));
    EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
    EXPECT_FALSE(c.Connected());
    EXPECT_FALSE(c.InTransaction());
    EXPECT_EQ(script.Count("abort"), 0);
    EXPECT_EQ(script.Count("initialize"), 0);
}

TEST_F(FakeConnectionTest, FailedReconnectClosesTheComponent) {
    TMSConnection c;
    c.Connect();
    FailNextStatement(script, scripted::MakeError(E_FAIL, {Fatal()}));
    script.initialize = {E_FAIL,
                         scripted::MakeError(E_FAIL, {scripted::ServerRecord(17, "Server does not exist.", 16, 1)})};
    const auto e = vactest::ExpectThrows<EMSError>([&] { c.SetQuotedIdentifier(false); }, ::testing::_);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 4014) << "the original error is raised";
    EXPECT_FALSE(c.Connected());
    script.initialize = {};
    c.Connect();
    EXPECT_TRUE(c.Connected());
}

TEST_F(FakeConnectionTest, OnErrorSeesTheErrorAndMayTurnItIntoASilentAbort) {
    TMSConnection c;
    c.Connect();
    int calls = 0;
    c.OnError = [&](TCustomConnection* sender, EDAError& e, bool& fail) {
        ++calls;
        EXPECT_EQ(sender, &c);
        EXPECT_EQ(e.ErrorCode, 208);
        fail = false;
    };
    FailNextStatement(script, scripted::MakeError(E_FAIL, {scripted::ServerRecord(208, "Invalid object name 'x'.")}));
    EXPECT_THROW(c.SetQuotedIdentifier(false), EAbort);
    EXPECT_EQ(calls, 1);
}

TEST_F(FakeConnectionTest, InfoMessagesReachOnInfoMessageWithoutRaising) {
    TMSConnection c;
    std::vector<std::string> seen;
    c.OnInfoMessage = [&](TMSConnection* sender, EMSError& e) {
        EXPECT_EQ(sender, &c);
        seen.push_back(e.Message);
    };
    c.Connect();
    script.nextExecutions.push_back(
        {S_OK, scripted::MakeError(S_OK, {scripted::ServerRecord(5701, "Changed database context to 'lin2db'.", 0)})});
    c.SetQuotedIdentifier(false);
    EXPECT_EQ(seen, (std::vector<std::string>{"Changed database context to 'lin2db'."}));
    EXPECT_FALSE(c.QuotedIdentifier());
}
