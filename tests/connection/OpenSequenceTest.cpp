// Opening and closing TMSConnection on the scripted provider: provider classes, the property sets in
// order, refusals, old providers, the uninitialised run-time, and what a failed open leaves behind.
#include "tests/connection/Fixture.h"
#include "tests/support/ExpectThrows.h"

#include <filesystem>
#include <fstream>

using namespace provider;

namespace {

const Property* Find(const PropertySet& set, PropertyId id, int n = 0) {
    for (const auto& p : set.properties) {
        if (p.id == id && n-- == 0) return &p;
    }
    return nullptr;
}

std::string Str(const Property* p) { return p ? std::get<std::string>(p->value) : "<missing>"; }

std::string ProgramName() { return std::filesystem::read_symlink("/proc/self/exe").filename().string(); }

}  // namespace

TEST_F(FakeConnectionTest, EmptyProviderTriesNativeClientThenOlderClass) {
    script.registered = {"SQLOLEDB.1"};
    TMSConnection c;
    c.Connect();
    EXPECT_TRUE(c.Connected());
    ASSERT_GE(script.log.size(), 2u);
    EXPECT_EQ(script.log[0], "create SQLNCLI.1");
    EXPECT_EQ(script.log[1], "create SQLOLEDB.1");
}

TEST_F(FakeConnectionTest, ProviderClassSelection) {
    struct Case {
        std::string option;
        std::set<std::string> registered;
        std::vector<std::string> creates;
        std::string error;  // empty: opens
    };
    const std::vector<Case> cases = {
        {"", {}, {"create SQLNCLI.1", "create SQLOLEDB.1"}, "MS SQL not found"},
        {"", {"SQLNCLI.1", "SQLOLEDB.1"}, {"create SQLNCLI.1"}, ""},
        {"sqloledb.1", {"SQLNCLI.1", "SQLOLEDB.1"}, {"create SQLOLEDB.1"}, ""},
        {"SQLNCLI.1", {"SQLOLEDB.1"}, {"create SQLNCLI.1"}, "MS SQL not found"},
        {"MSDASQL.1", {"SQLNCLI.1", "SQLOLEDB.1"}, {}, "Bad provider name"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE("Provider=" + k.option);
        script.ClearLog();
        script.registered = k.registered;
        TMSConnection c;
        c.Options().SetProvider(k.option);
        if (k.error.empty()) {
            c.Connect();
            EXPECT_TRUE(c.Connected());
        } else {
            vactest::ExpectThrows<EDatabaseError, vactest::Not<EOLEDBError>>([&] { c.Connect(); }, k.error);
            EXPECT_FALSE(c.Connected());
        }
        std::vector<std::string> creates;
        for (const auto& entry : script.log) {
            if (entry.rfind("create ", 0) == 0) creates.push_back(entry);
        }
        EXPECT_EQ(creates, k.creates);
    }
}

TEST_F(FakeConnectionTest, OpenSendsEveryPropertyInOrderWithItsFlag) {
    TMSConnection c;
    c.SetServer("db1,1500");
    c.SetUsername("gm");
    c.SetPassword("pw");
    c.Connect();

    const PropertySet* init = SetAt(PropertySetId::DBInit);
    ASSERT_NE(init, nullptr);
    struct Expected {
        PropertyId id;
        uint32_t options;
        PropertyValue value;
    };
    const std::vector<Expected> expected = {
        {DBPROP_INIT_DATASOURCE, DBPROPOPTIONS_OPTIONAL, std::string("db1,1500")},
        {DBPROP_INIT_CATALOG, DBPROPOPTIONS_OPTIONAL, std::string("master")},
        {DBPROP_INIT_TIMEOUT, DBPROPOPTIONS_REQUIRED, int32_t{15}},
        {DBPROP_AUTH_USERID, DBPROPOPTIONS_OPTIONAL, std::string("gm")},
        {DBPROP_AUTH_PASSWORD, DBPROPOPTIONS_OPTIONAL, std::string("pw")},
        {DBPROP_INIT_PROMPT, DBPROPOPTIONS_OPTIONAL, int16_t{DBPROMPT_NOPROMPT}},
        {DBPROP_INIT_HWND, DBPROPOPTIONS_REQUIRED, int32_t{0}},
    };
    ASSERT_EQ(init->properties.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(init->properties[i].id, expected[i].id);
        EXPECT_EQ(init->properties[i].options, expected[i].options);
        EXPECT_EQ(init->properties[i].value, expected[i].value);
    }

    const PropertySet* ss = SetAt(PropertySetId::SQLServerDBInit, 0);
    ASSERT_NE(ss, nullptr);
    ASSERT_EQ(ss->properties.size(), 2u);  // no WSID, no language by default
    EXPECT_EQ(ss->properties[0].id, SSPROP_INIT_APPNAME);
    EXPECT_EQ(Str(&ss->properties[0]), ProgramName());
    EXPECT_EQ(ss->properties[1].id, SSPROP_INIT_AUTOTRANSLATE);
    EXPECT_EQ(ss->properties[1].value, PropertyValue(true));
    EXPECT_EQ(ss->properties[1].options, DBPROPOPTIONS_REQUIRED);

    const PropertySet* packet = SetAt(PropertySetId::SQLServerDBInit, 1);
    ASSERT_NE(packet, nullptr);
    ASSERT_EQ(packet->properties.size(), 1u);
    EXPECT_EQ(packet->properties[0].id, SSPROP_INIT_PACKETSIZE);
    EXPECT_EQ(packet->properties[0].value, PropertyValue(int32_t{4096}));
    EXPECT_EQ(SetAt(PropertySetId::SQLServerDBInit, 2), nullptr);  // no encryption, no network library

    const PropertySet* session = SetAt(PropertySetId::Session);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->properties[0].id, DBPROP_SESS_AUTOCOMMITISOLEVELS);
    EXPECT_EQ(session->properties[0].value, PropertyValue(ISOLATIONLEVEL_READCOMMITTED));
    EXPECT_EQ(session->properties[0].options, DBPROPOPTIONS_REQUIRED);

    // The order of the calls themselves.
    std::vector<std::string> calls;
    for (const auto& e : script.log) {
        if (e.rfind("set ", 0) == 0 || e == "initialize" || e == "session") calls.push_back(e);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"set DBInit", "set SQLServerDBInit", "set SQLServerDBInit", "initialize",
                                               "set DataSource", "session", "set Session"}));
    EXPECT_EQ(c.OLEDBConnection()->ProviderPrimaryVer(), 9);
    EXPECT_EQ(c.OLEDBConnection()->DBMSPrimaryVer(), 10);
}

