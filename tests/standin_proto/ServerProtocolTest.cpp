// The stand-in server over loopback, driven by the small raw client: login, token streams,
// packet sizes, attention, faults, the control statement and malformed input.
#include "tools/standin/tds/StandinServer.h"
#include "tools/standin/tds/TdsLogin.h"
#include "tools/standin/tds/TdsPacket.h"
#include "tools/standin/tds/TdsWriter.h"

#include "tests/standin_proto/TdsTestClient.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace standin;
using namespace standin::test;
namespace td = standin::tds;

namespace {

class ServerProtocol : public ::testing::Test {
protected:
    void SetUp() override {
        ServerOptions options;
        options.logins = {{"sa", "standin"}, {"operator", "secret"}};
        server = std::make_unique<Server>(options);
        server->start();
    }

    std::unique_ptr<TdsTestClient> connect(const std::string& user = "sa", const std::string& password = "standin",
                                           const std::string& database = "") {
        auto client = std::make_unique<TdsTestClient>(server->port());
        const auto tokens = client->login(user, password, database);
        bool acknowledged = false;
        for (const auto& t : tokens) acknowledged = acknowledged || t.type == td::kTokenLoginAck;
        EXPECT_TRUE(acknowledged) << "login of " << user << " failed";
        return client;
    }

    std::unique_ptr<Server> server;
};

std::vector<Token> ofType(const std::vector<Token>& tokens, uint8_t type) {
    std::vector<Token> r;
    for (const auto& t : tokens)
        if (t.type == type) r.push_back(t);
    return r;
}

std::vector<uint16_t> doneStatuses(const std::vector<Token>& tokens) {
    std::vector<uint16_t> s;
    for (const auto& t : ofType(tokens, td::kTokenDone)) s.push_back(t.status);
    return s;
}

std::vector<int32_t> messageNumbers(const std::vector<Token>& tokens) {
    std::vector<int32_t> n;
    for (const auto& t : tokens)
        if (t.type == td::kTokenError || t.type == td::kTokenInfo) n.push_back(t.number);
    return n;
}

int32_t intValue(const std::optional<Bytes>& v) {
    return static_cast<int32_t>((*v)[0] | ((*v)[1] << 8) | ((*v)[2] << 16) | ((*v)[3] << 24));
}

}  // namespace

TEST_F(ServerProtocol, LoginAnswersWithEnvironmentChangesAndAcknowledgement) {
    TdsTestClient client(server->port());
    const auto tokens = client.login("SA", "standin", "lin2db", 8192);  // login names ignore case
    std::vector<uint8_t> envTypes;
    for (const auto& t : ofType(tokens, td::kTokenEnvChange)) envTypes.push_back(t.envType);
    EXPECT_EQ(envTypes,
              (std::vector<uint8_t>{td::kEnvDatabase, td::kEnvCollation, td::kEnvLanguage, td::kEnvPacketSize}));
    const auto env = ofType(tokens, td::kTokenEnvChange);
    EXPECT_EQ(utf16Text(env[0].envNew), "lin2db");
    EXPECT_EQ(env[1].envNew, Bytes(td::kCollation.begin(), td::kCollation.end()));
    EXPECT_EQ(utf16Text(env[2].envNew), "us_english");
    EXPECT_EQ(utf16Text(env[3].envNew), "8192");
    const auto ack = ofType(tokens, td::kTokenLoginAck);
    ASSERT_EQ(ack.size(), 1u);
    EXPECT_EQ(ack[0].tdsVersion, td::kTds74);
    EXPECT_EQ(messageNumbers(tokens), (std::vector<int32_t>{5701, 5703}));
    EXPECT_EQ(doneStatuses(tokens), std::vector<uint16_t>{td::kDoneFinal});
    EXPECT_GE(client.spid(), 51);

    TdsTestClient other(server->port());
    other.login();
    EXPECT_NE(other.spid(), client.spid());
}

