#include "data/provider/OdbcProvider.h"

#include "data/provider/OdbcDiagnostics.h"
#include "data/provider/OdbcHandle.h"

#include "common/AsciiText.h"
#include "common/VersionNumber.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>

namespace provider {

namespace {

constexpr HRESULT DB_SEC_E_AUTH_FAILED = MakeResult(0x80040E4D);

// ---------------------------------------------------------------------------------------------------
// Shared state of one ODBC connection: the data source, its sessions, commands and rowsets use it.

struct StatementState;

struct ConnectionState {
    OdbcHandle dbc{SQL_HANDLE_DBC};
    DriverTraits traits;
    StatementState* active = nullptr;  // the statement whose results are still being read
    int32_t autocommitIsolation = ISOLATIONLEVEL_READCOMMITTED;
    int32_t currentIsolation = ISOLATIONLEVEL_READCOMMITTED;
    bool inTransaction = false;

    bool Alive() const { return static_cast<bool>(dbc); }
};

struct StatementState {
    std::shared_ptr<ConnectionState> connection;
    OdbcHandle stmt{SQL_HANDLE_STMT};
    int generation = 0;  // advances with every result, so a stale rowset object notices
    bool open = false;   // results pending on the server

    explicit StatementState(std::shared_ptr<ConnectionState> c) : connection(std::move(c)) {}
    ~StatementState() {
        Close();
        // A statement of a closed connection went with its SQLDisconnect.
        if (!connection->Alive()) stmt.Abandon();
    }
    StatementState(const StatementState&) = delete;
    StatementState& operator=(const StatementState&) = delete;

    // Discards what is left of the results (the driver cancels them on the server).
    void Close() {
        if (open && connection->Alive() && stmt) SQLFreeStmt(stmt.Get(), SQL_CLOSE);
        open = false;
        ++generation;
        if (connection->active == this) connection->active = nullptr;
    }
};

SQLULEN IsolationToOdbc(int32_t level) {
    switch (level) {
    case ISOLATIONLEVEL_READUNCOMMITTED: return SQL_TXN_READ_UNCOMMITTED;
    case ISOLATIONLEVEL_REPEATABLEREAD: return SQL_TXN_REPEATABLE_READ;
    case ISOLATIONLEVEL_ISOLATED: return SQL_TXN_SERIALIZABLE;
    default: return SQL_TXN_READ_COMMITTED;
    }
}

bool KnownIsolation(int32_t level) {
    return level == ISOLATIONLEVEL_READUNCOMMITTED || level == ISOLATIONLEVEL_READCOMMITTED ||
           level == ISOLATIONLEVEL_REPEATABLEREAD || level == ISOLATIONLEVEL_ISOLATED;
}

HRESULT SetIsolation(ConnectionState& c, int32_t level, InterfaceId iid) {
    if (c.currentIsolation == level) return S_OK;
    SQLRETURN rc = SQLSetConnectAttr(c.dbc.Get(), SQL_ATTR_TXN_ISOLATION,
                                     reinterpret_cast<SQLPOINTER>(IsolationToOdbc(level)), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc)) return PostDiagnostics(SQL_HANDLE_DBC, c.dbc.Get(), E_FAIL, iid, c.traits);
    c.currentIsolation = level;
    return S_OK;
}

HRESULT NotConnected(InterfaceId iid) { return PostError(E_UNEXPECTED, iid, "The data source is not initialized."); }

// ---------------------------------------------------------------------------------------------------
// Property checking

enum class ValueKind { String, Int32, Int16, Bool, Any };

std::optional<ValueKind> ExpectedKind(PropertySetId set, PropertyId id) {
    switch (set) {
    case PropertySetId::DBInit:
        switch (id) {
        case DBPROP_INIT_DATASOURCE:
        case DBPROP_INIT_CATALOG:
        case DBPROP_AUTH_INTEGRATED:
        case DBPROP_AUTH_USERID:
        case DBPROP_AUTH_PASSWORD: return ValueKind::String;
        case DBPROP_INIT_TIMEOUT:
        case DBPROP_INIT_HWND: return ValueKind::Int32;
        case DBPROP_INIT_PROMPT: return ValueKind::Int16;
        default: return std::nullopt;
        }
    case PropertySetId::SQLServerDBInit:
        switch (id) {
        case SSPROP_INIT_WSID:
        case SSPROP_INIT_APPNAME:
        case SSPROP_INIT_CURRENTLANGUAGE:
        case SSPROP_INIT_NETWORKLIBRARY: return ValueKind::String;
        case SSPROP_INIT_AUTOTRANSLATE:
        case SSPROP_INIT_ENCRYPT: return ValueKind::Bool;
        case SSPROP_INIT_PACKETSIZE: return ValueKind::Int32;
        default: return std::nullopt;
        }
    case PropertySetId::DataSource:
        if (id == DBPROP_CURRENTCATALOG) return ValueKind::String;
        if (id == DBPROP_MULTIPLECONNECTIONS) return ValueKind::Bool;
        return std::nullopt;
    case PropertySetId::Session:
        if (id == DBPROP_SESS_AUTOCOMMITISOLEVELS) return ValueKind::Int32;
        return std::nullopt;
    case PropertySetId::Rowset:
        if (id == DBPROP_COMMANDTIMEOUT) return ValueKind::Int32;
        // What a default result set is anyway: access order, unique rows, column rowset,
        // multiple results, and the cursor behaviours that it does not have.
        switch (id) {
        case DBPROP_ACCESSORDER:
        case DBPROP_UNIQUEROWS:
        case DBPROP_IColumnsRowset:
        case DBPROP_IMultipleResults:
        case DBPROP_SERVERCURSOR:
        case DBPROP_OWNINSERT:
        case DBPROP_OTHERINSERT:
        case DBPROP_OTHERUPDATEDELETE:
        case DBPROP_OWNUPDATEDELETE:
        case DBPROP_IRowsetChange:
        case DBPROP_IRowsetUpdate: return ValueKind::Any;
        default: return std::nullopt;
        }
    case PropertySetId::DataSourceInfo: return std::nullopt;
    }
    return std::nullopt;
}

bool HasKind(const PropertyValue& v, ValueKind kind) {
    switch (kind) {
    case ValueKind::String: return std::holds_alternative<std::string>(v);
    case ValueKind::Int32: return std::holds_alternative<int32_t>(v);
    case ValueKind::Int16: return std::holds_alternative<int16_t>(v);
    case ValueKind::Bool: return std::holds_alternative<bool>(v);
    case ValueKind::Any: return !std::holds_alternative<std::monostate>(v);
    }
    return false;
}

// Marks each property's status and returns the SetProperties result. check(property) may refuse a
// value with a status of its own.
template <typename Check>
HRESULT CheckProperties(PropertySet& set, Check check) {
    bool anyRequiredRefused = false;
    bool anyOptionalRefused = false;
    size_t refused = 0;
    for (auto& p : set.properties) {
        auto kind = ExpectedKind(set.id, p.id);
        if (!kind) {
            p.status = DBPROPSTATUS_NOTSUPPORTED;
        } else if (!HasKind(p.value, *kind)) {
            p.status = DBPROPSTATUS_BADVALUE;
        } else {
            p.status = check(p);
        }
        if (p.status != DBPROPSTATUS_OK) {
            ++refused;
            (p.options == DBPROPOPTIONS_OPTIONAL ? anyOptionalRefused : anyRequiredRefused) = true;
        }
    }
    if (anyRequiredRefused || (refused > 0 && refused == set.properties.size())) return DB_E_ERRORSOCCURRED;
    if (anyOptionalRefused) return DB_S_ERRORSOCCURRED;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// Columns

DBTYPE MapSqlType(SQLSMALLINT sqlType, const std::string& typeName, uint32_t& flags) {
    auto name = AsciiUpper(typeName);
    switch (sqlType) {
    case SQL_CHAR: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_STR;
    case SQL_VARCHAR: return DBTYPE_STR;
    case SQL_LONGVARCHAR: flags |= DBCOLUMNFLAGS_ISLONG; return DBTYPE_STR;
    case SQL_WCHAR: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_WSTR;
    case SQL_WVARCHAR: return DBTYPE_WSTR;
    case SQL_WLONGVARCHAR: flags |= DBCOLUMNFLAGS_ISLONG; return DBTYPE_WSTR;
    case SQL_BINARY:
        flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
        if (name == "TIMESTAMP") flags |= DBCOLUMNFLAGS_ISROWVER;
        return DBTYPE_BYTES;
    case SQL_VARBINARY: return DBTYPE_BYTES;
    case SQL_LONGVARBINARY: flags |= DBCOLUMNFLAGS_ISLONG; return DBTYPE_BYTES;
    case SQL_INTEGER: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_I4;
    case SQL_SMALLINT: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_I2;
    case SQL_TINYINT: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_UI1;
    case SQL_BIT: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_BOOL;
    case SQL_BIGINT: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_I8;
    case SQL_REAL: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_R4;
    case SQL_FLOAT:
    case SQL_DOUBLE: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_R8;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
        return (name == "MONEY" || name == "SMALLMONEY") ? DBTYPE_CY : DBTYPE_NUMERIC;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case SQL_DATETIME: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_DBTIMESTAMP;
    case SQL_GUID: flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH; return DBTYPE_GUID;
    case -150: return DBTYPE_VARIANT;  // sql_variant
    default: return DBTYPE_EMPTY;
    }
}

std::string ColumnText(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field) {
    char buffer[512] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLColAttribute(stmt, column, field, buffer, sizeof buffer, &length, nullptr))) return {};
    return std::string(buffer,
                       std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), sizeof buffer - 1));
}