TEST_F(FakeConnectionTest, LoginPropertiesByAuthenticationAndCredentials) {
    struct Case {
        const char* name;
        TMSAuthentication auth;
        std::string user, password, server;
        std::vector<std::pair<PropertyId, std::string>> expected;
        std::vector<PropertyId> absent;
    };
    const std::vector<Case> cases = {
        {"both empty logs in as sa",
         TMSAuthentication::auServer,
         "",
         "",
         "",
         {{DBPROP_AUTH_USERID, "sa"}, {DBPROP_INIT_DATASOURCE, "(local)"}},
         {DBPROP_AUTH_PASSWORD, DBPROP_AUTH_INTEGRATED}},
        {"only a password",
         TMSAuthentication::auServer,
         "",
         "secret",
         ".",
         {{DBPROP_AUTH_USERID, ""}, {DBPROP_AUTH_PASSWORD, "secret"}, {DBPROP_INIT_DATASOURCE, "."}},
         {DBPROP_AUTH_INTEGRATED}},
        {"windows",
         TMSAuthentication::auWindows,
         "ignored",
         "ignored",
         "h\\inst",
         {{DBPROP_AUTH_INTEGRATED, ""}, {DBPROP_INIT_DATASOURCE, "h\\inst"}},
         {DBPROP_AUTH_USERID, DBPROP_AUTH_PASSWORD}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        script.ClearLog();
        TMSConnection c;
        c.SetAuthentication(k.auth);
        c.SetUsername(k.user);
        c.SetPassword(k.password);
        c.SetServer(k.server);
        c.Connect();
        const PropertySet* init = SetAt(PropertySetId::DBInit);
        ASSERT_NE(init, nullptr);
        for (const auto& [id, value] : k.expected) EXPECT_EQ(Str(Find(*init, id)), value) << id;
        for (PropertyId id : k.absent) EXPECT_EQ(Find(*init, id), nullptr) << id;
    }
}

TEST_F(FakeConnectionTest, OptionalServerSettingsEachInTheirPlace) {
    TMSConnection c;
    c.Options().SetWorkstationID("WS1");
    c.Options().SetApplicationName("Vantor");
    c.Options().SetLanguage("Deutsch");
    c.Options().SetAutoTranslate(false);
    c.Options().SetEncrypt(true);
    c.Options().SetNetworkLibrary("dbmssocn");
    c.Options().SetPacketSize(8192);
    c.SetConnectionTimeout(3);
    c.SetIsolationLevel(TIsolationLevel::ilIsolated);
    c.SetDatabase("lin2db");
    c.Connect();

    const PropertySet* init = SetAt(PropertySetId::DBInit);
    EXPECT_EQ(Find(*init, DBPROP_INIT_TIMEOUT)->value, PropertyValue(int32_t{3}));
    EXPECT_EQ(Str(Find(*init, DBPROP_INIT_CATALOG)), "lin2db");
    const PropertySet* ss = SetAt(PropertySetId::SQLServerDBInit, 0);
    ASSERT_EQ(ss->properties.size(), 4u);
    EXPECT_EQ(Str(&ss->properties[0]), "WS1");
    EXPECT_EQ(Str(&ss->properties[1]), "Vantor");
    EXPECT_EQ(ss->properties[2].id, SSPROP_INIT_CURRENTLANGUAGE);
    EXPECT_EQ(ss->properties[2].options, DBPROPOPTIONS_REQUIRED);
    EXPECT_EQ(ss->properties[3].value, PropertyValue(false));
    const std::vector<std::pair<PropertyId, uint32_t>> singles = {{SSPROP_INIT_ENCRYPT, DBPROPOPTIONS_OPTIONAL},
                                                                  {SSPROP_INIT_NETWORKLIBRARY, DBPROPOPTIONS_REQUIRED},
                                                                  {SSPROP_INIT_PACKETSIZE, DBPROPOPTIONS_REQUIRED}};
    for (size_t i = 0; i < singles.size(); ++i) {
        const PropertySet* s = SetAt(PropertySetId::SQLServerDBInit, static_cast<int>(i) + 1);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->properties.size(), 1u);
        EXPECT_EQ(s->properties[0].id, singles[i].first);
        EXPECT_EQ(s->properties[0].options, singles[i].second);
    }
    EXPECT_EQ(SetAt(PropertySetId::Session)->properties[0].value, PropertyValue(ISOLATIONLEVEL_ISOLATED));
}

