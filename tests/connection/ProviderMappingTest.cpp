// The ODBC side of the seam without a server: server names, connection strings and how diagnostic
// records become error records.
#include "data/provider/OdbcConnectString.h"
#include "data/provider/OdbcDiagnostics.h"
#include "data/provider/OdbcProvider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace provider;

TEST(ServerNameTest, FormsSqlServerUsersWrite) {
    struct Case {
        std::string text;
        std::string host;
        std::optional<uint16_t> port;
        std::string instance;
    };
    const std::vector<Case> cases = {
        {"", "127.0.0.1", std::nullopt, ""},
        {"(local)", "127.0.0.1", std::nullopt, ""},
        {"(LOCAL)", "127.0.0.1", std::nullopt, ""},
        {".", "127.0.0.1", std::nullopt, ""},
        {"db.example.org", "db.example.org", std::nullopt, ""},
        {"db1,1500", "db1", 1500, ""},
        {" db1 , 1500 ", "db1", 1500, ""},
        {"tcp:db1,1433", "db1", 1433, ""},
        {"db1\\SQLEXPRESS", "db1", std::nullopt, "SQLEXPRESS"},
        {".\\inst", "127.0.0.1", std::nullopt, "inst"},
        {"(local)\\inst,2000", "127.0.0.1", 2000, "inst"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text);
        auto a = ParseServerName(k.text);
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ(a->host, k.host);
        EXPECT_EQ(a->port, k.port);
        EXPECT_EQ(a->instance, k.instance);
    }
    for (const char* bad : {"db1,", "db1,0", "db1,70000", "db1,14x3", "tcp:"}) {
        EXPECT_FALSE(ParseServerName(bad).has_value()) << bad;
    }
}

TEST(ConnectStringTest, FreeTdsGetsPortVersionCharsetAndTrailingSemicolon) {
    ConnectSettings s;
    s.driver = "FreeTDS";
    s.address = *ParseServerName("(local)");
    s.database = "master";
    s.userId = "sa";
    s.password = "p;w}x";
    s.applicationName = "tool";
    EXPECT_EQ(BuildConnectString(s),
              "DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=1433;DATABASE=master;UID=sa;PWD={p;w}x};APP=tool;"
              "TDS_Version=7.4;ClientCharset=CP1252;PacketSize=4096;");

    s.address = *ParseServerName("h\\inst");
    s.password.reset();
    s.userId = "";
    s.encrypt = true;
    const std::string text = BuildConnectString(s);
    EXPECT_NE(text.find("SERVER=h\\inst;"), std::string::npos) << text;
    EXPECT_EQ(text.find("PORT="), std::string::npos) << "an instance is found through the browser service";
    EXPECT_NE(text.find("UID=;"), std::string::npos);
    EXPECT_EQ(text.find("PWD"), std::string::npos);
    EXPECT_NE(text.find("Encryption=require;"), std::string::npos);
}

TEST(ConnectStringTest, MicrosoftDriverGetsCommaPortAndDoubledBraces) {
    ConnectSettings s;
    s.driver = "ODBC Driver 18 for SQL Server";
    s.family = DriverFamily::MicrosoftOdbc;
    s.address = *ParseServerName("db1,1500");
    s.integrated = true;
    s.password = "p}w";
    s.autoTranslate = false;
    const std::string text = BuildConnectString(s);
    EXPECT_NE(text.find("DRIVER=ODBC Driver 18 for SQL Server;SERVER=db1,1500;"), std::string::npos) << text;
    EXPECT_NE(text.find("Trusted_Connection=Yes;"), std::string::npos);
    EXPECT_EQ(text.find("PWD"), std::string::npos) << "integrated security sends no password";
    EXPECT_NE(text.find("Encrypt=no;AutoTranslate=no;Packet Size=4096;"), std::string::npos);
    std::string pair;
    AppendConnectPair(pair, "PWD", "a}b;", true);
    EXPECT_EQ(pair, "PWD={a}}b;};");
}