SQLLEN ColumnNumber(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLLEN value = 0;
    if (!SQL_SUCCEEDED(SQLColAttribute(stmt, column, field, nullptr, 0, nullptr, &value))) return 0;
    return value;
}

// ---------------------------------------------------------------------------------------------------
// Value conversion

struct CBinding {
    SQLSMALLINT cType = 0;
    size_t convertSize = 0;  // 0: written straight into the caller's row
};

std::optional<CBinding> CTypeFor(const Binding& b) {
    switch (b.type) {
    case DBTYPE_I2: return CBinding{SQL_C_SSHORT, 0};
    case DBTYPE_I4: return CBinding{SQL_C_SLONG, 0};
    case DBTYPE_I8: return CBinding{SQL_C_SBIGINT, 0};
    case DBTYPE_R4: return CBinding{SQL_C_FLOAT, 0};
    case DBTYPE_R8: return CBinding{SQL_C_DOUBLE, 0};
    case DBTYPE_UI1: return CBinding{SQL_C_UTINYINT, 0};
    case DBTYPE_GUID: return CBinding{SQL_C_GUID, 0};
    case DBTYPE_DBTIMESTAMP: return CBinding{SQL_C_TYPE_TIMESTAMP, 0};
    case DBTYPE_STR: return CBinding{SQL_C_CHAR, 0};
    case DBTYPE_WSTR: return CBinding{SQL_C_WCHAR, 0};
    case DBTYPE_BYTES: return CBinding{SQL_C_BINARY, 0};
    case DBTYPE_BOOL: return CBinding{SQL_C_BIT, 1};
    case DBTYPE_DATE: return CBinding{SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)};
    case DBTYPE_CY: return CBinding{SQL_C_CHAR, 32};
    default: return std::nullopt;
    }
}

