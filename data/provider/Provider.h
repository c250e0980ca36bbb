#pragma once
// The provider seam: the small set of OLE DB-shaped operations the connection, command and record-set
// layers call, with the provider's own result codes (HRESULT values). The production implementation
// is ODBC (data/provider/OdbcProvider.h); tests may install a scripted provider instead.
//
// How the layers above use it
// ---------------------------
//  * Every operation returns an HRESULT. S_OK (0) means success; any other value goes through the
//    connection's result check, which reads the error object of the failing call with
//    provider::GetErrorInfo() (one per thread, taken and cleared by the read, like COM's). Every
//    operation clears it when it starts; a successful one may leave the server's informational
//    messages there (the info-message path of the result check).
//  * Creation: CurrentProvider().CreateDataSource(classId, out). classId is "SQLNCLI.1" or
//    "SQLOLEDB.1" (any case); REGDB_E_CLASSNOTREG when that class has no usable implementation. The
//    fallback from one class to the other is the caller's business (the connection object does it).
//  * Data source (IDBInitialize + IDBProperties + IDBCreateSession): SetProperties with one
//    PropertySet per call (statuses are written back into the set), Initialize, GetDataSourceInfo,
//    CreateSession, Uninitialize.
//  * Session (ISessionProperties + ITransactionLocal + IDBCreateCommand): SetProperties
//    (PropertySetId::Session and PropertySetId::DataSource for the current catalog), StartTransaction
//    with an ISOLATIONLEVEL_* value, Commit, Abort, CreateCommand.
//  * Command (ICommandText + ICommandProperties + ICommand): SetCommandText, SetProperties
//    (PropertySetId::Rowset, e.g. DBPROP_COMMANDTIMEOUT), Execute. Execute hands back either a
//    MultipleResults object (ExecuteMode::MultipleResults) or the first result's Rowset
//    (ExecuteMode::Rowset), and the rows-affected count of the first result.
//  * MultipleResults::GetResult steps through the batch's results: S_OK with a rowset, S_OK without a
//    rowset (a result that carries only a row count; affectedRows is set), DB_S_NORESULT at the end.
//  * Rowset: GetColumnInfo (DBCOLUMNINFO-like descriptions), FetchBlock (up to N rows written straight
//    into caller memory by a row-wise binding; returns DB_S_ENDOFROWSET when the rowset is exhausted),
//    and long values streamed in pieces to a LongDataSink during the same FetchBlock.
//  * Only one rowset per session may be outstanding at a time (default result set, as with SQL Server);
//    a command executed while another rowset is unread fails with DB_E_OBJECTOPEN.
//
// Objects are owned by std::unique_ptr; destroying an object releases it (a Rowset closes its cursor,
// a Session ends, a DataSource uninitialises). A session or rowset must not outlive its data source.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace provider {

using HRESULT = int32_t;

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }
constexpr HRESULT MakeResult(uint32_t value) { return static_cast<HRESULT>(value); }

// Result codes (values as the platform defines them).
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeResult(0x800401F0);
inline constexpr HRESULT DB_S_ENDOFROWSET = MakeResult(0x00040EC0);
inline constexpr HRESULT DB_S_ROWLIMITEXCEEDED = MakeResult(0x00040EC6);
inline constexpr HRESULT DB_S_NORESULT = MakeResult(0x00040EC9);
inline constexpr HRESULT DB_S_ERRORSOCCURRED = MakeResult(0x00040EDA);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = MakeResult(0x80040E21);
inline constexpr HRESULT DB_E_OBJECTOPEN = MakeResult(0x80040E05);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = MakeResult(0x80040E14);
inline constexpr HRESULT DB_E_CANCELED = MakeResult(0x80040E4E);
inline constexpr HRESULT DB_E_NOTABLE = MakeResult(0x80040E37);
inline constexpr HRESULT DB_E_BADACCESSORHANDLE = MakeResult(0x80040E00);
inline constexpr HRESULT DB_E_BADBINDINFO = MakeResult(0x80040E08);
inline constexpr HRESULT DB_E_NOTREENTRANT = MakeResult(0x80040E0E);
inline constexpr HRESULT DB_E_ALREADYINITIALIZED = MakeResult(0x80040E52);
inline constexpr HRESULT DB_E_NOTINITIALIZED = MakeResult(0x80040E1E);
inline constexpr HRESULT XACT_E_NOTRANSACTION = MakeResult(0x8004D00E);
inline constexpr HRESULT XACT_E_XTIONEXISTS = MakeResult(0x8004D013);

// ---------------------------------------------------------------------------------------------------
// Properties

