// Settings of TMSConnection on the scripted provider: compare-then-close setters, options on an open
// connection, Database switching, transactions, the connect string, name lists, ExecSQL.
#include "tests/connection/Fixture.h"
#include "tests/support/ExpectThrows.h"

using namespace provider;

TEST_F(FakeConnectionTest, LoginSettersCloseOnlyWhenTheValueChanges) {
    using Setter = void (TCustomDAConnection::*)(const std::string&);
    struct Case {
        const char* name;
        Setter set;
    };
    for (const auto& k : std::vector<Case>{{"Server", &TCustomDAConnection::SetServer},
                                           {"Username", &TCustomDAConnection::SetUsername},
                                           {"Password", &TCustomDAConnection::SetPassword}}) {
        SCOPED_TRACE(k.name);
        TMSConnection c;
        (c.*k.set)("value");
        c.Connect();
        (c.*k.set)("value");
        EXPECT_TRUE(c.Connected()) << "same text keeps the connection";
        (c.*k.set)("VALUE");
        EXPECT_FALSE(c.Connected()) << "comparison is case-sensitive";
    }
}

TEST_F(FakeConnectionTest, NewLoginValuesReachTheProviderAtTheNextOpen) {
    TMSConnection c;
    c.SetServer("one");
    c.Connect();
    c.SetServer("two");
    c.Connect();
    const PropertySet* second = SetAt(PropertySetId::DBInit, 1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->properties[0].value, PropertyValue(std::string("two")));
}

TEST_F(FakeConnectionTest, AuthenticationChangeCloses) {
    TMSConnection c;
    c.Connect();
    c.SetAuthentication(TMSAuthentication::auServer);
    EXPECT_TRUE(c.Connected());
    c.SetAuthentication(TMSAuthentication::auWindows);
    EXPECT_FALSE(c.Connected());
}

TEST_F(FakeConnectionTest, OptionsAreRefusedOnAnOpenConnection) {
    TMSConnection c;
    c.Connect();
    const std::vector<std::pair<const char*, std::function<void(TMSConnectionOptions&)>>> changes = {
        {"Language", [](TMSConnectionOptions& o) { o.SetLanguage("Deutsch"); }},
        {"Encrypt", [](TMSConnectionOptions& o) { o.SetEncrypt(true); }},
        {"AutoTranslate", [](TMSConnectionOptions& o) { o.SetAutoTranslate(false); }},
        {"NetworkLibrary", [](TMSConnectionOptions& o) { o.SetNetworkLibrary("dbmssocn"); }},
        {"ApplicationName", [](TMSConnectionOptions& o) { o.SetApplicationName("x"); }},
        {"WorkstationID", [](TMSConnectionOptions& o) { o.SetWorkstationID("x"); }},
        {"PacketSize", [](TMSConnectionOptions& o) { o.SetPacketSize(8192); }},
        {"NumericType", [](TMSConnectionOptions& o) { o.SetNumericType(TDANumericType::ntBCD); }},
        {"Provider", [](TMSConnectionOptions& o) { o.SetProvider("SQLOLEDB.1"); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        vactest::ExpectThrows<EDatabaseError>([&, &change = change] { change(c.Options()); },
                                              "Cannot perform this operation on an open connection");
        EXPECT_TRUE(c.Connected());
    }
    // Equal values are no change.
    c.Options().SetPacketSize(4096);
    c.Options().SetLanguage("");
    EXPECT_EQ(c.Options().Language(), "");
}

TEST_F(FakeConnectionTest, DatabaseSwitchOnAnOpenConnectionUsesTheBracketRule) {
    TMSConnection c;
    EXPECT_EQ(c.Database(), "master");
    c.Connect();
    c.SetDatabase("lin2db");
    c.SetDatabase("my db");
    c.SetDatabase("");
    EXPECT_EQ(c.Database(), "master");
    std::vector<std::string> catalogs;
    for (const auto& e : script.log) {
        if (e.rfind("catalog ", 0) == 0) catalogs.push_back(e);
    }
    EXPECT_EQ(catalogs, (std::vector<std::string>{"catalog lin2db", "catalog [my db]", "catalog master"}));
    const PropertySet* set = SetAt(PropertySetId::DataSource, 1);  // 0 is MULTIPLECONNECTIONS at open
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->properties[0].options, DBPROPOPTIONS_OPTIONAL);

    // A switch the server refuses leaves the setting where the server stayed.
    script.currentCatalog = {
        E_FAIL, scripted::MakeError(E_FAIL, {scripted::ServerRecord(911, "Database 'nope' does not exist.", 16)})};
    EXPECT_THROW(c.SetDatabase("nope"), EMSError);
    EXPECT_EQ(c.Database(), "master");
    EXPECT_TRUE(c.Connected());
}

TEST(QuoteDatabaseNameTest, BracketsOnlyWhatNeedsThem) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"lin2db", "lin2db"},
        {"_x#1$", "_x#1$"},
        {"@db", "@db"},
        {"#tmp", "#tmp"},
        {"my db", "[my db]"},
        {"1abc", "[1abc]"},
        {"$ab", "[$ab]"},
        {"a-b", "[a-b]"},
        {"[my db]", "[my db]"},
        {"\"my db\"", "\"my db\""},
        {"lin2db.dbo", "lin2db.dbo"},
        {"a.b c", "a.[b c]"},
        {"we]ird x", "[we]]ird x]"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(TOLEDBConnection::QuoteDatabaseName(in), out) << in;
}