size_t FixedSize(DBTYPE type) {
    switch (type) {
    case DBTYPE_I2:
    case DBTYPE_BOOL: return 2;
    case DBTYPE_I4:
    case DBTYPE_R4: return 4;
    case DBTYPE_I8:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_DATE: return 8;
    case DBTYPE_UI1: return 1;
    case DBTYPE_GUID:
    case DBTYPE_DBTIMESTAMP: return 16;
    default: return 0;
    }
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// OLE date: days since 1899-12-30; before that day the time of day still counts forwards.
double ToOleDate(const SQL_TIMESTAMP_STRUCT& ts) {
    const int64_t days = DaysFromCivil(ts.year, ts.month, ts.day) - DaysFromCivil(1899, 12, 30);
    const double fraction = (ts.hour * 3600.0 + ts.minute * 60.0 + ts.second + ts.fraction / 1e9) / 86400.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// "-1234.5678" -> -12345678 (x 10000); false when it does not fit.
bool ParseCurrency(const char* text, int64_t& out) {
    std::string_view s(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    __int128 value = 0;
    int decimals = -1;
    for (char c : s) {
        if (c == '.') {
            if (decimals >= 0) return false;
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (decimals >= 4) continue;  // money has four decimals; more digits are not expected
        value = value * 10 + (c - '0');
        if (decimals >= 0) ++decimals;
        if (value > (static_cast<__int128>(1) << 80)) return false;
    }
    for (int i = std::max(decimals, 0); i < 4; ++i) value *= 10;
    if (negative) value = -value;
    if (value > INT64_MAX || value < INT64_MIN) return false;
    out = static_cast<int64_t>(value);
    return true;
}

void WriteU32(char* row, size_t offset, uint32_t value) {
    if (offset != NoOffset) std::memcpy(row + offset, &value, sizeof value);
}

// After the driver wrote one value: status, length and converted value in the caller's row.
void FinishValue(const Binding& b, const CBinding& c, SQLLEN indicator, char* row, const char* converted) {
    uint32_t status = DBSTATUS_S_OK;
    uint32_t length = 0;
    if (indicator == SQL_NULL_DATA) {
        status = DBSTATUS_S_ISNULL;
    } else if (b.type == DBTYPE_STR || b.type == DBTYPE_WSTR || b.type == DBTYPE_BYTES) {
        const size_t terminator = b.type == DBTYPE_STR ? 1 : b.type == DBTYPE_WSTR ? 2 : 0;
        const size_t room = b.maxLength > terminator ? b.maxLength - terminator : 0;
        if (indicator == SQL_NO_TOTAL) {
            status = DBSTATUS_S_TRUNCATED;
            length = static_cast<uint32_t>(room);
        } else {
            length = static_cast<uint32_t>(indicator);
            if (static_cast<size_t>(indicator) > room) status = DBSTATUS_S_TRUNCATED;
        }
    } else {
        length = static_cast<uint32_t>(FixedSize(b.type));
        if (c.convertSize != 0) {
            char* value = row + b.valueOffset;
            if (b.type == DBTYPE_BOOL) {
                int16_t v = converted[0] != 0 ? -1 : 0;
                std::memcpy(value, &v, sizeof v);
            } else if (b.type == DBTYPE_DATE) {
                SQL_TIMESTAMP_STRUCT ts;
                std::memcpy(&ts, converted, sizeof ts);
                double v = ToOleDate(ts);
                std::memcpy(value, &v, sizeof v);
            } else if (b.type == DBTYPE_CY) {
                char text[33] = {};
                std::memcpy(text, converted, 32);
                int64_t v = 0;
                if (ParseCurrency(text, v)) {
                    std::memcpy(value, &v, sizeof v);
                } else {
                    status = DBSTATUS_E_DATAOVERFLOW;
                }
            }
        }
    }
    WriteU32(row, b.statusOffset, status);
    WriteU32(row, b.lengthOffset, length);
}

// Precision, scale and size in bytes that the provider reports for a type whose shape is fixed.
struct FixedColumnShape {
    DBTYPE type;
    uint8_t precision;
    uint8_t scale;
    uint32_t columnSize;
};
constexpr FixedColumnShape FixedColumnShapes[] = {
    {DBTYPE_CY, 19, 4, 8}, {DBTYPE_I4, 10, 0, 4},  {DBTYPE_I2, 5, 0, 2},
    {DBTYPE_UI1, 3, 0, 1}, {DBTYPE_I8, 19, 0, 8},  {DBTYPE_R8, 15, 0, 8},
    {DBTYPE_R4, 7, 0, 4},  {DBTYPE_BOOL, 0, 0, 2}, {DBTYPE_GUID, 0, 0, 16},
};

// Size, precision and scale of one column: a fixed shape from the table, or the driver's for decimals
// and date-times; other types keep the length the driver described.
void DescribeSize(ColumnInfo& info, SQLHSTMT stmt, SQLUSMALLINT column, SQLLEN length) {
    if (info.flags & DBCOLUMNFLAGS_ISLONG) length = 0x7FFFFFFF;
    info.columnSize = static_cast<uint32_t>(std::max<SQLLEN>(length, 0));
    for (const FixedColumnShape& shape : FixedColumnShapes) {
        if (shape.type != info.type) continue;
        info.precision = shape.precision;
        info.scale = shape.scale;
        info.columnSize = shape.columnSize;
        return;
    }
    if (info.type == DBTYPE_NUMERIC) {
        info.precision = static_cast<uint8_t>(ColumnNumber(stmt, column, SQL_DESC_PRECISION));
        info.scale = static_cast<uint8_t>(ColumnNumber(stmt, column, SQL_DESC_SCALE));
        info.columnSize = 19;
    } else if (info.type == DBTYPE_DBTIMESTAMP) {
        info.precision = static_cast<uint8_t>(length > 16 ? 23 : 16);
        info.scale = static_cast<uint8_t>(length > 16 ? 3 : 0);
        info.columnSize = 16;
    }
}

// One column of the current result as the driver describes it.
ColumnInfo DescribeColumn(SQLHSTMT stmt, SQLUSMALLINT column) {
    ColumnInfo info;
    info.ordinal = column;
    info.name = ColumnText(stmt, column, SQL_DESC_LABEL);
    if (info.name.empty()) info.name = ColumnText(stmt, column, SQL_DESC_NAME);
    const auto sqlType = static_cast<SQLSMALLINT>(ColumnNumber(stmt, column, SQL_DESC_CONCISE_TYPE));
    const std::string typeName = ColumnText(stmt, column, SQL_DESC_TYPE_NAME);
    info.type = MapSqlType(sqlType, typeName, info.flags);
    const SQLLEN length = ColumnNumber(stmt, column, SQL_DESC_LENGTH);
    if (length <= 0 && (info.type == DBTYPE_STR || info.type == DBTYPE_WSTR || info.type == DBTYPE_BYTES)) {
        info.flags |= DBCOLUMNFLAGS_ISLONG;  // (max) types
    }
    DescribeSize(info, stmt, column, length);
    if (ColumnNumber(stmt, column, SQL_DESC_NULLABLE) != SQL_NO_NULLS) {
        info.flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
    }
    if (ColumnNumber(stmt, column, SQL_DESC_UPDATABLE) != SQL_ATTR_READONLY) {
        info.flags |= DBCOLUMNFLAGS_WRITEUNKNOWN;
    }
    info.isAutoIncrement = ColumnNumber(stmt, column, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
    info.baseCatalogName = ColumnText(stmt, column, SQL_DESC_CATALOG_NAME);
    info.baseSchemaName = ColumnText(stmt, column, SQL_DESC_SCHEMA_NAME);
    info.baseTableName = ColumnText(stmt, column, SQL_DESC_BASE_TABLE_NAME);
    info.baseColumnName = ColumnText(stmt, column, SQL_DESC_BASE_COLUMN_NAME);
    return info;
}

constexpr size_t AlignUp(size_t n) { return (n + alignof(SQLLEN) - 1) & ~(alignof(SQLLEN) - 1); }

class OdbcRowset;

// ---------------------------------------------------------------------------------------------------

class OdbcRowset : public Rowset {
public:
    OdbcRowset(std::shared_ptr<StatementState> state, bool ownsStatement)
        : state_(std::move(state)), generation_(state_->generation), ownsStatement_(ownsStatement) {}

    ~OdbcRowset() override {
        // The driver must not keep pointers into this rowset's block for a later result.
        Unbind();
        if (ownsStatement_) state_->Close();
    }

    HRESULT GetColumnInfo(std::vector<ColumnInfo>& columns) override {
        SetErrorInfo(nullptr);
        columns.clear();
        if (!Current()) return PostError(E_UNEXPECTED, InterfaceId::IColumnsInfo, "The rowset is no longer available.");
        SQLSMALLINT count = 0;
        SQLHSTMT stmt = state_->stmt.Get();
        if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count))) {
            return PostFailure(SQL_HANDLE_STMT, stmt, state_->connection->dbc.Get(), E_FAIL, InterfaceId::IColumnsInfo,
                               Traits());
        }
        for (SQLSMALLINT i = 1; i <= count; ++i) columns.push_back(DescribeColumn(stmt, static_cast<SQLUSMALLINT>(i)));
        return S_OK;
    }

    HRESULT FetchBlock(const std::vector<Binding>& bindings, void* buffer, size_t rowSize, size_t maxRows,
                       size_t& rowsFetched, LongDataSink* sink) override {
        SetErrorInfo(nullptr);
        rowsFetched = 0;
        if (finished_) return DB_S_ENDOFROWSET;
        if (!Current()) return PostError(E_UNEXPECTED, InterfaceId::IRowset, "The rowset is no longer available.");
        if (maxRows == 0) return S_OK;
        // Later blocks of the layout already bound only fetch: it was checked and planned when bound.
        HRESULT hr =
            bound_ && maxRows == boundRows_ && bindings == boundBindings_
                ? FetchRowWise(bindings, boundCTypes_, static_cast<char*>(buffer), rowSize, maxRows, rowsFetched)
                : FetchNewLayout(bindings, buffer, rowSize, maxRows, rowsFetched, sink);
        if (Failed(hr)) return hr;
        if (rowsFetched < maxRows) {
            EndReached();
            return DB_S_ENDOFROWSET;
        }
        return S_OK;
    }

private:
    const DriverTraits& Traits() const { return state_->connection->traits; }
    bool Current() const { return state_->open && state_->generation == generation_ && state_->connection->Alive(); }

    HRESULT FetchNewLayout(const std::vector<Binding>& bindings, void* buffer, size_t rowSize, size_t maxRows,
                           size_t& rowsFetched, LongDataSink* sink) {
        std::vector<CBinding> cb;
        bool anyStream = false;
        for (const auto& b : bindings) {
            auto c = CTypeFor(b);
            if (!c || b.ordinal == 0) {
                return PostError(DB_E_BADBINDINFO, InterfaceId::IAccessor, "Unsupported binding type.");
            }
            if (b.stream) {
                if (b.type != DBTYPE_STR && b.type != DBTYPE_WSTR && b.type != DBTYPE_BYTES) {
                    return PostError(DB_E_BADBINDINFO, InterfaceId::IAccessor, "Unsupported stream type.");
                }
                if (sink == nullptr) {
                    return PostError(E_INVALIDARG, InterfaceId::IRowset, "A stream binding needs a long-data sink.");
                }
                anyStream = true;
            }
            cb.push_back(*c);
        }
        if (anyStream || maxRows == 1)
            return FetchOneByOne(bindings, cb, static_cast<char*>(buffer), rowSize, maxRows, rowsFetched, sink);
        if (HRESULT hr = BindBlock(bindings, cb, maxRows); Failed(hr)) return hr;
        return FetchRowWise(bindings, cb, static_cast<char*>(buffer), rowSize, maxRows, rowsFetched);
    }

    void EndReached() {
        Unbind();
        finished_ = true;
        if (ownsStatement_) {
            // The rest of the batch (row counts) is read off so the connection is free again.
            while (state_->connection->Alive()) {
                SQLRETURN rc = SQLMoreResults(state_->stmt.Get());
                if (rc == SQL_NO_DATA || rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) break;
            }
            state_->Close();
        }
    }

    HRESULT FetchFailed() {
        HRESULT hr = PostFailure(SQL_HANDLE_STMT, state_->stmt.Get(), state_->connection->dbc.Get(), E_FAIL,
                                 InterfaceId::IRowset, Traits());
        Unbind();
        finished_ = true;
        state_->Close();
        return hr;
    }

    // Binds the block rows once for the rowset's layout: ODBC keeps bindings across fetches, so later
    // blocks of the same layout only fetch.
    HRESULT BindBlock(const std::vector<Binding>& bindings, const std::vector<CBinding>& cb, size_t maxRows) {
        SQLHSTMT stmt = state_->stmt.Get();
        // Whatever an earlier rowset of the statement bound goes too.
        bound_ = false;
        if (!SQL_SUCCEEDED(ReleaseBindings(stmt))) return BindFailed(stmt, E_FAIL);
        columns_.clear();
        size_t stride = 0;
        for (size_t i = 0; i < bindings.size(); ++i) {
            const size_t fixed = FixedSize(bindings[i].type);
            const size_t room = cb[i].convertSize != 0 ? cb[i].convertSize : fixed != 0 ? fixed : bindings[i].maxLength;
            columns_.push_back(PlanColumn(bindings[i], cb[i], stride, room));
            stride = AlignUp(stride + sizeof(SQLLEN) + room);
        }
        stride = std::max<size_t>(stride, sizeof(SQLLEN));
        block_.assign(stride * maxRows, 0);
        stride_ = stride;
        // Bound from here on, so a failure below takes back whatever the driver was given.
        bound_ = true;
        if (!SQL_SUCCEEDED(SetBlockAttributes(stmt, stride, maxRows))) return BindFailed(stmt, E_FAIL);
        for (size_t i = 0; i < bindings.size(); ++i) {
            const BoundColumn& column = columns_[i];
            if (!SQL_SUCCEEDED(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(bindings[i].ordinal), cb[i].cType,
                                          block_.data() + column.valueAt, static_cast<SQLLEN>(column.room),
                                          reinterpret_cast<SQLLEN*>(block_.data() + column.indicatorAt)))) {
                return BindFailed(stmt, DB_E_BADBINDINFO);
            }
        }
        boundBindings_ = bindings;
        boundCTypes_ = cb;
        boundRows_ = maxRows;
        return S_OK;
    }

    // Points the statement's block cursor at this rowset's block: its stride, the rows of one fetch,
    // and where the driver writes the fetched count. No row status array: nothing reads one, and the
    // driver would fill it for every row. The first failure is returned.
    SQLRETURN SetBlockAttributes(SQLHSTMT stmt, size_t stride, size_t maxRows) {
        SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(stride), 0);
        if (SQL_SUCCEEDED(rc))
            rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(maxRows), 0);
        if (SQL_SUCCEEDED(rc)) rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0);
        return rc;
    }

    // A binding step the driver refused: its diagnostics become the error, and what it was given goes.
    HRESULT BindFailed(SQLHSTMT stmt, HRESULT result) {
        const InterfaceId iid = result == DB_E_BADBINDINFO ? InterfaceId::IAccessor : InterfaceId::IRowset;
        const HRESULT hr = PostFailure(SQL_HANDLE_STMT, stmt, state_->connection->dbc.Get(), result, iid, Traits());
        Unbind();
        return hr;
    }

    // Drops this rowset's block bindings while it still owns the statement (once it does not, the
    // next reader of the statement releases them before it fetches). There is nobody to tell of a
    // refusal here (destructor, end of the rows): the next reader releases them again and reports it.
    void Unbind() {
        const bool wasBound = bound_;
        bound_ = false;
        if (wasBound && Current()) (void)ReleaseBindings(state_->stmt.Get());
    }

    // Back to one row per fetch with nothing bound; the first failure is returned.
    static SQLRETURN ReleaseBindings(SQLHSTMT stmt) {
        SQLRETURN rc = SQLFreeStmt(stmt, SQL_UNBIND);
        if (SQL_SUCCEEDED(rc)) rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        if (SQL_SUCCEEDED(rc)) rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        return rc;
    }

    HRESULT FetchRowWise(const std::vector<Binding>& bindings, const std::vector<CBinding>& cb, char* rows,
                         size_t rowSize, size_t maxRows, size_t& rowsFetched) {
        SQLHSTMT stmt = state_->stmt.Get();
        fetched_ = 0;
        SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
        // Read before the next call on the statement clears them.
        std::vector<RawDiagnostic> warnings;
        if (rc == SQL_SUCCESS_WITH_INFO) warnings = ReadDiagnostics(SQL_HANDLE_STMT, stmt, Traits());
        if (rc == SQL_NO_DATA) return S_OK;
        if (!SQL_SUCCEEDED(rc)) return FetchFailed();
        rowsFetched = std::min(static_cast<size_t>(fetched_), maxRows);
        CopyRows(bindings, cb, rows, rowSize, rowsFetched);
        return ErrorAfterRows(warnings);
    }

    // A statement error met after some rows of a block (a divide by zero in a later row) comes back as
    // a warning of the block fetch: the rows before it stand, and the error is reported with them.
    HRESULT ErrorAfterRows(const std::vector<RawDiagnostic>& diagnostics) {
        const bool failed = std::any_of(diagnostics.begin(), diagnostics.end(),
                                        [](const RawDiagnostic& d) { return d.sqlState.rfind("01", 0) != 0; });
        if (!failed) return S_OK;
        SetErrorInfo(BuildErrorInfo(diagnostics, E_FAIL, InterfaceId::IRowset, Traits(), false));
        Unbind();
        finished_ = true;
        state_->Close();
        return E_FAIL;
    }

    HRESULT FetchOneByOne(const std::vector<Binding>& bindings, const std::vector<CBinding>& cb, char* rows,
                          size_t rowSize, size_t maxRows, size_t& rowsFetched, LongDataSink* sink) {
        SQLHSTMT stmt = state_->stmt.Get();
        bound_ = false;
        if (!SQL_SUCCEEDED(ReleaseBindings(stmt))) return BindFailed(stmt, E_FAIL);
        // SQLGetData reads columns in ascending order.
        std::vector<size_t> order(bindings.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return bindings[a].ordinal < bindings[b].ordinal; });
        std::vector<char> piece(LongDataPieceSize + 2);
        char converted[64];
        for (size_t r = 0; r < maxRows; ++r) {
            SQLRETURN rc = SQLFetch(stmt);
            if (rc == SQL_NO_DATA) return S_OK;
            if (!SQL_SUCCEEDED(rc)) return FetchFailed();
            if (rc == SQL_SUCCESS_WITH_INFO &&
                Failed(ErrorAfterRows(ReadDiagnostics(SQL_HANDLE_STMT, stmt, Traits())))) {
                return E_FAIL;
            }
            char* row = rows + r * rowSize;
            for (size_t i : order) {
                const auto& b = bindings[i];
                const auto column = static_cast<SQLUSMALLINT>(b.ordinal);
                if (b.stream) {
                    const size_t terminator = b.type == DBTYPE_STR ? 1 : b.type == DBTYPE_WSTR ? 2 : 0;
                    const SQLSMALLINT cType = cb[i].cType;
                    bool isNull = false;
                    for (;;) {
                        SQLLEN indicator = 0;
                        rc = SQLGetData(stmt, column, cType, piece.data(),
                                        static_cast<SQLLEN>(LongDataPieceSize + terminator), &indicator);
                        if (rc == SQL_NO_DATA) break;
                        if (!SQL_SUCCEEDED(rc)) return FetchFailed();
                        if (indicator == SQL_NULL_DATA) {
                            isNull = true;
                            break;
                        }
                        size_t got = (indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) > LongDataPieceSize)
                                         ? LongDataPieceSize
                                         : static_cast<size_t>(indicator);
                        if (got > 0) sink->Piece(r, i, std::string_view(piece.data(), got));
                        if (rc == SQL_SUCCESS) break;
                    }
                    sink->End(r, i, isNull);
                    WriteU32(row, b.statusOffset, isNull ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK);
                    continue;
                }
                char* target = cb[i].convertSize != 0 ? converted : row + b.valueOffset;
                const SQLLEN length =
                    cb[i].convertSize != 0 ? static_cast<SQLLEN>(cb[i].convertSize) : static_cast<SQLLEN>(b.maxLength);
                SQLLEN indicator = 0;
                rc = SQLGetData(stmt, column, cb[i].cType, target, length, &indicator);
                if (rc == SQL_NO_DATA)
                    indicator = SQL_NULL_DATA;
                else if (!SQL_SUCCEEDED(rc))
                    return FetchFailed();
                FinishValue(b, cb[i], indicator, row, converted);
            }
            ++rowsFetched;
        }
        return S_OK;
    }

    // Where one binding sits in a row of the bound block: its indicator, then its value (or the
    // driver's form of a value converted afterwards) in `room` bytes; and how its values reach the
    // caller's row: text and bytes up to their length, fixed-size values whole, converted ones through
    // FinishValue. Worked out once per layout, as every value of every block passes here.
    enum class BoundKind : uint8_t { Text, Fixed, Converted };
    struct BoundColumn {
        size_t indicatorAt = 0;
        size_t valueAt = 0;
        size_t room = 0;
        // Where the value, status and length go in the caller's row (the binding's, kept here for
        // the copy of every row).
        size_t valueOffset = 0;
        size_t statusOffset = NoOffset;
        size_t lengthOffset = NoOffset;
        size_t maxLength = 0;
        BoundKind kind = BoundKind::Converted;
        size_t terminator = 0;  // text: its terminator's bytes
        size_t textRoom = 0;    // text: the bytes the value may fill without its terminator
    };

    static BoundColumn PlanColumn(const Binding& b, const CBinding& c, size_t indicatorAt, size_t room) {
        BoundColumn column{
            indicatorAt, indicatorAt + sizeof(SQLLEN), room, b.valueOffset, b.statusOffset, b.lengthOffset,
            b.maxLength};
        if (c.convertSize != 0) return column;
        if (b.type == DBTYPE_STR || b.type == DBTYPE_WSTR || b.type == DBTYPE_BYTES) {
            column.kind = BoundKind::Text;
            column.terminator = b.type == DBTYPE_STR ? 1 : b.type == DBTYPE_WSTR ? 2 : 0;
            column.textRoom = b.maxLength > column.terminator ? b.maxLength - column.terminator : 0;
        } else {
            column.kind = BoundKind::Fixed;
        }
        return column;
    }

    // What FinishValue does for a text value the driver wrote into the block, and the copy of its
    // bytes (with the terminator) into the caller's row, with the layout's figures at hand.
    // The fetched block into the caller's rows, one column at a time: every read of a result passes
    // here once per value. Column by column, each column's plan is read once per block; and kept in
    // locals, since the rows are written through char pointers, which may alias anything and would
    // otherwise make the compiler reload the plan after every store.
    void CopyRows(const std::vector<Binding>& bindings, const std::vector<CBinding>& cb, char* rows, size_t rowSize,
                  size_t rowCount) const {
        for (size_t i = 0; i < columns_.size(); ++i) {
            const BoundColumn column = columns_[i];
            switch (column.kind) {
            case BoundKind::Text:
                ForEachRow(column, rows, rowSize, rowCount, [&column](SQLLEN indicator, const char* value, char* row) {
                    CopyText(column, indicator, value, row);
                });
                break;
            case BoundKind::Fixed:
                ForEachRow(column, rows, rowSize, rowCount, [&column](SQLLEN indicator, const char* value, char* row) {
                    CopyFixed(column, indicator, value, row);
                });
                break;
            case BoundKind::Converted:
                ForEachRow(column, rows, rowSize, rowCount,
                           [&binding = bindings[i], &c = cb[i]](SQLLEN indicator, const char* value, char* row) {
                               FinishValue(binding, c, indicator, row, value);
                           });
                break;
            }
        }
    }

    // Calls copy(indicator, value, row) for one column of every fetched row.
    template <class CopyValue>
    void ForEachRow(const BoundColumn& column, char* rows, size_t rowSize, size_t rowCount, CopyValue copy) const {
        const size_t stride = stride_;
        const char* bound = block_.data();
        for (size_t r = 0; r < rowCount; ++r, bound += stride, rows += rowSize) {
            SQLLEN indicator;
            std::memcpy(&indicator, bound + column.indicatorAt, sizeof indicator);
            copy(indicator, bound + column.valueAt, rows);
        }
    }

    static void CopyText(const BoundColumn& column, SQLLEN indicator, const char* value, char* row) {
        if (indicator >= 0 && static_cast<size_t>(indicator) <= column.textRoom) {  // the usual: whole
            std::memcpy(row + column.valueOffset, value,
                        std::min(static_cast<size_t>(indicator) + column.terminator, column.maxLength));
            WriteU32(row, column.statusOffset, DBSTATUS_S_OK);
            WriteU32(row, column.lengthOffset, static_cast<uint32_t>(indicator));
            return;
        }
        if (indicator == SQL_NULL_DATA) {
            WriteU32(row, column.statusOffset, DBSTATUS_S_ISNULL);
            WriteU32(row, column.lengthOffset, 0);
            return;
        }
        // Truncated: the driver filled the room and gave the whole value's length, or none it knew.
        std::memcpy(row + column.valueOffset, value, std::min(column.textRoom + column.terminator, column.maxLength));
        WriteU32(row, column.statusOffset, DBSTATUS_S_TRUNCATED);
        WriteU32(row, column.lengthOffset,
                 static_cast<uint32_t>(indicator == SQL_NO_TOTAL ? static_cast<SQLLEN>(column.textRoom) : indicator));
    }

    static void CopyFixed(const BoundColumn& column, SQLLEN indicator, const char* value, char* row) {
        const bool isNull = indicator == SQL_NULL_DATA;
        if (!isNull) std::memcpy(row + column.valueOffset, value, column.room);
        WriteU32(row, column.statusOffset, isNull ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK);
        WriteU32(row, column.lengthOffset, isNull ? 0 : static_cast<uint32_t>(column.room));
    }

    std::shared_ptr<StatementState> state_;
    int generation_;
    bool ownsStatement_;
    bool finished_ = false;
    // The block the driver fetches into, bound once per layout.
    bool bound_ = false;
    std::vector<Binding> boundBindings_;
    std::vector<CBinding> boundCTypes_;
    size_t boundRows_ = 0;
    std::vector<BoundColumn> columns_;
    size_t stride_ = 0;
    std::vector<char> block_;
    SQLULEN fetched_ = 0;
};