enum class PropertySetId {
    DBInit,           // DBPROPSET_DBINIT
    SQLServerDBInit,  // DBPROPSET_SQLSERVERDBINIT
    DataSource,       // DBPROPSET_DATASOURCE
    DataSourceInfo,   // DBPROPSET_DATASOURCEINFO
    Session,          // DBPROPSET_SESSION
    Rowset,           // DBPROPSET_ROWSET
};

using PropertyId = uint32_t;

// DBPROPSET_DBINIT
inline constexpr PropertyId DBPROP_AUTH_INTEGRATED = 0x07;
inline constexpr PropertyId DBPROP_AUTH_PASSWORD = 0x09;
inline constexpr PropertyId DBPROP_AUTH_USERID = 0x0C;
inline constexpr PropertyId DBPROP_INIT_DATASOURCE = 0x3B;
inline constexpr PropertyId DBPROP_INIT_HWND = 0x3C;
inline constexpr PropertyId DBPROP_INIT_PROMPT = 0x40;
inline constexpr PropertyId DBPROP_INIT_TIMEOUT = 0x42;
inline constexpr PropertyId DBPROP_INIT_CATALOG = 0xE9;
// DBPROPSET_SQLSERVERDBINIT
inline constexpr PropertyId SSPROP_INIT_CURRENTLANGUAGE = 4;
inline constexpr PropertyId SSPROP_INIT_NETWORKLIBRARY = 6;
inline constexpr PropertyId SSPROP_INIT_AUTOTRANSLATE = 8;
inline constexpr PropertyId SSPROP_INIT_PACKETSIZE = 9;
inline constexpr PropertyId SSPROP_INIT_APPNAME = 10;
inline constexpr PropertyId SSPROP_INIT_WSID = 11;
inline constexpr PropertyId SSPROP_INIT_ENCRYPT = 13;
// DBPROPSET_DATASOURCE
inline constexpr PropertyId DBPROP_CURRENTCATALOG = 0x25;
inline constexpr PropertyId DBPROP_MULTIPLECONNECTIONS = 0xED;
// DBPROPSET_DATASOURCEINFO
inline constexpr PropertyId DBPROP_DBMSNAME = 0x28;
inline constexpr PropertyId DBPROP_DBMSVER = 0x29;
inline constexpr PropertyId DBPROP_PROVIDERVER = 0x2C;
inline constexpr PropertyId DBPROP_PROVIDEROLEDBVER = 0xB1;
// DBPROPSET_SESSION
inline constexpr PropertyId DBPROP_SESS_AUTOCOMMITISOLEVELS = 0xBE;
// DBPROPSET_ROWSET
inline constexpr PropertyId DBPROP_COMMANDTIMEOUT = 0x22;
inline constexpr PropertyId DBPROP_OTHERINSERT = 87;        // rows others insert become visible
inline constexpr PropertyId DBPROP_OTHERUPDATEDELETE = 88;  // others' updates and deletes become visible
inline constexpr PropertyId DBPROP_OWNINSERT = 89;          // the rowset's own inserts become visible
inline constexpr PropertyId DBPROP_OWNUPDATEDELETE = 90;    // its own updates and deletes become visible
inline constexpr PropertyId DBPROP_SERVERCURSOR = 108;      // a server-side cursor
inline constexpr PropertyId DBPROP_IColumnsRowset = 123;    // the columns rowset interface
inline constexpr PropertyId DBPROP_IRowsetChange = 127;     // rows can be changed
inline constexpr PropertyId DBPROP_IRowsetUpdate = 134;     // changes can be held and sent later
inline constexpr PropertyId DBPROP_IMultipleResults = 217;  // results of a batch one after another
inline constexpr PropertyId DBPROP_ACCESSORDER = 231;       // the order the columns may be read in
inline constexpr PropertyId DBPROP_UNIQUEROWS = 238;        // key columns are added so rows stay apart

// DBPROP_ACCESSORDER values
inline constexpr int32_t DBPROPVAL_AO_RANDOM = 2;  // the columns may be read in any order

inline constexpr int16_t DBPROMPT_NOPROMPT = 4;

enum DBPropOptions : uint32_t { DBPROPOPTIONS_REQUIRED = 0, DBPROPOPTIONS_OPTIONAL = 1 };

enum DBPropStatus : uint32_t {
    DBPROPSTATUS_OK = 0,
    DBPROPSTATUS_NOTSUPPORTED = 1,
    DBPROPSTATUS_BADVALUE = 2,
    DBPROPSTATUS_BADOPTION = 3,
    DBPROPSTATUS_BADCOLUMN = 4,
    DBPROPSTATUS_NOTALLSETTABLE = 5,
    DBPROPSTATUS_NOTSETTABLE = 6,
    DBPROPSTATUS_NOTSET = 7,
    DBPROPSTATUS_CONFLICTING = 8,
    DBPROPSTATUS_NOTAVAILABLE = 9,
};