TEST_F(FakeConnectionTest, RefusedPropertySetListsEveryRefusedPropertyInIndexOrder) {
    script.refuse[{PropertySetId::DBInit, DBPROP_INIT_TIMEOUT}] = DBPROPSTATUS_BADVALUE;   // index 2
    script.refuse[{PropertySetId::DBInit, DBPROP_INIT_HWND}] = DBPROPSTATUS_NOTSUPPORTED;  // index 5 (sa only)
    TMSConnection c;
    const auto e = vactest::ExpectThrows<EOLEDBError, vactest::Not<EMSError>>(
        [&] { c.Connect(); }, "OLE DB error occured. Code 80040E21h\n[2] := $2\r\n[5] := $1");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->OLEDBErrorCode, DB_E_ERRORSOCCURRED);
    EXPECT_EQ(e->ErrorCode, DB_E_ERRORSOCCURRED);
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(script.liveDataSources, 0) << "a failed open releases what it obtained";
    EXPECT_EQ(script.Count("initialize"), 0);
}

TEST_F(FakeConnectionTest, RefusedSingleServerSettingNamesTheSetting) {
    struct Case {
        PropertyId id;
        std::string suffix;
    };
    for (const auto& k : std::vector<Case>{{SSPROP_INIT_ENCRYPT, "\n[0] := $2\nWrong Encrypt value"},
                                           {SSPROP_INIT_NETWORKLIBRARY, "\n[0] := $2\nWrong NetworkLibrary value"},
                                           {SSPROP_INIT_PACKETSIZE, "\n[0] := $2\nWrong PacketSize value"}}) {
        SCOPED_TRACE(k.suffix);
        script.refuse.clear();
        script.refuse[{PropertySetId::SQLServerDBInit, k.id}] = DBPROPSTATUS_BADVALUE;
        TMSConnection c;
        c.Options().SetEncrypt(true);
        c.Options().SetNetworkLibrary("dbnmpntw");
        // The encryption request is optional: refusing it alone is a success code, still an error here.
        const std::string code = k.id == SSPROP_INIT_ENCRYPT ? "40EDA" : "80040E21";
        vactest::ExpectThrows<EOLEDBError>([&] { c.Connect(); }, "OLE DB error occured. Code " + code + "h" + k.suffix);
        EXPECT_FALSE(c.Connected());
    }
}