// ---------------------------------------------------------------------------------------------------

class OdbcMultipleResults : public MultipleResults {
public:
    // firstResult: the return code of SQLExecDirect, whose result has not been looked at yet.
    OdbcMultipleResults(std::shared_ptr<StatementState> state, SQLRETURN firstResult)
        : state_(std::move(state)), pending_(firstResult) {}
    ~OdbcMultipleResults() override { state_->Close(); }

    HRESULT GetResult(int32_t& affectedRows, std::unique_ptr<Rowset>& rowset) override {
        SetErrorInfo(nullptr);
        rowset.reset();
        affectedRows = -1;
        if (!state_->open) return DB_S_NORESULT;
        if (!state_->connection->Alive()) {
            state_->Close();
            return PostError(E_UNEXPECTED, InterfaceId::IMultipleResults, "The connection is closed.");
        }
        SQLRETURN rc;
        if (pending_) {
            rc = *pending_;
            pending_.reset();
        } else {
            ++state_->generation;
            rc = SQLMoreResults(state_->stmt.Get());
        }
        const auto& traits = state_->connection->traits;
        if (rc == SQL_NO_DATA) {
            state_->Close();
            return DB_S_NORESULT;
        }
        if (!SQL_SUCCEEDED(rc)) {
            return PostFailure(SQL_HANDLE_STMT, state_->stmt.Get(), state_->connection->dbc.Get(), DB_E_ERRORSINCOMMAND,
                               InterfaceId::IMultipleResults, traits);
        }
        if (rc == SQL_SUCCESS_WITH_INFO)
            PostInfoMessages(SQL_HANDLE_STMT, state_->stmt.Get(), InterfaceId::IMultipleResults, traits);
        SQLSMALLINT columns = 0;
        if (!SQL_SUCCEEDED(SQLNumResultCols(state_->stmt.Get(), &columns))) {
            return PostFailure(SQL_HANDLE_STMT, state_->stmt.Get(), state_->connection->dbc.Get(), E_FAIL,
                               InterfaceId::IMultipleResults, traits);
        }
        if (columns > 0) {
            rowset = std::make_unique<OdbcRowset>(state_, false);
            return S_OK;
        }
        SQLLEN count = -1;
        SQLRowCount(state_->stmt.Get(), &count);
        affectedRows = static_cast<int32_t>(count);
        return S_OK;
    }

private:
    std::shared_ptr<StatementState> state_;
    std::optional<SQLRETURN> pending_;
};