// A property value: strings (the byte strings of the layers above, in the system code page), 4-byte and 2-byte
// integers, booleans (VARIANT_BOOL on the platform).
using PropertyValue = std::variant<std::monostate, std::string, int32_t, int16_t, bool>;

struct Property {
    PropertyId id = 0;
    uint32_t options = DBPROPOPTIONS_REQUIRED;
    uint32_t status = DBPROPSTATUS_OK;  // written by SetProperties
    PropertyValue value;
};

struct PropertySet {
    PropertySetId id = PropertySetId::DBInit;
    std::vector<Property> properties;
};

// SetProperties result: S_OK when all were set; DB_S_ERRORSOCCURRED when only optional ones were not;
// DB_E_ERRORSOCCURRED when a required one was refused (statuses tell which).

// What GetDataSourceInfo reports (DBPROPSET_DATASOURCEINFO).
struct DataSourceInfo {
    std::string dbmsName;     // "Microsoft SQL Server"
    std::string dbmsVersion;  // "10.00.2000": major number before the first "."
    std::string providerOleDbVersion;
    std::string providerVersion;  // major number before the first "." (the layers above refuse < 7)
};

// ISOLATIONLEVEL_* values.
inline constexpr int32_t ISOLATIONLEVEL_READUNCOMMITTED = 0x100;
inline constexpr int32_t ISOLATIONLEVEL_READCOMMITTED = 0x1000;
inline constexpr int32_t ISOLATIONLEVEL_REPEATABLEREAD = 0x10000;
inline constexpr int32_t ISOLATIONLEVEL_ISOLATED = 0x100000;

// ---------------------------------------------------------------------------------------------------
// Errors: the error object of the last failing call on this thread.

// Which interface an error record belongs to (ErrorInterface of the layers above).
enum class InterfaceId {
    None,
    IDBInitialize,
    IDBProperties,
    IDBCreateSession,
    ISessionProperties,
    ITransactionLocal,
    IDBCreateCommand,
    ICommandText,
    ICommandProperties,
    ICommand,
    IMultipleResults,
    IRowset,
    IColumnsInfo,
    IAccessor,
};

// ISQLServerErrorInfo's record. FreeTDS gives neither the state nor the procedure name (0 and "").
struct SqlServerError {
    std::string message;  // without the driver's bracketed prefix
    std::string serverName;
    std::string procName;
    int32_t nativeError = 0;
    uint8_t state = 0;
    uint8_t severityClass = 0;
    uint16_t lineNumber = 0;
};

struct ErrorRecord {
    HRESULT result = E_FAIL;  // basic error information: the record's own code
    InterfaceId interfaceId = InterfaceId::None;
    std::string description;
    std::string sqlState;                     // ODBC SQLSTATE (informative; not used by the layers above)
    std::optional<SqlServerError> sqlServer;  // present when the record carries SQL Server details
};

struct ErrorInfo {
    std::string description;           // IErrorInfo::GetDescription: the first record's text
    std::vector<ErrorRecord> records;  // in the provider's order
};

// Replaces this thread's error object (nullptr clears it).
void SetErrorInfo(std::unique_ptr<ErrorInfo> info);
// Takes this thread's error object (nullptr when there is none) and clears it.
std::unique_ptr<ErrorInfo> GetErrorInfo();

// ---------------------------------------------------------------------------------------------------
// Columns and rows

// DBTYPE codes.
using DBTYPE = uint16_t;
inline constexpr DBTYPE DBTYPE_EMPTY = 0;
inline constexpr DBTYPE DBTYPE_I2 = 2;
inline constexpr DBTYPE DBTYPE_I4 = 3;
inline constexpr DBTYPE DBTYPE_R4 = 4;
inline constexpr DBTYPE DBTYPE_R8 = 5;
inline constexpr DBTYPE DBTYPE_CY = 6;
inline constexpr DBTYPE DBTYPE_DATE = 7;
inline constexpr DBTYPE DBTYPE_BOOL = 11;
inline constexpr DBTYPE DBTYPE_VARIANT = 12;
inline constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
inline constexpr DBTYPE DBTYPE_DECIMAL = 14;
inline constexpr DBTYPE DBTYPE_UI1 = 17;
inline constexpr DBTYPE DBTYPE_I1 = 16;
inline constexpr DBTYPE DBTYPE_UI2 = 18;
inline constexpr DBTYPE DBTYPE_UI4 = 19;
inline constexpr DBTYPE DBTYPE_I8 = 20;
inline constexpr DBTYPE DBTYPE_UI8 = 21;
inline constexpr DBTYPE DBTYPE_GUID = 72;
inline constexpr DBTYPE DBTYPE_BYTES = 128;
inline constexpr DBTYPE DBTYPE_STR = 129;
inline constexpr DBTYPE DBTYPE_WSTR = 130;
inline constexpr DBTYPE DBTYPE_NUMERIC = 131;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;

