#include "data/provider/OdbcDiagnostics.h"

#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace provider {

namespace {

// Microsoft's driver-specific diagnostic fields.
constexpr SQLSMALLINT SQL_DIAG_SS_MSGSTATE = -1150;
constexpr SQLSMALLINT SQL_DIAG_SS_SEVERITY = -1151;
constexpr SQLSMALLINT SQL_DIAG_SS_SRVNAME = -1152;
constexpr SQLSMALLINT SQL_DIAG_SS_PROCNAME = -1153;
constexpr SQLSMALLINT SQL_DIAG_SS_LINE = -1154;

std::optional<std::string> DiagText(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field) {
    std::string buffer(1024, '\0');
    SQLSMALLINT length = 0;
    SQLRETURN rc =
        SQLGetDiagField(type, handle, record, field, buffer.data(), static_cast<SQLSMALLINT>(buffer.size()), &length);
    if (!SQL_SUCCEEDED(rc)) return std::nullopt;
    if (length >= static_cast<SQLSMALLINT>(buffer.size())) {
        buffer.assign(static_cast<size_t>(length) + 1, '\0');
        rc = SQLGetDiagField(type, handle, record, field, buffer.data(), static_cast<SQLSMALLINT>(buffer.size()),
                             &length);
        if (!SQL_SUCCEEDED(rc)) return std::nullopt;
    }
    buffer.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), buffer.size()));
    return buffer;
}

std::optional<int32_t> DiagInteger(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field) {
    // FreeTDS answers some fields with success without writing anything (its login messages), so an
    // untouched sentinel counts as "not available".
    constexpr SQLINTEGER untouched = INT32_MIN;
    SQLINTEGER value = untouched;
    // unixODBC refuses SQL_IS_INTEGER as the buffer length of a driver-specific field; 0 is what integer
    // fields ignore anyway.
    SQLRETURN rc = SQLGetDiagField(type, handle, record, field, &value, 0, nullptr);
    if (!SQL_SUCCEEDED(rc) || value == untouched) return std::nullopt;
    return static_cast<int32_t>(value);
}

// FreeTDS client-library messages that mean the link to the server is gone: connection failed,
// read failed, write failed, socket error, unable to connect, unexpected end of data.
bool IsFreeTdsLinkFailure(int32_t native) {
    switch (native) {
    case 20002:
    case 20004:
    case 20006:
    case 20008:
    case 20009:
    case 20017: return true;
    default: return false;
    }
}

bool IsConnectionGone(const RawDiagnostic& d, const DriverTraits& traits, bool connecting) {
    if (d.sqlState.size() == 5 && d.sqlState.compare(0, 2, "08") == 0 && d.sqlState != "08004") return true;
    if (traits.family == DriverFamily::FreeTDS && IsFreeTdsLinkFailure(d.native)) return true;
    // A login time-out: the server never answered.
    return connecting && d.sqlState == "HYT00";
}

bool IsDriverRecord(const RawDiagnostic& d, const DriverTraits& traits) {
    if (d.native == 0) return true;
    // FreeTDS reports its own client-library messages with numbers 20000..20999.
    return traits.family == DriverFamily::FreeTDS && d.native >= 20000 && d.native <= 20999;
}

uint8_t ClampByte(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

std::string StripDriverPrefix(std::string_view text) {
    while (!text.empty() && text.front() == '[') {
        auto close = text.find(']');
        if (close == std::string_view::npos) break;
        text.remove_prefix(close + 1);
    }
    return std::string(text);
}

std::vector<RawDiagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle, const DriverTraits& traits) {
    std::vector<RawDiagnostic> out;
    if (handle == SQL_NULL_HANDLE) return out;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::string message(2048, '\0');
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc)) break;
        message.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1));
        RawDiagnostic d;
        d.sqlState = reinterpret_cast<const char*>(state);
        d.native = native;
        auto plain = DiagText(type, handle, record, SQL_DIAG_MESSAGE_TEXT);
        d.text = StripDriverPrefix(plain ? *plain : message);
        if (traits.family == DriverFamily::FreeTDS) {
            d.serverName = DiagText(type, handle, record, SQL_DIAG_SERVER_NAME).value_or("");
            d.msgState = DiagInteger(type, handle, record, SQL_DIAG_SS_MSGSTATE);
        } else {
            d.serverName = DiagText(type, handle, record, SQL_DIAG_SS_SRVNAME)
                               .value_or(DiagText(type, handle, record, SQL_DIAG_SERVER_NAME).value_or(""));
            d.msgState = DiagInteger(type, handle, record, SQL_DIAG_SS_MSGSTATE);
            d.severity = DiagInteger(type, handle, record, SQL_DIAG_SS_SEVERITY);
            d.procName = DiagText(type, handle, record, SQL_DIAG_SS_PROCNAME).value_or("");
        }
        if (auto line = DiagInteger(type, handle, record, SQL_DIAG_SS_LINE)) {
            d.line = static_cast<uint16_t>(*line & 0xFFFF);
        }
        out.push_back(std::move(d));
    }
    return out;
}