TEST_F(FakeConnectionTest, UninitialisedRunTimeSaysSo) {
    script.createResult = CO_E_NOTINITIALIZED;
    TMSConnection c;
    const auto e = vactest::ExpectThrows<EOLEDBError>(
        [&] { c.Connect(); }, "OLE DB error occured. Code 800401F0h.\r\nCoInitialize has not been called.");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->OLEDBErrorCode, CO_E_NOTINITIALIZED);
    EXPECT_EQ(e->Errors.Count(), 0);
}

TEST_F(FakeConnectionTest, OldProviderVersionIsRefusedAndReleased) {
    for (const std::string version : {"06.50.1234", "7.00.623", "notanumber"}) {
        SCOPED_TRACE(version);
        script.info.providerVersion = version;
        script.ClearLog();
        TMSConnection c;
        const bool tooOld = version != "7.00.623";
        if (tooOld) {
            vactest::ExpectThrows<EDatabaseError, vactest::Not<EOLEDBError>>(
                [&] { c.Connect(); }, "Wrong MDAC version. Download latest MDAC version");
            EXPECT_FALSE(c.Connected());
            EXPECT_EQ(script.liveDataSources, 0);
            EXPECT_EQ(script.liveSessions, 0);
        } else {
            c.Connect();
            EXPECT_EQ(c.OLEDBConnection()->ProviderPrimaryVer(), 7);
        }
    }
}

TEST_F(FakeConnectionTest, FailedOpenKeepsObjectAndSettingsAndRetriesTheWholeSequence) {
    script.initialize = {
        E_FAIL, scripted::MakeError(E_FAIL, {scripted::ServerRecord(18456, "Login failed for user 'gm'.", 14)})};
    TMSConnection c;
    c.SetUsername("gm");
    EXPECT_THROW(c.Connect(), EMSError);
    EXPECT_FALSE(c.Connected());
    EXPECT_NE(c.ConnectionObject(), nullptr);
    EXPECT_EQ(c.Username(), "gm");
    script.initialize = {};
    script.ClearLog();
    c.Connect();
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(script.Count("set DBInit"), 1);
    EXPECT_EQ(script.Count("initialize"), 1);
}