// DBCOLUMNFLAGS
inline constexpr uint32_t DBCOLUMNFLAGS_ISBOOKMARK = 0x1;
inline constexpr uint32_t DBCOLUMNFLAGS_MAYDEFER = 0x2;
inline constexpr uint32_t DBCOLUMNFLAGS_WRITE = 0x4;
inline constexpr uint32_t DBCOLUMNFLAGS_WRITEUNKNOWN = 0x8;
inline constexpr uint32_t DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10;
inline constexpr uint32_t DBCOLUMNFLAGS_ISNULLABLE = 0x20;
inline constexpr uint32_t DBCOLUMNFLAGS_MAYBENULL = 0x40;
inline constexpr uint32_t DBCOLUMNFLAGS_ISLONG = 0x80;
inline constexpr uint32_t DBCOLUMNFLAGS_ISROWID = 0x100;
inline constexpr uint32_t DBCOLUMNFLAGS_ISROWVER = 0x200;

// One result column, as IColumnsInfo/IColumnsRowset describe it.
struct ColumnInfo {
    std::string name;            // system code page
    uint32_t ordinal = 0;        // 1-based
    DBTYPE type = DBTYPE_EMPTY;  // provider type
    uint32_t columnSize = 0;     // characters for character types, bytes for binary types
    uint8_t precision = 0;
    uint8_t scale = 0;
    uint32_t flags = 0;  // DBCOLUMNFLAGS_*
    bool isAutoIncrement = false;
    std::string baseCatalogName;  // empty unless the server sends table names
    std::string baseSchemaName;
    std::string baseTableName;
    std::string baseColumnName;
};

// DBSTATUS values written into the caller's status words.
enum DBStatus : uint32_t {
    DBSTATUS_S_OK = 0,
    DBSTATUS_E_BADACCESSOR = 1,
    DBSTATUS_E_CANTCONVERTVALUE = 2,
    DBSTATUS_S_ISNULL = 3,
    DBSTATUS_S_TRUNCATED = 4,
    DBSTATUS_E_SIGNMISMATCH = 5,
    DBSTATUS_E_DATAOVERFLOW = 6,
    DBSTATUS_E_CANTCREATE = 7,
    DBSTATUS_E_UNAVAILABLE = 8,
    DBSTATUS_E_PERMISSIONDENIED = 9,
    DBSTATUS_E_INTEGRITYVIOLATION = 10,
    DBSTATUS_E_SCHEMAVIOLATION = 11,
    DBSTATUS_E_BADSTATUS = 12,
    DBSTATUS_S_DEFAULT = 13,
};

inline constexpr size_t NoOffset = static_cast<size_t>(-1);

// One column bound into the caller's rows. Row r of a block starts at buffer + r * rowSize.
//  value   at valueOffset, in the representation of `type`:
//          DBTYPE_I2 int16, DBTYPE_I4 int32, DBTYPE_I8 int64, DBTYPE_R8 double, DBTYPE_BOOL int16
//          (VARIANT_BOOL: -1 true, 0 false), DBTYPE_DATE double (OLE date: days since 1899-12-30),
//          DBTYPE_CY int64 (value x 10000), DBTYPE_GUID 16 bytes (platform GUID layout),
//          DBTYPE_STR bytes + terminating zero (system code page), DBTYPE_WSTR UTF-16 units + zero unit,
//          DBTYPE_BYTES raw bytes. maxLength is the room at valueOffset in bytes (terminator included).
//  length  at lengthOffset (uint32, bytes without terminator) unless NoOffset.
//  status  at statusOffset (uint32, DBSTATUS_*) unless NoOffset.
// A stream binding (stream = true) writes nothing at valueOffset; the value is handed to the
// LongDataSink in pieces instead (type DBTYPE_STR, DBTYPE_WSTR or DBTYPE_BYTES for the piece bytes).
struct Binding {
    uint32_t ordinal = 0;
    DBTYPE type = DBTYPE_STR;
    size_t valueOffset = 0;
    size_t lengthOffset = NoOffset;
    size_t statusOffset = NoOffset;
    size_t maxLength = 0;
    bool stream = false;

