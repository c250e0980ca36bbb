#pragma once
// ODBC diagnostic records turned into the provider's error records with SQL Server details.
#include "data/provider/OdbcConnectString.h"
#include "data/provider/Provider.h"

#include <sql.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace provider {

struct DriverTraits {
    DriverFamily family = DriverFamily::FreeTDS;
    int majorVersion = 0;  // 0 while unknown (before the first connect)

    // FreeTDS (every 1.x release) fills SQL_DIAG_SS_MSGSTATE with the severity class and knows
    // neither SQL_DIAG_SS_SEVERITY nor the state or the procedure name.
    bool MsgStateIsSeverity() const { return family == DriverFamily::FreeTDS && majorVersion <= 1; }
};

// One diagnostic record as the driver gives it.
struct RawDiagnostic {
    std::string sqlState;
    int32_t native = 0;
    std::string text;  // without the driver's bracketed prefix
    std::string serverName;
    std::optional<int32_t> msgState;
    std::optional<int32_t> severity;
    std::string procName;
    uint16_t line = 0;
};

std::vector<RawDiagnostic> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const DriverTraits& traits);

// Builds the error object: server messages keep their number and severity; diagnostics that mean the
// connection is gone (SQLSTATE class 08, or a time-out while connecting) become class 16, state 1
// records with native 17 (cannot connect) or 11 (link lost), as the platform provider reported them;
// the driver's trailing "unable to connect" after the server's own refusal is left out; the rest are
// records without SQL Server details.
std::unique_ptr<ErrorInfo> BuildErrorInfo(const std::vector<RawDiagnostic>& diagnostics, HRESULT result,
                                          InterfaceId interfaceId, const DriverTraits& traits, bool connecting);

// "[FreeTDS][SQL Server]Login failed" -> "Login failed".
std::string StripDriverPrefix(std::string_view text);

// True when the driver knows the link to the server is gone (SQL_ATTR_CONNECTION_DEAD).
bool LinkDead(SQLHDBC connection);

// The diagnostics of a failure on a link the driver knows is gone, told as the lost link they are:
// FreeTDS reports a server that vanished before the answer as HY000 "Unknown error", which would
// neither close the connection nor tell the operator anything.
void MarkLinkLost(std::vector<RawDiagnostic>& diagnostics, const DriverTraits& traits);

// Reads the diagnostics of a failed call on a statement or connection of connection into this thread's
// error object and returns result; a dead link makes them the lost-link error.
HRESULT PostFailure(SQLSMALLINT handleType, SQLHANDLE handle, SQLHDBC connection, HRESULT result,
                    InterfaceId interfaceId, const DriverTraits& traits);

// Reads the diagnostics of a failed call into this thread's error object and returns result.
HRESULT PostDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, HRESULT result, InterfaceId interfaceId,
                        const DriverTraits& traits, bool connecting = false);
// After SQL_SUCCESS_WITH_INFO: makes the informational server messages the thread's error object.
void PostInfoMessages(SQLSMALLINT handleType, SQLHANDLE handle, InterfaceId interfaceId, const DriverTraits& traits);
// A provider-made error (no driver diagnostics).
HRESULT PostError(HRESULT result, InterfaceId interfaceId, std::string description);

}  // namespace provider