// ---------------------------------------------------------------------------------------------------

class OdbcCommand : public Command {
public:
    explicit OdbcCommand(std::shared_ptr<ConnectionState> connection) : connection_(std::move(connection)) {}

    HRESULT SetCommandText(std::string_view text) override {
        SetErrorInfo(nullptr);
        text_ = std::string(text);
        return S_OK;
    }

    HRESULT SetProperties(PropertySet& set) override {
        SetErrorInfo(nullptr);
        if (set.id != PropertySetId::Rowset) {
            for (auto& p : set.properties) p.status = DBPROPSTATUS_NOTSUPPORTED;
            return DB_E_ERRORSOCCURRED;
        }
        return CheckProperties(set, [this](Property& p) -> uint32_t {
            if (p.id == DBPROP_COMMANDTIMEOUT) {
                int32_t v = std::get<int32_t>(p.value);
                if (v < 0) return DBPROPSTATUS_BADVALUE;
                timeout_ = v;
            }
            return DBPROPSTATUS_OK;
        });
    }

    HRESULT Execute(ExecuteMode mode, ExecuteResult& result) override {
        SetErrorInfo(nullptr);
        result = ExecuteResult{};
        auto& c = *connection_;
        if (!c.Alive()) return NotConnected(InterfaceId::ICommand);
        if (c.active != nullptr) {
            return PostError(DB_E_OBJECTOPEN, InterfaceId::ICommand,
                             "The connection is busy with the results of another command.");
        }
        auto state = std::make_shared<StatementState>(connection_);
        if (!SQL_SUCCEEDED(state->stmt.Allocate(c.dbc.Get())))
            return PostDiagnostics(SQL_HANDLE_DBC, c.dbc.Get(), E_FAIL, InterfaceId::ICommand, c.traits);
        if (timeout_ > 0 &&
            !SQL_SUCCEEDED(SQLSetStmtAttr(state->stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_)), 0))) {
            return PostFailure(SQL_HANDLE_STMT, state->stmt.Get(), c.dbc.Get(), E_FAIL, InterfaceId::ICommand,
                               c.traits);
        }
        SQLRETURN rc = SQLExecDirect(state->stmt.Get(), reinterpret_cast<SQLCHAR*>(text_.data()),
                                     static_cast<SQLINTEGER>(text_.size()));
        if (rc == SQL_NO_DATA) return S_OK;  // nothing came back at all
        if (!SQL_SUCCEEDED(rc)) {
            return PostFailure(SQL_HANDLE_STMT, state->stmt.Get(), c.dbc.Get(), DB_E_ERRORSINCOMMAND,
                               InterfaceId::ICommand, c.traits);
        }
        state->open = true;
        c.active = state.get();
        if (mode == ExecuteMode::MultipleResults) {
            result.results = std::make_unique<OdbcMultipleResults>(state, rc);
            return S_OK;
        }
        // Walk the results: the first result set is handed back (Rowset mode); row counts are kept.
        std::vector<RawDiagnostic> errors;
        std::vector<RawDiagnostic> infos;
        for (bool first = true;; first = false) {
            if (!first) {
                rc = SQLMoreResults(state->stmt.Get());
                if (rc == SQL_NO_DATA) break;
                if (!SQL_SUCCEEDED(rc)) {
                    auto d = ReadDiagnostics(SQL_HANDLE_STMT, state->stmt.Get(), c.traits);
                    errors.insert(errors.end(), d.begin(), d.end());
                    if (mode == ExecuteMode::Rowset) break;
                    continue;
                }
            }
            if (rc == SQL_SUCCESS_WITH_INFO) {
                auto d = ReadDiagnostics(SQL_HANDLE_STMT, state->stmt.Get(), c.traits);
                infos.insert(infos.end(), d.begin(), d.end());
            }
            SQLSMALLINT columns = 0;
            if (!SQL_SUCCEEDED(SQLNumResultCols(state->stmt.Get(), &columns))) {
                auto d = ReadDiagnostics(SQL_HANDLE_STMT, state->stmt.Get(), c.traits);
                errors.insert(errors.end(), d.begin(), d.end());
                if (mode == ExecuteMode::Rowset) break;
                continue;
            }
            if (columns > 0 && mode == ExecuteMode::Rowset) {
                result.rowset = std::make_unique<OdbcRowset>(state, true);
                PostCollected(infos, S_OK);
                return S_OK;
            }
            SQLLEN count = -1;
            if (columns == 0 && SQL_SUCCEEDED(SQLRowCount(state->stmt.Get(), &count)) && count >= 0) {
                result.affectedRows = static_cast<int32_t>(count);
            }
        }
        state->Close();
        if (!errors.empty()) {
            if (LinkDead(c.dbc.Get())) MarkLinkLost(errors, c.traits);
            SetErrorInfo(BuildErrorInfo(errors, DB_E_ERRORSINCOMMAND, InterfaceId::ICommand, c.traits, false));
            return DB_E_ERRORSINCOMMAND;
        }
        PostCollected(infos, S_OK);
        return S_OK;
    }