namespace {

// A connection string read back as each driver reads it: FreeTDS 1.3 ends a braced value at the first
// "};", Microsoft's drivers at a "}" that is not doubled. Keys come back upper-cased, in order.
std::vector<std::pair<std::string, std::string>> ReadAsDriver(std::string_view text, DriverFamily family) {
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t i = 0;
    while (i < text.size()) {
        const size_t equals = text.find('=', i);
        if (equals == std::string_view::npos) break;
        std::string key(text.substr(i, equals - i));
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string value;
        i = equals + 1;
        if (i < text.size() && text[i] == '{') {
            ++i;
            if (family == DriverFamily::FreeTDS) {
                const size_t end = std::min(text.find("};", i), text.size());
                value = std::string(text.substr(i, end - i));
                i = end + 1;
            } else {
                while (i < text.size() && !(text[i] == '}' && (i + 1 == text.size() || text[i + 1] != '}'))) {
                    value.push_back(text[i]);
                    i += text[i] == '}' ? 2 : 1;
                }
                ++i;
            }
        } else {
            const size_t end = std::min(text.find(';', i), text.size());
            value = std::string(text.substr(i, end - i));
            i = end;
        }
        pairs.emplace_back(std::move(key), std::move(value));
        if (i < text.size() && text[i] == ';') ++i;
    }
    return pairs;
}

}  // namespace

// No text of the server name, the user id or the password can end its own value early and add keys:
// each either reads back exactly as it was, in the same keys as an ordinary value gives, or is one the
// driver cannot be given at all, and then it is named as such.
TEST(ConnectStringTest, HostileValuesNeverAddKeys) {
    struct Case {
        std::string value;
        bool freeTdsRefuses;
    };
    const std::vector<Case> cases = {
        {"standin};PORT=14331;X={", true},
        {"a};SERVER=evil", true},
        {"};", true},
        {"x;PORT=1", false},
        {"x;DRIVER={/tmp/evil.so}", false},
        {"{PORT=1}", false},
        {"}", false},
        {"a}", false},
        {"a}}", false},
        {"}}};", true},
        {"{", false},
        {" leading and trailing ", false},
        {"=;=", false},
        {"tab\there", false},
        {std::string("nul\0PORT=1", 10), true},
    };
    enum class Field { Server, User, Password };
    for (DriverFamily family : {DriverFamily::FreeTDS, DriverFamily::MicrosoftOdbc}) {
        for (Field field : {Field::Server, Field::User, Field::Password}) {
            for (const Case& c : cases) {
                const bool microsoft = family == DriverFamily::MicrosoftOdbc;
                SCOPED_TRACE((microsoft ? "Microsoft, field " : "FreeTDS, field ") +
                             std::to_string(static_cast<int>(field)) + ": " + c.value);
                const bool nul = c.value.find('\0') != std::string::npos;
                const std::string unsayable = UnsayableCharacters(family, c.value);
                if (nul || (!microsoft && c.freeTdsRefuses)) {
                    EXPECT_EQ(unsayable, nul ? "NUL" : "};");
                    continue;
                }
                EXPECT_EQ(unsayable, "");
                ConnectSettings s;
                s.driver = microsoft ? "ODBC Driver 18 for SQL Server" : "FreeTDS";
                s.family = family;
                s.address = *ParseServerName("db1,1500");
                s.userId = "sa";
                s.password = "pw";
                std::string expected;
                if (field == Field::Server) {
                    // A host as the operator typed it: the server name parser keeps it as one host.
                    auto address = ParseServerName(c.value);
                    if (!address) continue;
                    s.address = *address;
                    s.address.port = 1500;
                    expected = s.address.host + (s.address.instance.empty() ? "" : "\\" + s.address.instance);
                    if (microsoft) expected += ",1500";
                } else {
                    (field == Field::User ? s.userId : s.password) = c.value;
                    expected = c.value;
                }
                ConnectSettings ordinary = s;
                ordinary.address = *ParseServerName("db1,1500");
                ordinary.userId = "sa";
                ordinary.password = "pw";
                const auto pairs = ReadAsDriver(BuildConnectString(s), family);
                const auto plain = ReadAsDriver(BuildConnectString(ordinary), family);
                ASSERT_EQ(pairs.size(), plain.size()) << BuildConnectString(s);
                for (size_t i = 0; i < pairs.size(); ++i) EXPECT_EQ(pairs[i].first, plain[i].first);
                const char* key = field == Field::Server ? "SERVER" : field == Field::User ? "UID" : "PWD";
                auto found = std::find_if(pairs.begin(), pairs.end(), [key](const auto& p) { return p.first == key; });
                ASSERT_NE(found, pairs.end());
                EXPECT_EQ(found->second, expected) << BuildConnectString(s);
            }
        }
    }
}