std::unique_ptr<ErrorInfo> BuildErrorInfo(const std::vector<RawDiagnostic>& diagnostics, HRESULT result,
                                          InterfaceId interfaceId, const DriverTraits& traits, bool connecting) {
    auto info = std::make_unique<ErrorInfo>();
    bool anyServerRecord = false;
    for (const auto& d : diagnostics) {
        if (!IsDriverRecord(d, traits) && !IsConnectionGone(d, traits, connecting)) anyServerRecord = true;
    }
    for (const auto& d : diagnostics) {
        ErrorRecord record;
        record.result = result;
        record.interfaceId = interfaceId;
        record.description = d.text;
        record.sqlState = d.sqlState;
        if (IsConnectionGone(d, traits, connecting)) {
            // After the server's own refusal the driver only adds that it could not connect.
            if (anyServerRecord && d.sqlState == "08001") continue;
            SqlServerError e;
            e.message = d.text;
            e.serverName = d.serverName;
            // As the platform's network library reported them: 17 "does not exist or access denied"
            // while connecting, 11 "general network error" once connected.
            e.nativeError = connecting ? 17 : 11;
            e.state = 1;
            e.severityClass = 16;
            record.sqlServer = e;
        } else if (!IsDriverRecord(d, traits)) {
            SqlServerError e;
            e.message = d.text;
            e.serverName = d.serverName;
            e.procName = d.procName;
            e.nativeError = d.native;
            e.lineNumber = d.line;
            if (traits.MsgStateIsSeverity()) {
                e.severityClass = ClampByte(d.msgState.value_or(0));
                e.state = 0;
            } else {
                e.severityClass = ClampByte(d.severity.value_or(0));
                e.state = ClampByte(d.msgState.value_or(0));
            }
            record.sqlServer = e;
        }
        info->records.push_back(std::move(record));
    }
    if (!info->records.empty()) info->description = info->records.front().description;
    return info;
}

bool LinkDead(SQLHDBC connection) {
    if (connection == SQL_NULL_HDBC) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

void MarkLinkLost(std::vector<RawDiagnostic>& diagnostics, const DriverTraits& traits) {
    // The driver's wording of SQLSTATE 08S01, for a failure it gave no words of its own.
    constexpr const char* LinkFailureText = "Communication link failure";
    const bool told = std::any_of(diagnostics.begin(), diagnostics.end(),
                                  [&traits](const RawDiagnostic& d) { return IsConnectionGone(d, traits, false); });
    if (told) return;
    auto driverRecord =
        std::find_if(diagnostics.begin(), diagnostics.end(), [](const RawDiagnostic& d) { return d.native == 0; });
    if (driverRecord == diagnostics.end()) {
        diagnostics.push_back({});
        driverRecord = std::prev(diagnostics.end());
    }
    driverRecord->sqlState = "08S01";
    if (driverRecord->text.empty() || driverRecord->text == "Unknown error") driverRecord->text = LinkFailureText;
}

HRESULT PostFailure(SQLSMALLINT handleType, SQLHANDLE handle, SQLHDBC connection, HRESULT result,
                    InterfaceId interfaceId, const DriverTraits& traits) {
    auto diagnostics = ReadDiagnostics(handleType, handle, traits);
    if (LinkDead(connection)) MarkLinkLost(diagnostics, traits);
    SetErrorInfo(BuildErrorInfo(diagnostics, result, interfaceId, traits, false));
    return result;
}

HRESULT PostDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, HRESULT result, InterfaceId interfaceId,
                        const DriverTraits& traits, bool connecting) {
    auto diagnostics = ReadDiagnostics(handleType, handle, traits);
    SetErrorInfo(BuildErrorInfo(diagnostics, result, interfaceId, traits, connecting));
    return result;
}

void PostInfoMessages(SQLSMALLINT handleType, SQLHANDLE handle, InterfaceId interfaceId, const DriverTraits& traits) {
    auto diagnostics = ReadDiagnostics(handleType, handle, traits);
    std::vector<RawDiagnostic> server;
    for (auto& d : diagnostics) {
        if (!IsDriverRecord(d, traits)) server.push_back(std::move(d));
    }
    if (server.empty()) {
        SetErrorInfo(nullptr);
        return;
    }
    SetErrorInfo(BuildErrorInfo(server, S_OK, interfaceId, traits, false));
}

HRESULT PostError(HRESULT result, InterfaceId interfaceId, std::string description) {
    auto info = std::make_unique<ErrorInfo>();
    ErrorRecord record;
    record.result = result;
    record.interfaceId = interfaceId;
    record.description = description;
    info->records.push_back(record);
    info->description = std::move(description);
    SetErrorInfo(std::move(info));
    return result;
}

}  // namespace provider
