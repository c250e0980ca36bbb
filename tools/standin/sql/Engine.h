#pragma once
// The stand-in's SQL engine: tables of three databases, the T-SQL subset, SQL Server's errors and
// the data file. The protocol side (TDS) hands it one batch at a time and turns what it reports to
// a ResultSink into tokens, so results stream and a million-row SELECT never sits in memory twice.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

namespace standin {

enum class SqlType {
    Int,
    SmallInt,
    TinyInt,
    BigInt,
    Bit,
    Real,
    Float,
    Money,
    SmallMoney,
    Decimal,
    DateTime,
    SmallDateTime,
    Char,
    VarChar,
    NChar,
    NVarChar,
    Binary,
    VarBinary,
    Text,
    NText,
    Image,
    UniqueIdentifier
};

struct Collation;

struct ColumnType {
    SqlType type = SqlType::Int;
    int length = 0;     // bytes for char and binary types, characters for N-types; -1 for max/text kinds
    int precision = 0;  // decimal/numeric
    int scale = 0;
    // Text types: the collation, null for the server's default one. A literal's collation is the
    // database default, which gives way to a column's when the two meet (coercible).
    const Collation* collation = nullptr;
    bool coercible = false;
};

struct Column {
    std::string name;  // UTF-8
    ColumnType type;
    bool nullable = true;
    bool identity = false;
};

struct DateTimeValue {  // SQL Server datetime: days since 1900-01-01 and 1/300 s ticks since midnight
    int32_t days = 0;
    uint32_t ticks = 0;
};

struct DecimalValue {  // unscaled value with the column's scale; money is Decimal with scale 4
    __int128 unscaled = 0;
    int scale = 0;
};

using Guid = std::array<uint8_t, 16>;  // in SQL Server's wire byte order

// One cell. Char kinds hold their text as UTF-8, restricted to what the collation's code page holds
// (CodePage.h gives its bytes; the TDS side sends those); N-kinds hold UTF-16 code units; binary
// kinds hold raw bytes.
using Value = std::variant<std::monostate, int64_t, double, DecimalValue, std::string, std::u16string,
                           std::vector<uint8_t>, DateTimeValue, Guid>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// An error or informational message with SQL Server's number, state and severity class.
struct Message {
    int32_t number = 0;
    uint8_t state = 1;
    uint8_t severity = 16;  // <= 10: informational (INFO token), otherwise ERROR token
    std::string text;       // UTF-8
    std::string procedure;
    int32_t line = 1;
};

// Receives what a batch produces, in order. Statements that change rows report done(count, true).
class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void columns(const std::vector<Column>& columns) = 0;
    virtual void row(const std::vector<Value>& values) = 0;
    // End of one statement; hasCount tells whether count is meaningful (SELECT, INSERT, UPDATE, DELETE).
    virtual void done(int64_t count, bool hasCount, bool error) = 0;
    virtual void message(const Message& message) = 0;
    // The current database changed (USE): the protocol side sends the ENVCHANGE. The engine reports
    // SQL Server's informational 5701 "Changed database context to '...'." itself through message().
    virtual void databaseChanged(const std::string& oldName, const std::string& newName) = 0;
    // A transaction began, was committed or was rolled back by a statement of a batch (BEGIN TRAN,
    // COMMIT, ROLLBACK; only the outermost level): the protocol side may send the ENVCHANGE (types
    // 8, 9, 10) with transactionId as the descriptor. Session::inTransaction and transactionId show
    // the same state after each call. Not called for the transaction-manager requests below, whose
    // caller knows what it asked for.
    enum class TransactionChange { Began, Committed, RolledBack };
    virtual void transactionChanged(TransactionChange /*change*/, int64_t /*transactionId*/) {}
    // WAITFOR DELAY: waits while other sessions go on; a sink that sees the client cancel meanwhile
    // throws, as its other calls do.
    virtual void wait(std::chrono::milliseconds delay) { std::this_thread::sleep_for(delay); }
};

// A variable of the batch: a parameter of a parameterised request (sp_executesql and the prepared
// statements). Names keep their '@' and compare without regard to case.
struct Variable {
    std::string name;
    ColumnType type;
    Value value;
    bool output = false;  // the caller wants the value back
};