TEST(ConnectStringTest, CatalogNamesAreHandedToTheDriverUnquoted) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"lin2db", "lin2db"}, {"[my db]", "my db"}, {"[we]]ird x]", "we]ird x"}, {"\"a\"\"b\"", "a\"b"},
        {"a.[b c]", "a.b c"}, {"[a.b]", "a.b"},     {"[open", "[open"},          {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(UnquoteIdentifier(in), out) << in;
}

TEST(DiagnosticsTest, DriverPrefixIsRemoved) {
    EXPECT_EQ(StripDriverPrefix("[FreeTDS][SQL Server]Login failed for user 'x'."), "Login failed for user 'x'.");
    EXPECT_EQ(StripDriverPrefix("[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object"),
              "Invalid object");
    EXPECT_EQ(StripDriverPrefix("plain [text]"), "plain [text]");
}

TEST(DiagnosticsTest, FreeTdsRecordsBecomeSqlServerRecords) {
    DriverTraits freeTds{DriverFamily::FreeTDS, 1};
    std::vector<RawDiagnostic> d(4);
    d[0] = {"23000", 2627, "Violation of PRIMARY KEY constraint 'PK'.", "STANDIN", 14, std::nullopt, "", 1};
    d[1] = {"01000", 3621, "The statement has been terminated.", "STANDIN", std::nullopt, std::nullopt, "", 1};
    d[2] = {"HY000", 0, "Driver-side trouble", "", std::nullopt, std::nullopt, "", 0};
    d[3] = {"08S01", 20004, "Read from the server failed", "STANDIN", 9, std::nullopt, "", 0};
    auto info = BuildErrorInfo(d, E_FAIL, InterfaceId::ICommand, freeTds, false);
    ASSERT_EQ(info->records.size(), 4u);
    ASSERT_TRUE(info->records[0].sqlServer);
    EXPECT_EQ(info->records[0].sqlServer->severityClass, 14) << "SS_MSGSTATE carries the severity";
    EXPECT_EQ(info->records[0].sqlServer->state, 0) << "FreeTDS gives no state";
    EXPECT_EQ(info->records[0].sqlServer->nativeError, 2627);
    EXPECT_EQ(info->records[0].sqlServer->serverName, "STANDIN");
    ASSERT_TRUE(info->records[1].sqlServer);
    EXPECT_EQ(info->records[1].sqlServer->severityClass, 0);
    EXPECT_FALSE(info->records[2].sqlServer) << "a driver record has no server details";
    EXPECT_EQ(info->records[2].description, "Driver-side trouble");
    ASSERT_TRUE(info->records[3].sqlServer);
    EXPECT_EQ(info->records[3].sqlServer->severityClass, 16);
    EXPECT_EQ(info->records[3].sqlServer->state, 1);
    EXPECT_LE(info->records[3].sqlServer->nativeError, 17);
    EXPECT_EQ(info->description, "Violation of PRIMARY KEY constraint 'PK'.");
}

// Every way a driver says the link is gone becomes the fatal lost-link record (class 16, state 1, a
// native number of 17 at most), with the driver's own words; a failure on a link the driver knows is
// dead says so even when the driver's record said nothing useful.
TEST(DiagnosticsTest, EveryLostLinkDiagnosticIsFatalAndKeepsItsText) {
    DriverTraits freeTds{DriverFamily::FreeTDS, 1};
    struct Case {
        RawDiagnostic raw;
        bool linkDead;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{"08S01", 0, "Communication link failure", "", std::nullopt, std::nullopt, "", 0},
         false,
         "Communication link failure"},
        {{"08003", 0, "Connection not open", "", std::nullopt, std::nullopt, "", 0}, false, "Connection not open"},
        {{"08007", 0, "Connection failure during transaction", "", std::nullopt, std::nullopt, "", 0},
         false,
         "Connection failure during transaction"},
        {{"HY000", 20004, "Read from the server failed", "", 9, std::nullopt, "", 0},
         false,
         "Read from the server failed"},
        {{"HY000", 20006, "Write to the server failed", "", 9, std::nullopt, "", 0},
         false,
         "Write to the server failed"},
        {{"01000", 20017, "Unexpected EOF from the server", "", 9, std::nullopt, "", 0},
         false,
         "Unexpected EOF from the server"},
        {{"HY000", 0, "Unknown error", "", std::nullopt, std::nullopt, "", 0}, true, "Communication link failure"},
        {{"HY000", 0, "", "", std::nullopt, std::nullopt, "", 0}, true, "Communication link failure"},
        {{"HY000", 0, "Driver's own words", "", std::nullopt, std::nullopt, "", 0}, true, "Driver's own words"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw.sqlState + " " + std::to_string(c.raw.native) + " " + c.raw.text);
        std::vector<RawDiagnostic> d{c.raw};
        if (c.linkDead) MarkLinkLost(d, freeTds);
        auto info = BuildErrorInfo(d, E_FAIL, InterfaceId::ICommand, freeTds, false);
        ASSERT_EQ(info->records.size(), 1u);
        ASSERT_TRUE(info->records[0].sqlServer);
        EXPECT_EQ(info->records[0].sqlServer->severityClass, 16);
        EXPECT_EQ(info->records[0].sqlServer->state, 1);
        EXPECT_LE(info->records[0].sqlServer->nativeError, 17);
        EXPECT_EQ(info->records[0].sqlServer->message, c.text);
    }
    // A server's own error on a dead link keeps its record and gains the lost-link one.
    std::vector<RawDiagnostic> d{{"42000", 229, "The permission was denied.", "S", 14, std::nullopt, "", 1}};
    MarkLinkLost(d, freeTds);
    auto info = BuildErrorInfo(d, E_FAIL, InterfaceId::ICommand, freeTds, false);
    ASSERT_EQ(info->records.size(), 2u);
    EXPECT_EQ(info->records[0].sqlServer->nativeError, 229);
    EXPECT_EQ(info->records[1].sqlServer->message, "Communication link failure");
}

