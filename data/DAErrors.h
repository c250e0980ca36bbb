#pragma once
// The generic data-access errors. Provider and server errors (EOLEDBError, EMSError) derive from these.
#include "common/Exception.h"

#include <cstdint>
#include <string>
#include <utility>

// The texts of the errors the data-access layer raises itself, each written once; "%s" and "%d" are
// filled in with Format (common/Format.h). Provider and server messages come from the provider.
// Connections and transactions
inline constexpr char SConnectionClosed[] = "Operation is not allowed when the connection is closed";
inline constexpr char SConnectionOpen[] = "Cannot perform this operation on an open connection";
inline constexpr char SConnectionNotDefined[] = "Connection is not defined.";
inline constexpr char STransactionInProgress[] = "User transaction is already in progress.";
inline constexpr char SBadProviderName[] = "Bad provider name";
inline constexpr char SProviderNotFound[] = "MS SQL not found";
inline constexpr char SProviderTooOld[] = "Wrong MDAC version. Download latest MDAC version";
inline constexpr char STooManyProperties[] = "Too many properties in one property set";
inline constexpr char SWrongEncrypt[] = "Wrong Encrypt value";
inline constexpr char SWrongNetworkLibrary[] = "Wrong NetworkLibrary value";
inline constexpr char SWrongPacketSize[] = "Wrong PacketSize value";
inline constexpr char SLoginSettingRefused[] = "The %s holds %s, which the ODBC driver cannot be given.";
inline constexpr char SPoolFull[] = "Maximum connections reached in pool";
// A provider failure without a description of its own; the second text follows it for CO_E_NOTINITIALIZED.
inline constexpr char SOLEDBError[] = "OLE DB error occured. Code %Xh";
inline constexpr char SCoInitializeMissing[] = ".\r\nCoInitialize has not been called.";
// Connect strings
inline constexpr char SParameterValueMissing[] = "Parameter value missing";
inline constexpr char SParameterNameMissing[] = "Parameter name missing";
inline constexpr char SInvalidUnquotedValue[] = "Invalid character in non-quoted parameter value";
inline constexpr char SBadParameterValue[] = "Bad parameter value - %s=%s";
inline constexpr char SUnknownParameter[] = "Parameter name is unknown - %s";
// Commands and queries
inline constexpr char SNoSQLStatement[] = "No SQL statement provided";
inline constexpr char SNoCommand[] = "The SQL component has no command";
inline constexpr char SNegativeCommandTimeout[] = "CommandTimeout must not be negative";
inline constexpr char SFetchRowsRange[] = "FetchRows must be 1..10000.";
inline constexpr char SParametersUnsupported[] =
    "Parameters are not supported by this data access layer (the statement has %d)";
inline constexpr char SPreviousResultOpen[] =
    "Cannot execute command in current transaction context until previous opened DataSet "
    "(CursorType is ctDefaultResultSet) is fetched to end";
inline constexpr char SServerCursorsUnsupported[] =
    "Server cursors are not supported: use CursorType ctDefaultResultSet";
inline constexpr char SNotOneResultSet[] = "Query must return exactly one result set - use Execute";
inline constexpr char SUnknownFieldType[] = "Unknown field type \"%s\" (OLE DB code = %Xh)";
inline constexpr char SFieldValueStatus[] = "Field[%d] :%s - %s (Status = %Xh).";
inline constexpr char SMacroNotFound[] = "Macro %s not found.";
inline constexpr char SUnknownSymbol[] = "Parser: The unknown symbol '%c'  $00%02X";
// Datasets and fields
inline constexpr char SDataSetClosed[] = "Cannot perform this operation on a closed dataset";
inline constexpr char SDataSetOpen[] = "Cannot perform this operation on an open dataset";
inline constexpr char SNoRecordStore[] = "The dataset has no record store";
inline constexpr char SFieldNotFound[] = "Field '%s' not found";
inline constexpr char SFieldHasNoDataSet[] = "Field '%s' has no dataset";
inline constexpr char SFieldAccess[] = "Cannot access field '%s' as type %s";
inline constexpr char SFieldTypeUnsupported[] = "Field '%s' is of an unsupported type %s";
inline constexpr char SInvalidInteger[] = "'%s' is not a valid integer value";
inline constexpr char SListIndex[] = "List index out of bounds (%d)";
inline constexpr char SListIndexUnsigned[] = "List index out of bounds (%zu)";
// The record store
inline constexpr char SStoreFieldNotFound[] = "Field %s not found.";
inline constexpr char SStringHeapFull[] = "String heap is full";
inline constexpr char SStringHeapBufferTooLarge[] = "String heap buffer too large";
inline constexpr char STooManySharedObjects[] = "Too many shared objects";
inline constexpr char STooManyRecords[] = "Too many records";
inline constexpr char SNoCurrentRecord[] = "No current record";
inline constexpr char SBufferTooSmall[] = "Buffer too small for the value of field %s";
inline constexpr char SValueTooLong[] = "Value too long for field %s";

// Runs a clean-up step on the way out of a failure: a failure of the step itself is dropped, since the
// original error is the one to report. Only for use while that error propagates.
template <typename Step>
void CleanUpKeepingError(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
        // The original error is the one to report.
    }
}

// Tells an AfterExecute handler (if any) that the execution failed, while the execution's own error
// propagates: sender is the component for the handlers that take one.
template <typename Handler, typename... Sender>
void TellExecutionFailed(const Handler& afterExecute, Sender*... sender) {
    if (afterExecute) CleanUpKeepingError([&] { afterExecute(sender..., false); });
}

// Misuse of a data-access component, reported with a fixed message.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

class EDAError : public EDatabaseError {
public:
    EDAError(int32_t errorCode, std::string message) : EDatabaseError(std::move(message)), ErrorCode(errorCode) {}

    int32_t ErrorCode = 0;
};

// A login setting that the driver could not be given as it is: passing it would change what it says
// (for example end the password early and add connection keys of its own).
enum class TConnectSetting { Server, Username, Password };

class EConnectSettingError : public EDatabaseError {
public:
    EConnectSettingError(TConnectSetting setting, std::string characters, std::string message)
        : EDatabaseError(std::move(message)), Setting(setting), Characters(std::move(characters)) {}

    TConnectSetting Setting;
    std::string Characters;
};

// A silent abort: the operation stops and nobody is shown a message (the error policy's choice).
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
};