    bool operator==(const Binding&) const = default;
};

// Receives long values during FetchBlock: every piece of one value in order (pieces of at most
// LongDataPieceSize bytes), then End. A null value gives End(..., true) without pieces.
class LongDataSink {
public:
    virtual ~LongDataSink() = default;
    virtual void Piece(size_t row, size_t binding, std::string_view bytes) = 0;
    virtual void End(size_t row, size_t binding, bool isNull) = 0;
};

inline constexpr size_t LongDataPieceSize = 65514;

class Rowset {
public:
    virtual ~Rowset() = default;
    virtual HRESULT GetColumnInfo(std::vector<ColumnInfo>& columns) = 0;
    // Reads up to maxRows rows into buffer (row-wise, rowSize bytes per row). rowsFetched is set to the
    // rows written. S_OK when maxRows rows came; DB_S_ENDOFROWSET when the rowset ended (rowsFetched may
    // still be > 0). Long data of stream bindings goes to sink (required when a binding is a stream).
    // Truncated values are reported by their DBSTATUS_S_TRUNCATED status, not by the result code.
    // A failure (error object posted) may come after some rows: rowsFetched still counts them, and the
    // rowset is then finished. After the end the statement's remaining results are read off and the
    // session is free for the next command (a rowset from MultipleResults leaves that to GetResult).
    virtual HRESULT FetchBlock(const std::vector<Binding>& bindings, void* buffer, size_t rowSize, size_t maxRows,
                               size_t& rowsFetched, LongDataSink* sink = nullptr) = 0;
};

class MultipleResults {
public:
    virtual ~MultipleResults() = default;
    // Next result: S_OK with rowset set (a result set) or null (a row count only, in affectedRows);
    // DB_S_NORESULT when no result is left. An error of one statement fails its step.
    virtual HRESULT GetResult(int32_t& affectedRows, std::unique_ptr<Rowset>& rowset) = 0;
};

enum class ExecuteMode {
    NoResult,         // run; results are drained and only the last row count is kept
    Rowset,           // hand back the first result set, skipping row-count-only results
    MultipleResults,  // hand back the results object untouched
};

struct ExecuteResult {
    int32_t affectedRows = -1;
    std::unique_ptr<Rowset> rowset;
    std::unique_ptr<MultipleResults> results;
};

class Command {
public:
    virtual ~Command() = default;
    virtual HRESULT SetCommandText(std::string_view text) = 0;  // system code page
    virtual HRESULT SetProperties(PropertySet& set) = 0;        // PropertySetId::Rowset
    virtual HRESULT Execute(ExecuteMode mode, ExecuteResult& result) = 0;
};

class Session {
public:
    virtual ~Session() = default;
    virtual HRESULT SetProperties(PropertySet& set) = 0;
    virtual HRESULT StartTransaction(int32_t isolationLevel) = 0;
    virtual HRESULT Commit() = 0;  // not retaining, synchronous
    virtual HRESULT Abort() = 0;
    virtual HRESULT CreateCommand(std::unique_ptr<Command>& command) = 0;
};

class DataSource {
public:
    virtual ~DataSource() = default;
    virtual HRESULT SetProperties(PropertySet& set) = 0;
    virtual HRESULT Initialize() = 0;
    virtual HRESULT Uninitialize() = 0;
    virtual HRESULT GetDataSourceInfo(DataSourceInfo& info) = 0;
    virtual HRESULT CreateSession(std::unique_ptr<Session>& session) = 0;
    // True when the driver knows the link to the server is gone: nothing sent on it can arrive.
    virtual bool LinkLost() const { return false; }
    // The characters of a server name, user id or password that this data source cannot pass to its
    // driver without changing what they mean; empty when it can pass every character of value.
    virtual std::string UnsayableCharacters(std::string_view value) const {
        (void)value;
        return {};
    }
};

class Provider {
public:
    virtual ~Provider() = default;
    // REGDB_E_CLASSNOTREG when the class has no usable implementation; CO_E_NOTINITIALIZED when the
    // provider run-time was not initialised on this thread.
    virtual HRESULT CreateDataSource(std::string_view classId, std::unique_ptr<DataSource>& dataSource) = 0;
};

// The provider the layers above use: the ODBC provider unless a test installed another.
Provider& CurrentProvider();

// Installs another provider for the life of this object (tests).
class ScopedProvider {
public:
    explicit ScopedProvider(Provider& replacement);
    ~ScopedProvider();
    ScopedProvider(const ScopedProvider&) = delete;
    ScopedProvider& operator=(const ScopedProvider&) = delete;

private:
    Provider* previous_;
};

}  // namespace provider