TEST_F(FakeConnectionTest, QuotedIdentifierOffIsSentAfterOpening) {
    TMSConnection c;
    c.SetQuotedIdentifier(false);
    c.Connect();
    EXPECT_EQ(script.log.back(), "execute SET QUOTED_IDENTIFIER OFF");
    c.SetQuotedIdentifier(true);
    EXPECT_EQ(script.log.back(), "execute SET QUOTED_IDENTIFIER ON");
    c.SetQuotedIdentifier(true);
    EXPECT_EQ(script.Count("execute SET QUOTED_IDENTIFIER ON"), 1);

    // A failed SET leaves the option as it was.
    script.executions["SET QUOTED_IDENTIFIER OFF"].answer = {
        E_FAIL, scripted::MakeError(E_FAIL, {scripted::ServerRecord(102, "Incorrect syntax near 'x'.", 15)})};
    EXPECT_THROW(c.SetQuotedIdentifier(false), EMSError);
    EXPECT_TRUE(c.QuotedIdentifier());
}

TEST_F(FakeConnectionTest, CloseSequenceNotifiesClientsAndUninitialises) {
    RecordingDataSet ds;  // clients outlive the connection they are registered with
    RecordingCommand cmd;
    TMSConnection c;
    std::vector<std::string> order;
    c.RegisterClient(
        &ds, [&](TConnectionClient*, bool connecting) { order.push_back(connecting ? "cb open" : "cb close"); });
    c.RegisterClient(&cmd);
    c.BeforeConnect = [&](TCustomConnection*) { order.push_back("before connect"); };
    c.AfterConnect = [&](TCustomConnection*) { order.push_back("after connect"); };
    c.BeforeDisconnect = [&](TCustomConnection*) { order.push_back("before disconnect"); };
    c.AfterDisconnect = [&](TCustomConnection*) { order.push_back("after disconnect"); };
    c.Connect();
    EXPECT_EQ(ds.object, c.ConnectionObject());
    EXPECT_EQ(cmd.object, c.ConnectionObject());
    c.Disconnect();
    EXPECT_EQ(order, (std::vector<std::string>{"before connect", "cb open", "after connect", "cb close",
                                               "before disconnect", "cb close", "after disconnect"}));
    EXPECT_EQ(ds.notices, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(script.Count("uninitialize"), 1);
    EXPECT_FALSE(c.Connected());
    c.Disconnect();  // closed already: nothing
    EXPECT_EQ(ds.notices.size(), 3u);
}

TEST_F(FakeConnectionTest, FatalErrorFromAClientWhileClosingRepeatsTheNotification) {
    RecordingDataSet ds;
    TMSConnection c;
    c.RegisterClient(&ds);
    c.Connect();
    ds.raiseOnClose = [] { throw EMSError(Fatal(), "gone"); };
    ds.throwOnClose = 1;
    c.Disconnect();
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(ds.notices, (std::vector<bool>{true, false, false, false}));

    // Another error keeps the connection open.
    c.Connect();
    ds.notices.clear();
    ds.raiseOnClose = [] { throw EDAError(1, "busy"); };
    ds.throwOnClose = 1;
    EXPECT_THROW(c.Disconnect(), EDAError);
    EXPECT_TRUE(c.Connected());
}

TEST_F(FakeConnectionTest, DestroyingDetachesClients) {
    RecordingDataSet ds;
    RecordingCommand cmd;
    {
        TMSConnection c;
        c.RegisterClient(&ds);
        c.RegisterClient(&cmd);
        c.Connect();
    }
    EXPECT_TRUE(ds.destroyed);
    EXPECT_TRUE(cmd.destroyed);
    EXPECT_EQ(script.liveDataSources, 0);
}

TEST_F(FakeConnectionTest, OpenRequestedWhileLoadingRunsWhenLoadingEnds) {
    TMSConnection c;
    c.BeginLoading();
    c.Connect();
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(script.Count("initialize"), 0);
    c.EndLoading();
    EXPECT_TRUE(c.Connected());

    TMSConnection d;
    d.Options().SetKeepDesignConnected(false);
    d.BeginLoading();
    d.Connect();
    d.EndLoading();
    EXPECT_FALSE(d.Connected());
}