private:
    void PostCollected(const std::vector<RawDiagnostic>& infos, HRESULT hr) {
        if (infos.empty()) return;
        std::vector<RawDiagnostic> server;
        for (const auto& d : infos) {
            if (d.native != 0) server.push_back(d);
        }
        if (!server.empty()) {
            SetErrorInfo(BuildErrorInfo(server, hr, InterfaceId::ICommand, connection_->traits, false));
        }
    }

    std::shared_ptr<ConnectionState> connection_;
    std::string text_;
    int32_t timeout_ = 0;
};

// ---------------------------------------------------------------------------------------------------

class OdbcSession : public Session {
public:
    explicit OdbcSession(std::shared_ptr<ConnectionState> connection) : connection_(std::move(connection)) {}

    HRESULT SetProperties(PropertySet& set) override {
        SetErrorInfo(nullptr);
        auto& c = *connection_;
        if (!c.Alive()) return NotConnected(InterfaceId::ISessionProperties);
        if (set.id != PropertySetId::Session) {
            for (auto& p : set.properties) p.status = DBPROPSTATUS_NOTSUPPORTED;
            return DB_E_ERRORSOCCURRED;
        }
        HRESULT failure = S_OK;
        HRESULT hr = CheckProperties(set, [&](Property& p) -> uint32_t {
            int32_t level = std::get<int32_t>(p.value);
            if (!KnownIsolation(level)) return DBPROPSTATUS_BADVALUE;
            c.autocommitIsolation = level;
            if (!c.inTransaction) {
                failure = SetIsolation(c, level, InterfaceId::ISessionProperties);
                if (Failed(failure)) return DBPROPSTATUS_NOTSET;
            }
            return DBPROPSTATUS_OK;
        });
        return Failed(failure) ? failure : hr;
    }