TEST(DiagnosticsTest, RefusedLoginKeepsTheServerRecordOnly) {
    DriverTraits freeTds{DriverFamily::FreeTDS, 0};
    std::vector<RawDiagnostic> d(2);
    d[0] = {"28000", 18456, "Login failed for user 'bob'.", "STANDIN", 14, std::nullopt, "", 1};
    d[1] = {"08001", 0, "Unable to connect to data source", "", std::nullopt, std::nullopt, "", 0};
    auto info = BuildErrorInfo(d, E_FAIL, InterfaceId::IDBInitialize, freeTds, true);
    ASSERT_EQ(info->records.size(), 1u);
    EXPECT_EQ(info->records[0].sqlServer->nativeError, 18456);

    // Without the server's word the driver's "cannot connect" is the error, as a connection failure.
    d.erase(d.begin());
    info = BuildErrorInfo(d, E_FAIL, InterfaceId::IDBInitialize, freeTds, true);
    ASSERT_EQ(info->records.size(), 1u);
    ASSERT_TRUE(info->records[0].sqlServer);
    EXPECT_EQ(info->records[0].sqlServer->nativeError, 17);
    EXPECT_EQ(info->records[0].sqlServer->severityClass, 16);
    EXPECT_EQ(info->records[0].sqlServer->state, 1);

    // A login time-out is a connection failure too.
    d[0].sqlState = "HYT00";
    d[0].native = 20003;
    info = BuildErrorInfo(d, E_FAIL, InterfaceId::IDBInitialize, freeTds, true);
    ASSERT_TRUE(info->records[0].sqlServer);
    EXPECT_EQ(info->records[0].sqlServer->nativeError, 17);
}

TEST(DiagnosticsTest, MicrosoftDriverReportsSeverityAndStateInTheirOwnFields) {
    DriverTraits ms{DriverFamily::MicrosoftOdbc, 18};
    std::vector<RawDiagnostic> d(1);
    d[0] = {"42S02", 208, "Invalid object name 'x'.", "SRV", 1, 16, "proc", 3};
    auto info = BuildErrorInfo(d, E_FAIL, InterfaceId::ICommand, ms, false);
    ASSERT_TRUE(info->records[0].sqlServer);
    EXPECT_EQ(info->records[0].sqlServer->severityClass, 16);
    EXPECT_EQ(info->records[0].sqlServer->state, 1);
    EXPECT_EQ(info->records[0].sqlServer->procName, "proc");
    EXPECT_EQ(info->records[0].sqlServer->lineNumber, 3);
}

TEST(OdbcProviderTest, UnknownClassIsNotRegistered) {
    std::unique_ptr<DataSource> ds;
    EXPECT_EQ(OdbcProvider::Instance().CreateDataSource("MSDASQL.1", ds), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ds, nullptr);
    // FreeTDS is installed by the project's set-up.
    auto choice = OdbcProvider::Instance().DriverFor("sqloledb.1");
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->family, DriverFamily::FreeTDS);
}