TEST_F(ServerProtocol, RefusedLoginsGetSqlServersErrorsAndAreClosed) {
    struct Case {
        const char* name;
        std::string user, password, database;
        uint32_t version;
        std::vector<int32_t> numbers;
    };
    const Case cases[] = {
        {"wrong password", "sa", "nope", "", td::kTds74, {18456}},
        {"password case matters", "sa", "STANDIN", "", td::kTds74, {18456}},
        {"unknown login", "ghost", "standin", "", td::kTds74, {18456}},
        {"unknown database", "sa", "standin", "nowhere", td::kTds74, {4060, 18456}},
        {"TDS 7.1", "sa", "standin", "", 0x71000001, {4002}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TdsTestClient client(server->port());
        const auto tokens = client.login(c.user, c.password, c.database, 4096, c.version);
        EXPECT_EQ(messageNumbers(tokens), c.numbers);
        EXPECT_TRUE(ofType(tokens, td::kTokenLoginAck).empty());
        EXPECT_EQ(doneStatuses(tokens), std::vector<uint16_t>{td::kDoneError});
        const auto errors = ofType(tokens, td::kTokenError);
        if (c.numbers.back() == 18456) {
            EXPECT_EQ(errors.back().text, "Login failed for user '" + c.user + "'.");
            EXPECT_EQ(errors.back().severity, 14);
            EXPECT_EQ(errors.back().state, 1);
        }
        if (c.numbers.front() == 4060) {
            EXPECT_EQ(errors.front().text,
                      "Cannot open database \"nowhere\" requested by the login. The login failed.");
            EXPECT_EQ(errors.front().severity, 11);
        }
        EXPECT_TRUE(client.closedByServer());
    }
}

TEST_F(ServerProtocol, RefuseLoginsFaultCountsOff) {
    server->refuseLogins(2);
    for (int i = 0; i < 2; ++i) {
        TdsTestClient refused(server->port());
        EXPECT_EQ(messageNumbers(refused.login()), std::vector<int32_t>{18456});
    }
    connect();
}

TEST_F(ServerProtocol, PacketSizeIsNegotiatedAndLargeAnswersAreSplit) {
    struct Case {
        uint32_t asked;
        size_t granted;
    };
    connect("sa", "standin", "lin2db")
        ->batch(
            "CREATE TABLE wide (a varchar(8000), b varchar(8000));"
            "INSERT INTO wide VALUES ('" +
            std::string(8000, 'x') + "', '" + std::string(8000, 'y') + "')");
    for (const Case c : {Case{512, 512}, Case{4096, 4096}, Case{16384, 16384}, Case{100, 512}, Case{100000, 32767}}) {
        SCOPED_TRACE(c.asked);
        TdsTestClient client(server->port());
        const auto env = ofType(client.login("sa", "standin", "lin2db", c.asked), td::kTokenEnvChange);
        EXPECT_EQ(utf16Text(env.back().envNew), std::to_string(c.granted));
        const auto tokens = client.batch("SELECT a, b FROM wide");
        ASSERT_EQ(ofType(tokens, td::kTokenRow).size(), 1u);
        EXPECT_EQ(ofType(tokens, td::kTokenRow)[0].values[0]->size(), 8000u);
        EXPECT_LE(client.lastPacketMax(), c.granted);
    }
}

TEST_F(ServerProtocol, EveryStatementEndsWithDoneAndOnlyTheLastLacksDoneMore) {
    auto client = connect();
    const auto tokens = client->batch(
        "CREATE TABLE tempdb_t (id int NOT NULL PRIMARY KEY, name varchar(10) NULL);"
        "INSERT INTO tempdb_t VALUES (1, 'a'), (2, NULL);"
        "SELECT id, name FROM tempdb_t ORDER BY id;"
        "INSERT INTO tempdb_t VALUES (1, 'dup');"
        "UPDATE tempdb_t SET name = 'b' WHERE id = 2;"
        "DROP TABLE tempdb_t");
    const auto done = ofType(tokens, td::kTokenDone);
    ASSERT_EQ(done.size(), 6u);
    const uint16_t more = td::kDoneMore, count = td::kDoneCount, error = td::kDoneError;
    EXPECT_EQ(done[0].status, more);  // CREATE TABLE: no count
    EXPECT_EQ(done[1].status, more | count);
    EXPECT_EQ(done[1].count, 2u);
    EXPECT_EQ(done[2].status, more | count);
    EXPECT_EQ(done[2].count, 2u);
    EXPECT_EQ(done[3].status & (more | error), more | error);  // duplicate key ends only its statement
    EXPECT_EQ(done[4].status, more | count);
    EXPECT_EQ(done[4].count, 1u);
    EXPECT_EQ(done[5].status, 0);
    EXPECT_EQ(messageNumbers(tokens), (std::vector<int32_t>{2627, 3621}));
    const auto rows = ofType(tokens, td::kTokenRow);
    const auto nbcRows = ofType(tokens, td::kTokenNbcRow);
    EXPECT_EQ(rows.size() + nbcRows.size(), 2u);
}

TEST_F(ServerProtocol, VarcharTravelsInWindows1252AndNvarcharInUtf16) {
    auto client = connect();
    const auto tokens = client->batch(
        "CREATE TABLE texts (v varchar(10), n nvarchar(10));"
        "INSERT INTO texts VALUES (N'\xE2\x82\xAC\xC3\xA9\xD0\x96', N'\xE2\x82\xAC\xD0\x96');"
        "SELECT v, n FROM texts; DROP TABLE texts");
    const auto rows = ofType(tokens, td::kTokenRow);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(*rows[0].values[0], (Bytes{0x80, 0xE9, '?'}));  // € é, and Ж has no place in code page 1252
    EXPECT_EQ(*rows[0].values[1], (Bytes{0xAC, 0x20, 0x16, 0x04}));
    // The log keeps the text as received, in UTF-8.
    EXPECT_NE(server->statements().back().sql.find("N'\xE2\x82\xAC\xC3\xA9\xD0\x96'"), std::string::npos);
}

TEST_F(ServerProtocol, AttentionIsAcknowledgedWhileStreamingAndAfterwards) {
    auto client = connect();
    client->batch("CREATE TABLE many (n int NOT NULL, s varchar(100) NOT NULL)");
    std::string insert = "INSERT INTO many VALUES ";
    for (int i = 0; i < 1000; ++i)
        insert += (i ? ",(" : "(") + std::to_string(i) + ", '" + std::string(100, 'z') + "')";
    for (int i = 0; i < 20; ++i) client->batch(insert);

    // Ask for 20000 rows, read one packet, cancel: the interrupted answer ends short of all rows,
    // and the acknowledgement follows as a message of its own.
    client->send(clientPackets(0x01, sqlBatchPayload("SELECT n, s FROM many")));
    client->send(Bytes{0x06, 0x01, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00});
    const auto cancelled = client->readTokens();
    ASSERT_FALSE(cancelled.empty());
    EXPECT_EQ(cancelled.back().type, td::kTokenDone);
    EXPECT_EQ(cancelled.back().status & td::kDoneMore, 0);
    EXPECT_LT(ofType(cancelled, td::kTokenRow).size(), 20000u);
    EXPECT_EQ(doneStatuses(client->readTokens()), std::vector<uint16_t>{td::kDoneAttention});

    // An attention after a complete answer still gets its acknowledgement.
    client->batch("SELECT 1");
    client->send(Bytes{0x06, 0x01, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(doneStatuses(client->readTokens()), std::vector<uint16_t>{td::kDoneAttention});

    const auto after = client->batch("SELECT COUNT(*) FROM many");
    ASSERT_EQ(ofType(after, td::kTokenRow).size(), 1u);
    EXPECT_EQ(intValue(ofType(after, td::kTokenRow)[0].values[0]), 20000);
    client->batch("DROP TABLE many");
}

TEST_F(ServerProtocol, TransactionManagerRequestsBeginCommitAndRollBack) {
    auto client = connect("sa", "standin", "lin2db");
    auto tm = [&](const Bytes& body) {
        Bytes p;
        td::putU32LE(p, 22);
        td::putU32LE(p, 18);
        td::putU16LE(p, 2);
        td::putU64LE(p, 0);
        td::putU32LE(p, 1);
        td::putBytes(p, body);
        client->send(clientPackets(0x0E, p));
        return client->readTokens();
    };
    client->batch("CREATE TABLE tx (n int)");
    const auto begun = ofType(tm({5, 0, 0, 0}), td::kTokenEnvChange);
    ASSERT_EQ(begun.size(), 1u);
    EXPECT_EQ(begun[0].envType, td::kEnvBeginTransaction);
    ASSERT_EQ(begun[0].envNew.size(), 8u);
    client->batch("INSERT INTO tx VALUES (1)");
    // Rollback, then begin anew (what an ODBC client with autocommit off sends).
    const auto rolled = ofType(tm({8, 0, 0, 1, 0, 0}), td::kTokenEnvChange);
    ASSERT_EQ(rolled.size(), 2u);
    EXPECT_EQ(rolled[0].envType, td::kEnvRollbackTransaction);
    EXPECT_EQ(rolled[0].envOld, begun[0].envNew);
    EXPECT_EQ(rolled[1].envType, td::kEnvBeginTransaction);
    client->batch("INSERT INTO tx VALUES (2)");
    const auto committed = ofType(tm({7, 0, 0, 0, 0}), td::kTokenEnvChange);
    ASSERT_EQ(committed.size(), 1u);
    EXPECT_EQ(committed[0].envType, td::kEnvCommitTransaction);
    const auto rows = ofType(client->batch("SELECT n FROM tx"), td::kTokenRow);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(intValue(rows[0].values[0]), 2);
    // Commit without a transaction: SQL Server's error, connection stays.
    EXPECT_EQ(messageNumbers(tm({7, 0, 0, 0, 0})), std::vector<int32_t>{3902});
    // Transactions begun and ended by statements announce themselves the same way.
    const auto inBatch =
        ofType(client->batch("BEGIN TRANSACTION; INSERT INTO tx VALUES (3); COMMIT"), td::kTokenEnvChange);
    ASSERT_EQ(inBatch.size(), 2u);
    EXPECT_EQ(inBatch[0].envType, td::kEnvBeginTransaction);
    EXPECT_EQ(inBatch[1].envType, td::kEnvCommitTransaction);
    EXPECT_EQ(inBatch[1].envOld, inBatch[0].envNew);
    client->batch("DROP TABLE tx");
}

TEST_F(ServerProtocol, AConnectionClosedInsideATransactionRollsItBack) {
    auto client = connect("sa", "standin", "lin2db");
    client->batch("CREATE TABLE keep (n int)");
    client->batch("BEGIN TRANSACTION; INSERT INTO keep VALUES (1)");
    client.reset();
    for (int i = 0; i < 100 && server->openConnections() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto other = connect("sa", "standin", "lin2db");
    EXPECT_TRUE(ofType(other->batch("SELECT n FROM keep"), td::kTokenRow).empty());
    other->batch("DROP TABLE keep");
}

TEST_F(ServerProtocol, UnsupportedRequestsGetAnErrorAndTheConnectionGoesOn) {
    auto client = connect();
    const auto answer = client->rpc(rpcByName("sp_who", {}));
    const auto errors = ofType(answer, td::kTokenError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 2812);
    EXPECT_EQ(errors[0].text, "Could not find stored procedure 'sp_who'.");
    EXPECT_EQ(answer.back().type, td::kTokenDoneProc);

    client->send(clientPackets(0x07, Bytes{1, 2, 3}));
    EXPECT_EQ(messageNumbers(client->readTokens()), std::vector<int32_t>{4002});
    client->send(clientPackets(0x55, Bytes{1, 2, 3}));
    EXPECT_EQ(messageNumbers(client->readTokens()), std::vector<int32_t>{4002});
    EXPECT_EQ(ofType(client->batch("SELECT 1"), td::kTokenRow).size(), 1u);
}

// ---- remote procedure calls ----

namespace {

constexpr uint16_t kExecuteSql = 10, kPrepare = 11, kExecute = 12, kPrepExec = 13, kUnprepare = 15;

struct RpcCase {
    const char* name;
    Bytes payload;
    std::vector<int32_t> errors;
    std::optional<int32_t> returnStatus;                   // nullopt: no RETURNSTATUS (the call was aborted)
    std::vector<std::pair<std::string, int32_t>> outputs;  // RETURNVALUEs in order
    std::vector<int32_t> firstColumn;                      // first column of the rows, all int
};

std::vector<RpcCase> rpcCases() {
    const auto stmt = [](const char* sql) { return nvarcharParam("", std::string(sql)); };
    return {
        {"typed parameters by position",
         rpcById(kExecuteSql, {stmt("SELECT @a + @b"), stmt("@a int, @b int"), intParam("", 40), intParam("", 2)}),
         {},
         0,
         {},
         {42}},
        {"parameters by name in any order",
         rpcByName("sp_executesql",
                   {nvarcharParam("@statement", std::string("SELECT @a - @b")),
                    nvarcharParam("@params", std::string("@a int, @b int")), intParam("@B", 2), intParam("@a", 44)}),
         {},
         0,
         {},
         {42}},
        {"text parameter converted to its declared type",
         rpcById(kExecuteSql, {stmt("SELECT @n * 2"), stmt("@n int"), nvarcharParam("", std::string("21"))}),
         {},
         0,
         {},
         {42}},
        {"output parameter and return status",
         rpcById(kExecuteSql, {stmt("SET @out = @a * 2"), stmt("@a int, @out int OUTPUT"), intParam("", 21),
                               intParam("@out", std::nullopt, true)}),
         {},
         0,
         {{"@out", 42}},
         {}},
        {"statement without parameters", rpcByName("sys.sp_executesql", {stmt("SELECT 7")}), {}, 0, {}, {7}},
        {"a parameter not supplied",
         rpcById(kExecuteSql, {stmt("SELECT @a"), stmt("@a int")}),
         {8178},
         std::nullopt,
         {},
         {}},
        {"too many arguments",
         rpcById(kExecuteSql, {stmt("SELECT @a"), stmt("@a int"), intParam("", 1), intParam("", 2)}),
         {8144},
         std::nullopt,
         {},
         {}},
        {"an unknown parameter name",
         rpcById(kExecuteSql, {stmt("SELECT 1"), stmt(""), intParam("@zz", 1)}),
         {8145},
         std::nullopt,
         {},
         {}},
        {"no statement", rpcById(kExecuteSql, {}), {201}, std::nullopt, {}, {}},
        {"a statement error returns its number", rpcById(kExecuteSql, {stmt("SELECT 1/0")}), {8134}, 8134, {}, {}},
        {"a conversion error aborts the call",
         rpcById(kExecuteSql, {stmt("SELECT CAST('x' AS int)")}),
         {245},
         std::nullopt,
         {},
         {}},
        {"an undeclared variable", rpcById(kExecuteSql, {stmt("SELECT @nope")}), {137}, std::nullopt, {}, {}},
        {"an unknown handle", rpcById(kExecute, {intParam("", 999)}), {8179}, std::nullopt, {}, {}},
        {"other procedures are not found", rpcByName("sp_who", {}), {2812}, std::nullopt, {}, {}},
    };
}

std::vector<std::pair<std::string, int32_t>> outputsOf(const std::vector<Token>& tokens) {
    std::vector<std::pair<std::string, int32_t>> out;
    for (const auto& t : ofType(tokens, td::kTokenReturnValue))
        out.emplace_back(t.paramName, t.values[0] ? intValue(t.values[0]) : -1);
    return out;
}

std::vector<int32_t> firstColumnOf(const std::vector<Token>& tokens) {
    std::vector<int32_t> out;
    for (const auto& t : tokens)
        if (t.type == td::kTokenRow || t.type == td::kTokenNbcRow) out.push_back(intValue(t.values[0]));
    return out;
}

}  // namespace

TEST_F(ServerProtocol, RemoteProcedureCallsRunAsSqlServerRunsThem) {
    auto client = connect();
    for (const auto& c : rpcCases()) {
        SCOPED_TRACE(c.name);
        const auto answer = client->rpc(c.payload);
        std::vector<int32_t> errors;
        for (const auto& t : ofType(answer, td::kTokenError)) errors.push_back(t.number);
        EXPECT_EQ(errors, c.errors);
        const auto status = ofType(answer, td::kTokenReturnStatus);
        if (c.returnStatus) {
            ASSERT_EQ(status.size(), 1u);
            EXPECT_EQ(status[0].returnStatus, *c.returnStatus);
        } else {
            EXPECT_TRUE(status.empty());
        }
        EXPECT_EQ(outputsOf(answer), c.outputs);
        EXPECT_EQ(firstColumnOf(answer), c.firstColumn);
        // Statements end with DONEINPROC, the call with a final DONEPROC.
        ASSERT_FALSE(answer.empty());
        EXPECT_EQ(answer.back().type, td::kTokenDoneProc);
        EXPECT_EQ(answer.back().status & td::kDoneMore, 0);
        EXPECT_TRUE(ofType(answer, td::kTokenDone).empty());
    }
    EXPECT_EQ(ofType(client->batch("SELECT 1"), td::kTokenRow).size(), 1u);
}

TEST_F(ServerProtocol, PreparedStatementsLiveUntilUnprepared) {
    auto client = connect("sa", "standin", "lin2db");
    client->batch("CREATE TABLE prep (id int IDENTITY PRIMARY KEY, n int)");
    const auto handleOf = [](const std::vector<Token>& answer) {
        const auto values = ofType(answer, td::kTokenReturnValue);
        EXPECT_EQ(values.size(), 1u);
        return values.empty() ? -1 : intValue(values[0].values[0]);
    };
    const auto prepared =
        client->rpc(rpcById(kPrepare, {intParam("", std::nullopt, true), nvarcharParam("", std::string("@P1 int")),
                                       nvarcharParam("", std::string("INSERT INTO prep (n) VALUES (@P1)"))}));
    const int32_t insert = handleOf(prepared);
    EXPECT_EQ(ofType(prepared, td::kTokenReturnStatus).size(), 1u);
    for (int32_t n : {5, 6}) {
        const auto run = client->rpc(rpcById(kExecute, {intParam("", insert), intParam("", n)}));
        const auto counts = ofType(run, td::kTokenDoneInProc);
        ASSERT_EQ(counts.size(), 1u);
        EXPECT_EQ(counts[0].count, 1u);
        EXPECT_NE(counts[0].status & td::kDoneCount, 0);
    }
    // sp_prepexec prepares and runs at once; the handle comes back with the rows.
    const auto prepexec = client->rpc(rpcById(
        kPrepExec, {intParam("@handle", std::nullopt, true), nvarcharParam("", std::string("@min int")),
                    nvarcharParam("", std::string("SELECT n FROM prep WHERE n >= @min ORDER BY n")), intParam("", 6)}));
    EXPECT_EQ(firstColumnOf(prepexec), std::vector<int32_t>{6});
    const int32_t select = handleOf(prepexec);
    EXPECT_NE(select, insert);
    EXPECT_EQ(firstColumnOf(client->rpc(rpcById(kExecute, {intParam("", select), intParam("@min", 0)}))),
              (std::vector<int32_t>{5, 6}));
    // Syntax errors show when preparing; no handle is made.
    EXPECT_EQ(messageNumbers(
                  client->rpc(rpcById(kPrepare, {intParam("", std::nullopt, true), nvarcharParam("", std::string("")),
                                                 nvarcharParam("", std::string("SELECT FROM"))}))),
              std::vector<int32_t>{156});
    EXPECT_TRUE(messageNumbers(client->rpc(rpcById(kUnprepare, {intParam("", insert)}))).empty());
    EXPECT_EQ(messageNumbers(client->rpc(rpcById(kExecute, {intParam("", insert), intParam("", 7)}))),
              std::vector<int32_t>{8179});
    EXPECT_EQ(firstColumnOf(client->batch("SELECT COUNT(*) FROM prep")), std::vector<int32_t>{2});
    // Handles belong to their connection.
    auto other = connect("sa", "standin", "lin2db");
    EXPECT_EQ(messageNumbers(other->rpc(rpcById(kExecute, {intParam("", select), intParam("", 0)}))),
              std::vector<int32_t>{8179});
    client->batch("DROP TABLE prep");
}

TEST_F(ServerProtocol, SeveralCallsInOneRequestEachEndWithTheirDoneProc) {
    auto client = connect();
    Bytes both = rpcById(kExecuteSql, {nvarcharParam("", std::string("SELECT 1"))});
    const Bytes second = rpcById(kExecuteSql, {nvarcharParam("", std::string("SELECT 2"))});
    both.push_back(0xFF);                                        // the batch flag between calls
    both.insert(both.end(), second.begin() + 22, second.end());  // the second call without ALL_HEADERS
    const auto answer = client->rpc(both);
    EXPECT_EQ(firstColumnOf(answer), (std::vector<int32_t>{1, 2}));
    const auto procs = ofType(answer, td::kTokenDoneProc);
    ASSERT_EQ(procs.size(), 2u);
    EXPECT_NE(procs[0].status & td::kDoneMore, 0);
    EXPECT_EQ(procs[1].status & td::kDoneMore, 0);
}

TEST_F(ServerProtocol, AttentionCancelsAWaitForDelay) {
    auto client = connect();
    const auto started = std::chrono::steady_clock::now();
    client->send(clientPackets(0x01, sqlBatchPayload("SELECT 1 WAITFOR DELAY '00:01:00' SELECT 2")));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    client->send(Bytes{0x06, 0x01, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00});
    // What ran before the wait arrives as the interrupted answer, then the acknowledgement.
    const auto interrupted = client->readTokens();
    EXPECT_EQ(firstColumnOf(interrupted), std::vector<int32_t>{1});
    EXPECT_EQ(doneStatuses(client->readTokens()), std::vector<uint16_t>{td::kDoneAttention});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(firstColumnOf(client->batch("SELECT 3")), std::vector<int32_t>{3});
}

TEST_F(ServerProtocol, NamedTransactionsAreReadByTheirByteLength) {
    auto client = connect();
    auto tm = [&](const Bytes& body) {
        Bytes p = sqlBatchPayload("");
        td::putBytes(p, body);
        client->send(clientPackets(0x0E, p));
        return client->readTokens();
    };
    // "tx1" is six bytes of UTF-16.
    const auto begun = tm({5, 0, 0, 6, 't', 0, 'x', 0, '1', 0});
    ASSERT_EQ(ofType(begun, td::kTokenEnvChange).size(), 1u);
    const auto committed = tm({7, 0, 6, 't', 0, 'x', 0, '1', 0, 0});
    ASSERT_EQ(ofType(committed, td::kTokenEnvChange).size(), 1u);
    EXPECT_EQ(ofType(committed, td::kTokenEnvChange)[0].envType, td::kEnvCommitTransaction);
    EXPECT_EQ(firstColumnOf(client->batch("SELECT @@TRANCOUNT")), std::vector<int32_t>{0});
}

TEST_F(ServerProtocol, MalformedInputClosesOnlyThatConnection) {
    auto bystander = connect();
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes shortHeader = clientPackets(0x01, sqlBatchPayload("SELECT 1"));
    shortHeader[3] = 4;
    Bytes oddText = sqlBatchPayload("SELECT 1");
    oddText.push_back(0x41);
    Bytes headersTooLong = sqlBatchPayload("SELECT 1");
    headersTooLong[0] = 0xFF;
    Bytes innerHeaderTooLong = sqlBatchPayload("SELECT 1");
    innerHeaderTooLong[4] = 0xF0;
    Bytes endless;
    const Bytes piece = clientPackets(0x01, Bytes(32000, 0x20), 32767, 0x00);
    for (size_t sent = 0; sent <= td::kMaxRequestSize; sent += 32000) td::putBytes(endless, piece);
    const Case cases[] = {
        {"length below header", shortHeader},
        {"odd number of text bytes", clientPackets(0x01, oddText)},
        {"ALL_HEADERS longer than the request", clientPackets(0x01, headersTooLong)},
        {"inner header longer than ALL_HEADERS", clientPackets(0x01, innerHeaderTooLong)},
        {"second login", clientPackets(0x10, Bytes(100, 0))},
        {"request without end", endless},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = connect();
        try {
            client->send(c.bytes);
            // Either an error record and then the close, or the close at once.
            if (auto answer = client->readMessage()) {
                EXPECT_EQ(messageNumbers(decodeTokens(*answer)), std::vector<int32_t>{4002});
            }
            EXPECT_TRUE(client->closedByServer());
        } catch (const std::runtime_error&) {
            // The server closed while the rest of the request was still being sent.
        }
    }
    EXPECT_EQ(ofType(bystander->batch("SELECT 1"), td::kTokenRow).size(), 1u);
}

TEST_F(ServerProtocol, MalformedLoginsAreRefusedWithoutHarm) {
    Bytes cutLogin;
    {
        td::Login7 l;
        l.tdsVersion = td::kTds74;
        l.userName = "sa";
        cutLogin = td::buildLogin7(l);
        cutLogin[42] = 0x7F;  // user name far longer than the message
    }
    const Bytes cases[] = {
        clientPackets(0x12, Bytes{0x01, 0x00, 0x50, 0x00, 0x01, 0xFF}),  // PRELOGIN option beyond its end
        clientPackets(0x10, cutLogin), clientPackets(0x01, sqlBatchPayload("SELECT 1")),  // a batch before logging in
    };
    for (const auto& bytes : cases) {
        TdsTestClient client(server->port());
        client.send(bytes);
        EXPECT_TRUE(client.closedByServer());
    }
    {
        TdsTestClient cut(server->port());
        cut.send(Bytes{0x12, 0x01, 0x00});  // a header cut short, then the client leaves
    }
    connect();
}

TEST(ServerEncryption, PreLoginAnswersFollowTheModeAndRequiredDropsClientsWithoutTls) {
    struct Case {
        td::EncryptionMode mode;
        uint8_t offered;
        std::optional<uint8_t> answer;  // nullopt: closed unanswered
    };
    const Case cases[] = {
        {td::EncryptionMode::On, 0x00, 0x00},       {td::EncryptionMode::On, 0x01, 0x01},
        {td::EncryptionMode::On, 0x02, 0x02},       {td::EncryptionMode::On, 0x03, 0x01},
        {td::EncryptionMode::Required, 0x00, 0x03}, {td::EncryptionMode::Required, 0x01, 0x01},
        {td::EncryptionMode::Required, 0x02, {}},   {td::EncryptionMode::Off, 0x00, 0x02},
        {td::EncryptionMode::Off, 0x01, 0x02},      {td::EncryptionMode::Off, 0x03, 0x02},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(td::encryptionModeName(c.mode)) + " / offered " + std::to_string(c.offered));
        ServerOptions options;
        options.encryption = c.mode;
        Server server(options);
        server.start();
        TdsTestClient client(server.port());
        const auto reply = client.preLogin(c.offered);
        if (!c.answer) {
            EXPECT_FALSE(reply.has_value());
            continue;
        }
        ASSERT_TRUE(reply.has_value());
        ASSERT_GT(reply->size(), 32u);
        EXPECT_EQ((*reply)[32], *c.answer);  // the ENCRYPTION option's byte
    }
}

TEST(ServerEncryption, AClientThatBreaksTheHandshakeEndsOnlyItsConnection) {
    Server server;
    server.start();
    const Bytes notTls = clientPackets(0x12, Bytes{0x17, 0x03, 0x03, 0x00, 0x01, 0x00});  // data before any handshake
    const Bytes loginInstead = clientPackets(0x10, Bytes(100, 0));
    for (const Bytes* bytes : {&loginInstead, &notTls}) {
        TdsTestClient client(server.port());
        ASSERT_TRUE(client.preLogin(0x00).has_value());  // "off": the server expects a TLS handshake
        client.send(*bytes);
        EXPECT_TRUE(client.closedByServer());
    }
    TdsTestClient clear(server.port());
    const auto tokens = clear.login();
    EXPECT_EQ(ofType(tokens, td::kTokenLoginAck).size(), 1u);
    EXPECT_EQ(ofType(clear.batch("SELECT 1"), td::kTokenRow).size(), 1u);
    ASSERT_EQ(server.connectionEncryption().size(), 1u);
    EXPECT_EQ(server.connectionEncryption()[0].encryption, "none");
}

TEST(ServerEncryption, RequiredRefusesALoginWithoutPreLogin) {
    ServerOptions options;
    options.encryption = td::EncryptionMode::Required;
    Server server(options);
    server.start();
    TdsTestClient client(server.port());
    td::Login7 l;
    l.tdsVersion = td::kTds74;
    l.userName = "sa";
    l.password = "standin";
    client.send(clientPackets(0x10, td::buildLogin7(l)));
    EXPECT_TRUE(client.closedByServer());
}

TEST_F(ServerProtocol, FaultsDropDelayAndFailTheNextBatch) {
    auto client = connect();
    auto bystander = connect();

    server->dropNextBatch();
    client->send(clientPackets(0x01, sqlBatchPayload("SELECT 1")));
    EXPECT_TRUE(client->closedByServer());
    EXPECT_EQ(ofType(bystander->batch("SELECT 1"), td::kTokenRow).size(), 1u);  // only the next batch

    Message dup{2627, 1, 14, "Violation of PRIMARY KEY constraint 'PK_x'.", "", 1};
    Message terminated{3621, 0, 10, "The statement has been terminated.", "", 1};
    server->failNextBatch({dup, terminated});
    const auto failed = bystander->batch("SELECT 1");
    EXPECT_EQ(messageNumbers(failed), (std::vector<int32_t>{2627, 3621}));
    EXPECT_TRUE(ofType(failed, td::kTokenRow).empty());
    EXPECT_EQ(doneStatuses(failed), std::vector<uint16_t>{td::kDoneError});
    EXPECT_EQ(ofType(bystander->batch("SELECT 1"), td::kTokenRow).size(), 1u);

    server->failNextBatch({{50000, 1, 20, "fatal", "", 1}});
    EXPECT_EQ(messageNumbers(bystander->batch("SELECT 1")), std::vector<int32_t>{50000});
    EXPECT_TRUE(bystander->closedByServer());

    // A delayed answer can be cancelled; the batch then does not run.
    auto slow = connect("sa", "standin", "lin2db");
    slow->batch("CREATE TABLE delayed (n int)");
    server->setDelay(std::chrono::milliseconds(5000));
    slow->send(clientPackets(0x01, sqlBatchPayload("INSERT INTO delayed VALUES (1)")));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    slow->send(Bytes{0x06, 0x01, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(doneStatuses(slow->readTokens()), std::vector<uint16_t>{td::kDoneFinal});
    EXPECT_EQ(doneStatuses(slow->readTokens()), std::vector<uint16_t>{td::kDoneAttention});
    server->setDelay(std::chrono::milliseconds(0));
    EXPECT_TRUE(ofType(slow->batch("SELECT n FROM delayed"), td::kTokenRow).empty());
    slow->batch("DROP TABLE delayed");
}

TEST_F(ServerProtocol, ControlStatementIsForTheAdministratorOnly) {
    auto op = connect("operator", "secret");
    const auto denied = op->batch("STANDIN DROP NEXT BATCH");
    EXPECT_EQ(messageNumbers(denied), std::vector<int32_t>{15247});
    EXPECT_EQ(ofType(op->batch("SELECT 1"), td::kTokenRow).size(), 1u);  // no fault was set

    auto admin = connect();
    EXPECT_EQ(messageNumbers(admin->batch("STANDIN DROP NEXT")), std::vector<int32_t>{102});
    const auto set = admin->batch("standin fail next batch 208 16 1 'Invalid object name ''x''.'");
    ASSERT_EQ(ofType(set, td::kTokenInfo).size(), 1u);
    const auto failed = op->batch("SELECT 1");
    ASSERT_EQ(ofType(failed, td::kTokenError).size(), 1u);
    EXPECT_EQ(ofType(failed, td::kTokenError)[0].text, "Invalid object name 'x'.");

    admin->batch("STANDIN REFUSE LOGINS 1");
    TdsTestClient refused(server->port());
    EXPECT_EQ(messageNumbers(refused.login()), std::vector<int32_t>{18456});
    admin->batch("STANDIN DROP NEXT BATCH");
    admin->batch("STANDIN CLEAR");
    EXPECT_EQ(ofType(op->batch("SELECT 1"), td::kTokenRow).size(), 1u);
}

TEST_F(ServerProtocol, StatementLogNumbersConnectionsAndKeepsEveryBatch) {
    server->clearStatements();
    auto first = connect();
    auto second = connect();
    first->batch("SELECT 1");
    second->batch("SELECT 2 -- \"quoted\"\r\n");
    server->dropNextBatch();
    first->send(clientPackets(0x01, sqlBatchPayload("SELECT 3")));
    first->closedByServer();
    const auto log = server->statements();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].sql, "SELECT 1");
    EXPECT_EQ(log[1].sql, "SELECT 2 -- \"quoted\"\r\n");
    EXPECT_NE(log[0].connection, log[1].connection);
    EXPECT_EQ(log[2].connection, log[0].connection);
    EXPECT_EQ(log[2].sql, "SELECT 3");  // logged before the fault struck
}

TEST_F(ServerProtocol, SeveralConnectionsWorkAtOnce) {
    {
        auto setup = connect("sa", "standin", "lin2db");
        setup->batch("CREATE TABLE parallel (worker int, n int)");
    }
    constexpr int kWorkers = 8;
    constexpr int kInserts = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            try {
                TdsTestClient client(server->port());
                client.login("sa", "standin", "lin2db");
                for (int i = 0; i < kInserts; ++i) {
                    const auto t = client.batch("INSERT INTO parallel VALUES (" + std::to_string(w) + ", " +
                                                std::to_string(i) + ")");
                    if (doneStatuses(t) != std::vector<uint16_t>{td::kDoneCount}) ++failures;
                }
            } catch (const std::exception&) {
                ++failures;
            }
        });
    }
    for (auto& t : workers) t.join();
    EXPECT_EQ(failures, 0);
    auto check = connect("sa", "standin", "lin2db");
    const auto rows = ofType(check->batch("SELECT COUNT(*) FROM parallel"), td::kTokenRow);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(intValue(rows[0].values[0]), kWorkers * kInserts);
    check->batch("DROP TABLE parallel");
}

// The login's collation change names the server's default collation, which its databases took.
TEST(ServerCollation, LoginSendsTheDatabasesCollation) {
    ServerOptions options;
    options.collation = "Cyrillic_General_CI_AS";
    Server server(options);
    server.start();
    TdsTestClient client(server.port());
    const auto tokens = client.login("sa", "standin", "lin2db", 4096);
    const auto env = ofType(tokens, td::kTokenEnvChange);
    ASSERT_GE(env.size(), 2u);
    EXPECT_EQ(env[1].envType, td::kEnvCollation);
    EXPECT_EQ(env[1].envNew, (Bytes{0x19, 0x04, 0xD0, 0x00, 0x00}));
}