    HRESULT StartTransaction(int32_t isolationLevel) override {
        SetErrorInfo(nullptr);
        auto& c = *connection_;
        if (!c.Alive()) return NotConnected(InterfaceId::ITransactionLocal);
        if (c.inTransaction)
            return PostError(XACT_E_XTIONEXISTS, InterfaceId::ITransactionLocal, "A transaction is already open.");
        if (!KnownIsolation(isolationLevel)) {
            return PostError(E_INVALIDARG, InterfaceId::ITransactionLocal, "Unknown isolation level.");
        }
        if (HRESULT hr = SetIsolation(c, isolationLevel, InterfaceId::ITransactionLocal); Failed(hr)) return hr;
        SQLRETURN rc = SQLSetConnectAttr(c.dbc.Get(), SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
        if (!SQL_SUCCEEDED(rc))
            return PostFailure(SQL_HANDLE_DBC, c.dbc.Get(), c.dbc.Get(), E_FAIL, InterfaceId::ITransactionLocal,
                               c.traits);
        c.inTransaction = true;
        return S_OK;
    }

    HRESULT Commit() override { return End(SQL_COMMIT); }
    HRESULT Abort() override { return End(SQL_ROLLBACK); }

    HRESULT CreateCommand(std::unique_ptr<Command>& command) override {
        SetErrorInfo(nullptr);
        if (!connection_->Alive()) return NotConnected(InterfaceId::IDBCreateCommand);
        command = std::make_unique<OdbcCommand>(connection_);
        return S_OK;
    }

private:
    HRESULT End(SQLSMALLINT completion) {
        SetErrorInfo(nullptr);
        auto& c = *connection_;
        if (!c.Alive()) return NotConnected(InterfaceId::ITransactionLocal);
        if (!c.inTransaction)
            return PostError(XACT_E_NOTRANSACTION, InterfaceId::ITransactionLocal, "No transaction is open.");
        SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, c.dbc.Get(), completion);
        HRESULT hr = S_OK;
        if (!SQL_SUCCEEDED(rc)) {
            hr =
                PostFailure(SQL_HANDLE_DBC, c.dbc.Get(), c.dbc.Get(), E_FAIL, InterfaceId::ITransactionLocal, c.traits);
            // A commit that failed leaves the transaction for the caller to abort.
            if (completion == SQL_COMMIT) return hr;
        }
        c.inTransaction = false;
        // Left in manual-commit mode, the connection would hold every later statement in a transaction
        // that nobody ends.
        if (!SQL_SUCCEEDED(SQLSetConnectAttr(c.dbc.Get(), SQL_ATTR_AUTOCOMMIT,
                                             reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER)) &&
            Succeeded(hr)) {
            hr =
                PostFailure(SQL_HANDLE_DBC, c.dbc.Get(), c.dbc.Get(), E_FAIL, InterfaceId::ITransactionLocal, c.traits);
        }
        if (Succeeded(hr)) {
            HRESULT restore = SetIsolation(c, c.autocommitIsolation, InterfaceId::ITransactionLocal);
            if (Failed(restore)) return restore;
        }
        return hr;
    }

    std::shared_ptr<ConnectionState> connection_;
};

// ---------------------------------------------------------------------------------------------------

class OdbcDataSource : public DataSource {
public:
    OdbcDataSource(OdbcProvider& provider, DriverChoice driver)
        : provider_(provider), driver_(std::move(driver)), connection_(std::make_shared<ConnectionState>()) {
        connection_->traits.family = driver_.family;
    }

    ~OdbcDataSource() override { Close(); }

    HRESULT SetProperties(PropertySet& set) override {
        SetErrorInfo(nullptr);
        auto& c = *connection_;
        switch (set.id) {
        case PropertySetId::DBInit:
        case PropertySetId::SQLServerDBInit:
            return CheckProperties(set, [&](Property& p) -> uint32_t {
                if (c.Alive()) return DBPROPSTATUS_NOTSETTABLE;
                if (uint32_t status = Validate(set.id, p); status != DBPROPSTATUS_OK) return status;
                values_[{set.id, p.id}] = p.value;
                return DBPROPSTATUS_OK;
            });
        case PropertySetId::DataSource: {
            HRESULT failure = S_OK;
            HRESULT hr = CheckProperties(set, [&](Property& p) -> uint32_t {
                if (p.id == DBPROP_CURRENTCATALOG && c.Alive()) {
                    const std::string name = UnquoteIdentifier(std::get<std::string>(p.value));
                    if (c.active != nullptr) {
                        failure = PostError(DB_E_OBJECTOPEN, InterfaceId::IDBProperties,
                                            "The connection is busy with the results of another command.");
                        return DBPROPSTATUS_NOTSET;
                    }
                    SQLRETURN rc =
                        SQLSetConnectAttr(c.dbc.Get(), SQL_ATTR_CURRENT_CATALOG, const_cast<char*>(name.data()),
                                          static_cast<SQLINTEGER>(name.size()));
                    if (!SQL_SUCCEEDED(rc)) {
                        failure =
                            PostDiagnostics(SQL_HANDLE_DBC, c.dbc.Get(), E_FAIL, InterfaceId::IDBProperties, c.traits);
                        return DBPROPSTATUS_NOTSET;
                    }
                }
                values_[{set.id, p.id}] = p.value;
                return DBPROPSTATUS_OK;
            });
            return Failed(failure) ? failure : hr;
        }
        default:
            for (auto& p : set.properties) p.status = DBPROPSTATUS_NOTSUPPORTED;
            return DB_E_ERRORSOCCURRED;
        }
    }

    HRESULT Initialize() override {
        SetErrorInfo(nullptr);
        auto& c = *connection_;
        if (c.Alive())
            return PostError(DB_E_ALREADYINITIALIZED, InterfaceId::IDBInitialize,
                             "The data source is already initialized.");
        ConnectSettings settings;
        settings.driver = driver_.driver;
        settings.family = driver_.family;
        auto address = ParseServerName(String(PropertySetId::DBInit, DBPROP_INIT_DATASOURCE));
        if (!address) {
            return PostError(E_FAIL, InterfaceId::IDBInitialize,
                             "Invalid server name \"" + String(PropertySetId::DBInit, DBPROP_INIT_DATASOURCE) + "\".");
        }
        settings.address = *address;
        settings.database = String(PropertySetId::DBInit, DBPROP_INIT_CATALOG);
        settings.integrated = Has(PropertySetId::DBInit, DBPROP_AUTH_INTEGRATED);
        if (Has(PropertySetId::DBInit, DBPROP_AUTH_USERID))
            settings.userId = String(PropertySetId::DBInit, DBPROP_AUTH_USERID);
        if (Has(PropertySetId::DBInit, DBPROP_AUTH_PASSWORD))
            settings.password = String(PropertySetId::DBInit, DBPROP_AUTH_PASSWORD);
        settings.applicationName = String(PropertySetId::SQLServerDBInit, SSPROP_INIT_APPNAME);
        settings.workstationId = String(PropertySetId::SQLServerDBInit, SSPROP_INIT_WSID);
        settings.language = String(PropertySetId::SQLServerDBInit, SSPROP_INIT_CURRENTLANGUAGE);
        settings.encrypt = Bool(PropertySetId::SQLServerDBInit, SSPROP_INIT_ENCRYPT, false);
        settings.autoTranslate = Bool(PropertySetId::SQLServerDBInit, SSPROP_INIT_AUTOTRANSLATE, true);
        settings.networkLibrary = String(PropertySetId::SQLServerDBInit, SSPROP_INIT_NETWORKLIBRARY);
        settings.packetSize = Int(PropertySetId::SQLServerDBInit, SSPROP_INIT_PACKETSIZE, 4096);
        const int32_t timeout = Int(PropertySetId::DBInit, DBPROP_INIT_TIMEOUT, 15);

        auto env = static_cast<SQLHENV>(provider_.Environment());
        if (env == SQL_NULL_HENV) return E_FAIL;  // the provider has said why
        OdbcHandle connection(SQL_HANDLE_DBC);
        if (!SQL_SUCCEEDED(connection.Allocate(env))) {
            return PostError(E_FAIL, InterfaceId::IDBInitialize,
                             "The ODBC driver manager could not allocate a connection.");
        }
        SQLHDBC dbc = connection.Get();
        if (!SQL_SUCCEEDED(SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                                             reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(timeout, 0))),
                                             SQL_IS_UINTEGER))) {
            return PostDiagnostics(SQL_HANDLE_DBC, dbc, E_FAIL, InterfaceId::IDBInitialize, c.traits, true);
        }
        std::string text = BuildConnectString(settings);
        SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                             static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            auto diagnostics = ReadDiagnostics(SQL_HANDLE_DBC, dbc, c.traits);
            const bool refused = std::any_of(diagnostics.begin(), diagnostics.end(), [](const RawDiagnostic& d) {
                return d.sqlState == "28000" || d.native == 18456;
            });
            HRESULT hr = refused ? DB_SEC_E_AUTH_FAILED : E_FAIL;
            SetErrorInfo(BuildErrorInfo(diagnostics, hr, InterfaceId::IDBInitialize, c.traits, true));
            return hr;
        }
        c.dbc = std::move(connection);
        c.active = nullptr;
        c.inTransaction = false;
        c.autocommitIsolation = c.currentIsolation = ISOLATIONLEVEL_READCOMMITTED;
        driverVersion_ = Info(SQL_DRIVER_VER);
        c.traits.majorVersion = MajorVersionNumber(driverVersion_);
        if (rc == SQL_SUCCESS_WITH_INFO) PostInfoMessages(SQL_HANDLE_DBC, dbc, InterfaceId::IDBInitialize, c.traits);
        return S_OK;
    }

    bool LinkLost() const override { return connection_->Alive() && LinkDead(connection_->dbc.Get()); }

    std::string UnsayableCharacters(std::string_view value) const override {
        return provider::UnsayableCharacters(driver_.family, value);
    }

    HRESULT Uninitialize() override {
        SetErrorInfo(nullptr);
        Close();
        return S_OK;
    }

    HRESULT GetDataSourceInfo(DataSourceInfo& info) override {
        SetErrorInfo(nullptr);
        if (!connection_->Alive()) return NotConnected(InterfaceId::IDBProperties);
        info.dbmsName = Info(SQL_DBMS_NAME);
        info.dbmsVersion = Info(SQL_DBMS_VER);
        info.providerOleDbVersion = Info(SQL_DRIVER_ODBC_VER);
        if (MajorVersionNumber(driverVersion_) >= 7) {
            info.providerVersion = driverVersion_;
        } else {
            std::string name = Info(SQL_DRIVER_NAME);
            info.providerVersion = "09.00.0000 (" + (name.empty() ? driver_.driver : name) + " " + driverVersion_ + ")";
        }
        return S_OK;
    }

    HRESULT CreateSession(std::unique_ptr<Session>& session) override {
        SetErrorInfo(nullptr);
        if (!connection_->Alive()) return NotConnected(InterfaceId::IDBCreateSession);
        session = std::make_unique<OdbcSession>(connection_);
        return S_OK;
    }