// Per-connection state the engine keeps between batches.
struct Session {
    std::string database = "master";
    bool quotedIdentifier = true;
    int64_t textSize = 4096;
    bool inTransaction = false;
    int64_t transactionId = 0;
    // Set by the protocol side at login; the engine answers @@SPID and SUSER_SNAME() with them.
    int32_t spid = 51;
    std::string login = "sa";
    // Kept by the engine between batches.
    int transactionLevel = 0;              // @@TRANCOUNT
    std::optional<int64_t> lastIdentity;   // @@IDENTITY: the session's last identity value
    std::optional<int64_t> scopeIdentity;  // SCOPE_IDENTITY(): the same, but only from the current batch
    int64_t rowCount = 0;                  // @@ROWCOUNT
    int32_t lastError = 0;                 // @@ERROR
    bool noCount = false;                  // SET NOCOUNT: statements report no row counts
    int64_t rowCountLimit = 0;             // SET ROWCOUNT (0: no limit)
    std::string identityInsertTable;       // SET IDENTITY_INSERT: "db.dbo.table" that takes explicit values
    bool xactAbort = false;                // SET XACT_ABORT: every run-time error ends the batch and its transaction
    std::string serverName = "standin";    // @@SERVERNAME, as in the server's error records
    std::vector<Variable> variables;       // parameters of the request being run
};

// How a batch ended.
struct BatchOutcome {
    bool aborted = false;   // an error that ends the batch was raised (the rest, if any, did not run)
    int32_t lastError = 0;  // number of the last error raised, 0 when none was
};

// The release the stand-in answers as, everywhere a client can see it.
struct ServerRelease {
    static constexpr int kMajor = 15, kMinor = 0, kBuild = 2000, kRevision = 5;  // SQL Server 2019 RTM
    static constexpr const char* kProductVersion = "15.0.2000.5";
    static constexpr const char* kVersionText =
        "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n"
        "\tSep 24 2019 13:48:23 \n"
        "\tCopyright (C) 2019 Microsoft Corporation\n"
        "\tDeveloper Edition (64-bit) on Linux (vac-standin) <X64>";
};

struct EngineOptions {
    std::optional<std::string> dataFile;
    // The server's default collation, which its databases and their new columns take.
    std::string collation = "SQL_Latin1_General_CP1_CI_AS";
    // T-SQL scripts (name for messages, text) run on an empty store instead of the built-in account
    // tables, batch by batch (GO lines), going on after a failing batch as sqlcmd does.
    std::vector<std::pair<std::string, std::string>> schemaScripts;
};

class Engine {
public:
    // Without a data file the tables live in memory only. A damaged file throws std::runtime_error
    // with a message naming the file; it is never replaced. An existing file keeps its tables and
    // collations; a file of the previous layout has its account tables converted into the current
    // ones. An unknown collation throws std::invalid_argument.
    explicit Engine(std::optional<std::string> dataFile = std::nullopt);
    explicit Engine(EngineOptions options);

    // What the start did that the operator should hear of: a converted data file, and each
    // schema script batch that an error cut short, with SQL Server's error.
    const std::vector<std::string>& startReport() const;
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool hasDatabase(std::string_view name) const;
    // The collation of a database (the server's default for one that does not exist).
    const Collation& databaseCollation(std::string_view name) const;

    // Seeds n demo accounts (with varied flags and game-master rows) when the account tables are empty.
    void seedDemo(int n);

    // Runs one batch (UTF-8 text). Thread-safe: batches of different sessions interleave only while
    // one waits in WAITFOR DELAY.
    // Committed changes are on disk (with a data file) before this returns. Every statement ends with
    // done(); an error is message() then done(0, false, true). A syntax error stops the batch before
    // anything runs; errors such as 208, 207 and conversion failures end the batch after what ran
    // before, conversion failures (245 ...) also roll back an open transaction, as every run-time
    // error does under SET XACT_ABORT ON; 2627, 515, 2628 end only their statement (followed by
    // the informational 3621).
    // An exception thrown by a sink call (a closed connection, a cancel) takes back the statement
    // that was running and leaves execute() unchanged; earlier statements of the batch stay done.
    // session.variables are the batch's parameters; output ones hold their last value afterwards.
    BatchOutcome execute(Session& session, std::string_view batch, ResultSink& sink);

    // Transaction-manager requests. They report errors (3902 / 3903 for commit / rollback without a
    // transaction) through message() only and call neither done() nor transactionChanged(): the
    // caller answers with its own ENVCHANGE and DONE. Begin inside an open transaction nests.
    void beginTransaction(Session& session, ResultSink& sink);
    void commitTransaction(Session& session, ResultSink& sink);
    void rollbackTransaction(Session& session, ResultSink& sink);
    // A connection closed with a transaction open: its changes are rolled back.
    void endSession(Session& session);

    // Checks that every table's key indexes agree with its rows and that each value has its
    // column's representation; throws std::logic_error naming the table otherwise. For tests and fuzzing.
    void checkConsistency() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace standin