TEST_F(FakeConnectionTest, TransactionsFollowTheirRules) {
    TMSConnection c;
    for (auto op : std::vector<std::function<void()>>{[&] { c.StartTransaction(); }, [&] { c.Commit(); },
                                                      [&] { c.Rollback(); }}) {
        vactest::ExpectThrows<EDatabaseError>([&] { op(); }, "Operation is not allowed when the connection is closed");
    }
    c.Connect();
    c.StartTransaction();
    EXPECT_TRUE(c.InTransaction());
    EXPECT_FALSE(c.ConnectionObject()->GetAutoCommit());
    vactest::ExpectThrows<EDatabaseError>([&] { c.StartTransaction(); }, "User transaction is already in progress.");
    c.Commit();
    EXPECT_FALSE(c.InTransaction());
    EXPECT_TRUE(c.ConnectionObject()->GetAutoCommit());
    c.StartTransaction();
    c.Rollback();
    EXPECT_FALSE(c.InTransaction());
    EXPECT_EQ(script.Count("commit"), 1);
    EXPECT_EQ(script.Count("abort"), 1);

    // A commit the server refuses keeps the transaction open.
    c.StartTransaction();
    script.commit = {E_FAIL,
                     scripted::MakeError(
                         E_FAIL, {scripted::ServerRecord(
                                     3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.")})};
    EXPECT_THROW(c.Commit(), EMSError);
    EXPECT_TRUE(c.InTransaction());
    // Closing rolls an open transaction back.
    c.Disconnect();
    EXPECT_EQ(script.Count("abort"), 2);
    EXPECT_FALSE(c.InTransaction());
}

TEST_F(FakeConnectionTest, IsolationLevelsMapToTheProviderCodes) {
    const std::vector<std::pair<TIsolationLevel, int32_t>> cases = {
        {TIsolationLevel::ilReadCommitted, 0x1000},
        {TIsolationLevel::ilReadUnCommitted, 0x100},
        {TIsolationLevel::ilRepeatableRead, 0x10000},
        {TIsolationLevel::ilIsolated, 0x100000},
    };
    TMSConnection c;
    c.Connect();
    for (const auto& [level, code] : cases) {
        c.SetIsolationLevel(level);  // reaches the next StartTransaction on the open connection
        c.StartTransaction();
        c.Commit();
        EXPECT_EQ(script.Count("start " + std::to_string(code)), 1) << code;
    }
}

TEST_F(FakeConnectionTest, ConnectStringReading) {
    TMSConnection c;
    EXPECT_EQ(c.ConnectString(), "");
    c.SetAuthentication(TMSAuthentication::auWindows);
    EXPECT_EQ(c.ConnectString(), ";Integrated Security=SSPI");
    c.SetAuthentication(TMSAuthentication::auServer);
    c.SetPassword("pw");
    EXPECT_EQ(c.ConnectString(), "Password=pw;Persist Security Info=True");

    TMSConnection d;
    d.Options().SetProvider("SQLNCLI.1");
    d.SetUsername("sa");
    d.SetPassword("p;w d");
    d.SetServer("db1,1433");
    d.SetDatabase("lin2db");
    d.SetConnectionTimeout(30);
    d.Options().SetEncrypt(true);
    d.Options().SetAutoTranslate(false);
    d.Options().SetPacketSize(8192);
    d.Options().SetApplicationName("Vantor");
    d.Options().SetWorkstationID("WS1");
    d.Options().SetLanguage("Deutsch");
    d.Options().SetNetworkLibrary("dbmssocn");
    d.SetAuthentication(TMSAuthentication::auWindows);
    const std::string expected =
        "Provider=SQLNCLI.1;User ID=sa;Password=\"p;w d\";Data Source=db1,1433;Initial Catalog=lin2db;"
        "Connect Timeout=30;Use Encryption for Data=True;Auto Translate=False;Packet Size=8192;"
        "Application Name=Vantor;Workstation ID=WS1;Current Language=Deutsch;Network Library=dbmssocn;"
        "Integrated Security=SSPI;Persist Security Info=True";
    EXPECT_EQ(d.ConnectString(), expected);

    // What it reads, it takes back.
    TMSConnection e;
    e.SetConnectString(d.ConnectString());
    EXPECT_EQ(e.ConnectString(), expected);
    EXPECT_EQ(e.Password(), "p;w d");
    EXPECT_EQ(e.Authentication(), TMSAuthentication::auWindows);
}

TEST_F(FakeConnectionTest, ConnectStringAssignmentAcceptsEveryNameForm) {
    struct Case {
        std::string text;
        std::function<void(TMSConnection&)> check;
    };
    const std::vector<Case> cases = {
        {"uid=bob;pwd=x",
         [](TMSConnection& c) {
             EXPECT_EQ(c.Username(), "bob");
             EXPECT_EQ(c.Password(), "x");
         }},
        {"Username = bob ; Server = h\\i",
         [](TMSConnection& c) {
             EXPECT_EQ(c.Username(), "bob");
             EXPECT_EQ(c.Server(), "h\\i");
         }},
        {"Database=lin2world", [](TMSConnection& c) { EXPECT_EQ(c.Database(), "lin2world"); }},
        {"Timeout=5", [](TMSConnection& c) { EXPECT_EQ(c.ConnectionTimeout(), 5); }},
        {"ConnectTimeout=6", [](TMSConnection& c) { EXPECT_EQ(c.ConnectionTimeout(), 6); }},
        {"Encrypt=yes", [](TMSConnection& c) { EXPECT_TRUE(c.Options().Encrypt()); }},
        {"Encryption=1", [](TMSConnection& c) { EXPECT_TRUE(c.Options().Encrypt()); }},
        {"AutoTranslate=false", [](TMSConnection& c) { EXPECT_FALSE(c.Options().AutoTranslate()); }},
        {"PacketSize=512", [](TMSConnection& c) { EXPECT_EQ(c.Options().PacketSize(), 512); }},
        {"Language=Deutsch", [](TMSConnection& c) { EXPECT_EQ(c.Options().Language(), "Deutsch"); }},
        {"NetLibrary=dbmssocn", [](TMSConnection& c) { EXPECT_EQ(c.Options().NetworkLibrary(), "dbmssocn"); }},
        {"Network=dbmssocn", [](TMSConnection& c) { EXPECT_EQ(c.Options().NetworkLibrary(), "dbmssocn"); }},
        {"AppName=tool", [](TMSConnection& c) { EXPECT_EQ(c.Options().ApplicationName(), "tool"); }},
        {"WSID=pc1", [](TMSConnection& c) { EXPECT_EQ(c.Options().WorkstationID(), "pc1"); }},
        {"Trusted_Connection=True",
         [](TMSConnection& c) { EXPECT_EQ(c.Authentication(), TMSAuthentication::auWindows); }},
        {"Integrated Security=sspi",
         [](TMSConnection& c) { EXPECT_EQ(c.Authentication(), TMSAuthentication::auWindows); }},
        {"Integrated Security=False",
         [](TMSConnection& c) { EXPECT_EQ(c.Authentication(), TMSAuthentication::auServer); }},
        {"provider=sqloledb.1", [](TMSConnection& c) { EXPECT_EQ(c.Options().Provider(), "sqloledb.1"); }},
        {"Persist Security Info=True;MARS Connection=False;Use Procedure for Prepare=1;"
         "Asynchronous Connection=x;Client Failover=y;Tag with column collation when possible=z",
         [](TMSConnection& c) { EXPECT_EQ(c.ConnectString(), ""); }},
        {"Password=\"a;b\" c\" ; uid=x",
         [](TMSConnection& c) {
             EXPECT_EQ(c.Password(), "a;b\" c");
             EXPECT_EQ(c.Username(), "x");
         }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text);
        TMSConnection c;
        c.SetConnectString(k.text);
        k.check(c);
    }
}

TEST_F(FakeConnectionTest, ConnectStringAssignmentErrorsRestoreThePreviousSettings) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"=x", "Parameter name missing"},
        {"User ID=", "Parameter value missing"},
        {"User ID", "Parameter value missing"},
        {"User ID=a b", "Invalid character in non-quoted parameter value"},
        {"Password=p;w=x", "Parameter name is unknown - w"},
        {"Server=h:1433", "Invalid character in non-quoted parameter value"},
        {"Provider=MSDASQL", "Bad parameter value - Provider=MSDASQL"},
        {"Integrated Security=maybe", "Bad parameter value - Integrated Security=maybe"},
        {"Colour=blue", "Parameter name is unknown - Colour"},
        {"Packet Size=big", "Bad parameter value - Packet Size=big"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        TMSConnection c;
        c.SetConnectString("User ID=gm;Password=pw;Data Source=db1;Initial Catalog=lin2db");
        const std::string before = c.ConnectString();
        vactest::ExpectThrows<Exception, vactest::Not<EDatabaseError>>([&, &text = text] { c.SetConnectString(text); },
                                                                       message);
        EXPECT_EQ(c.ConnectString(), before);
        EXPECT_EQ(c.Database(), "lin2db");
    }
}

TEST_F(FakeConnectionTest, NameListsAreSortedAndDatabaseFallsBackToMasterOn4060) {
    script.executions["SELECT name FROM master.dbo.sysdatabases"].rows = {"lin2world", "master", "Lin2db", "tempdb"};
    TMSConnection c;
    EXPECT_EQ(c.GetDatabaseNames(), (std::vector<std::string>{"Lin2db", "lin2world", "master", "tempdb"}));
    EXPECT_TRUE(c.Connected());

    c.SetDatabase("gone");
    script.executions["SELECT name FROM master.dbo.sysdatabases"].answer = {
        E_FAIL, scripted::MakeError(E_FAIL, {scripted::ServerRecord(
                                                4060, "Cannot open database \"gone\" requested by the login.", 11)})};
    EXPECT_THROW(c.GetDatabaseNames(), EMSError);
    EXPECT_EQ(c.Database(), "master");

    c.SetDatabase("gone");
    script.executions["SELECT name FROM sysobjects WHERE type IN ('U', 'V')"].answer =
        script.executions["SELECT name FROM master.dbo.sysdatabases"].answer;
    EXPECT_THROW(c.GetTableNames(), EMSError);
    EXPECT_EQ(c.Database(), "gone") << "only databases and procedures reset it";
}

TEST_F(FakeConnectionTest, ExecSQLRunsTheTextThroughThePrivateCommand) {
    TMSConnection c;
    c.Connect();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(c.ExecSQL("select 1")));
    EXPECT_EQ(script.Count("execute SELECT 1"), 1);
}