private:
    uint32_t Validate(PropertySetId set, const Property& p) const {
        if (set != PropertySetId::SQLServerDBInit) {
            if (p.id == DBPROP_INIT_TIMEOUT && std::get<int32_t>(p.value) < 0) return DBPROPSTATUS_BADVALUE;
            if (p.id == DBPROP_INIT_PROMPT && std::get<int16_t>(p.value) != DBPROMPT_NOPROMPT)
                return DBPROPSTATUS_BADVALUE;
            if (p.id == DBPROP_INIT_HWND && std::get<int32_t>(p.value) != 0) return DBPROPSTATUS_BADVALUE;
            return DBPROPSTATUS_OK;
        }
        if (p.id == SSPROP_INIT_PACKETSIZE) {
            int32_t v = std::get<int32_t>(p.value);
            return v >= 512 && v <= 32767 ? DBPROPSTATUS_OK : DBPROPSTATUS_BADVALUE;
        }
        if (p.id == SSPROP_INIT_NETWORKLIBRARY) {
            // Only TCP/IP reaches a server from here.
            const auto& v = std::get<std::string>(p.value);
            return v.empty() || AsciiSameText(v, "dbmssocn") ? DBPROPSTATUS_OK : DBPROPSTATUS_BADVALUE;
        }
        return DBPROPSTATUS_OK;
    }

    bool Has(PropertySetId set, PropertyId id) const { return values_.count({set, id}) != 0; }
    std::string String(PropertySetId set, PropertyId id) const {
        auto it = values_.find({set, id});
        if (it == values_.end()) return {};
        auto* s = std::get_if<std::string>(&it->second);
        return s ? *s : std::string();
    }
    int32_t Int(PropertySetId set, PropertyId id, int32_t fallback) const {
        auto it = values_.find({set, id});
        if (it == values_.end()) return fallback;
        auto* v = std::get_if<int32_t>(&it->second);
        return v ? *v : fallback;
    }
    bool Bool(PropertySetId set, PropertyId id, bool fallback) const {
        auto it = values_.find({set, id});
        if (it == values_.end()) return fallback;
        auto* v = std::get_if<bool>(&it->second);
        return v ? *v : fallback;
    }

    std::string Info(SQLUSMALLINT type) const {
        char buffer[256] = {};
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetInfo(connection_->dbc.Get(), type, buffer, sizeof buffer, &length))) return {};
        return std::string(buffer,
                           std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), sizeof buffer - 1));
    }

    void Close() {
        auto& c = *connection_;
        if (!c.Alive()) return;
        if (c.active != nullptr) c.active->Close();
        if (c.inTransaction) SQLEndTran(SQL_HANDLE_DBC, c.dbc.Get(), SQL_ROLLBACK);
        SQLDisconnect(c.dbc.Get());
        c.dbc.Reset();
        c.active = nullptr;
        c.inTransaction = false;
    }

    OdbcProvider& provider_;
    DriverChoice driver_;
    std::shared_ptr<ConnectionState> connection_;
    std::map<std::pair<PropertySetId, PropertyId>, PropertyValue> values_;
    std::string driverVersion_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------

OdbcProvider& OdbcProvider::Instance() {
    static OdbcProvider instance;
    return instance;
}

OdbcProvider::OdbcProvider() = default;

OdbcProvider::~OdbcProvider() = default;

void* OdbcProvider::Environment() {
    std::lock_guard lock(mutex_);
    if (!environment_) {
        auto env = std::make_unique<OdbcHandle>(SQL_HANDLE_ENV);
        if (!SQL_SUCCEEDED(env->Allocate(SQL_NULL_HANDLE))) {
            PostError(E_FAIL, InterfaceId::IDBInitialize, "The ODBC driver manager could not allocate an environment.");
            return nullptr;
        }
        // Everything here reads ODBC 3 behaviour (its SQLSTATEs, SQLEndTran); an environment that
        // refuses it is not used.
        if (!SQL_SUCCEEDED(
                SQLSetEnvAttr(env->Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
            PostDiagnostics(SQL_HANDLE_ENV, env->Get(), E_FAIL, InterfaceId::IDBInitialize, DriverTraits{});
            return nullptr;
        }
        environment_ = std::move(env);
    }
    return environment_->Get();
}

bool OdbcProvider::DriverRegistered(std::string_view name) {
    auto env = static_cast<SQLHENV>(Environment());
    if (env == SQL_NULL_HENV) return false;
    std::lock_guard lock(mutex_);
    SQLCHAR description[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(env, direction, description, sizeof description, &descriptionLength, attributes,
                                    sizeof attributes, &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        if (AsciiSameText(reinterpret_cast<const char*>(description), name)) return true;
    }
    return false;
}

std::optional<DriverChoice> OdbcProvider::DriverFor(std::string_view classId) {
    const std::string id = AsciiUpper(classId);
    {
        // The driver list is read once per class: enumerating odbcinst.ini on every open costs more
        // than the login itself.
        std::lock_guard lock(mutex_);
        if (auto it = drivers_.find(id); it != drivers_.end()) return it->second;
    }
    auto choice = FindDriver(id);
    std::lock_guard lock(mutex_);
    drivers_[id] = choice;
    return choice;
}

std::optional<DriverChoice> OdbcProvider::FindDriver(const std::string& id) {
    if (id == "SQLNCLI.1") {
        for (const char* name : {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"}) {
            if (DriverRegistered(name)) return DriverChoice{name, DriverFamily::MicrosoftOdbc};
        }
        return std::nullopt;
    }
    if (id == "SQLOLEDB.1") {
        if (DriverRegistered("FreeTDS")) return DriverChoice{"FreeTDS", DriverFamily::FreeTDS};
        // Not registered with the driver manager: the library itself, where Debian puts it.
        for (const char* path :
             {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so", "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so",
              "/usr/lib/odbc/libtdsodbc.so", "/usr/local/lib/libtdsodbc.so"}) {
            std::error_code ec;
            if (std::filesystem::exists(path, ec)) return DriverChoice{path, DriverFamily::FreeTDS};
        }
    }
    return std::nullopt;
}

HRESULT OdbcProvider::CreateDataSource(std::string_view classId, std::unique_ptr<DataSource>& dataSource) {
    SetErrorInfo(nullptr);
    dataSource.reset();
    auto driver = DriverFor(classId);
    if (!driver) return REGDB_E_CLASSNOTREG;
    dataSource = std::make_unique<OdbcDataSource>(*this, std::move(*driver));
    return S_OK;
}

}  // namespace provider
