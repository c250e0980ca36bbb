#include "data/OLEDBAccess.h"

#include "common/AsciiText.h"
#include "common/Format.h"
#include "common/Path.h"
#include "common/VersionNumber.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace provider;

namespace {

// The running program's file name without its folder (the default application name).
std::string ProgramFileName() {
    std::error_code error;
    return std::string(FileNameOf(ProgramFile(error)));
}

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '#' || c == '@';
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }

std::string QuotePart(const std::string& part) {
    if (part.size() >= 2 &&
        ((part.front() == '[' && part.back() == ']') || (part.front() == '"' && part.back() == '"'))) {
        return part;
    }
    bool plain = !part.empty() && IsNameStart(part.front()) &&
                 std::all_of(part.begin() + 1, part.end(), [](char c) { return IsNameChar(c); });
    if (plain || part.empty()) return part;
    std::string out = "[";
    for (char c : part) {
        out.push_back(c);
        if (c == ']') out.push_back(']');  // a closing bracket inside the name must not end it
    }
    out.push_back(']');
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------

TOLEDBErrors::TOLEDBErrors() = default;
TOLEDBErrors::~TOLEDBErrors() = default;
TOLEDBErrors::TOLEDBErrors(TOLEDBErrors&&) noexcept = default;
TOLEDBErrors& TOLEDBErrors::operator=(TOLEDBErrors&&) noexcept = default;

TOLEDBErrors::TOLEDBErrors(const TOLEDBErrors& other) {
    for (const auto& e : other.FList) FList.push_back(e->Clone());
}

TOLEDBErrors& TOLEDBErrors::operator=(const TOLEDBErrors& other) {
    if (this != &other) {
        TOLEDBErrors copy(other);
        FList.swap(copy.FList);
    }
    return *this;
}

EMSError::EMSError(const SqlServerError& record, std::string message)
    : EOLEDBError(record.nativeError, std::move(message)),
      NativeError(record.nativeError),
      ServerName(record.serverName),
      ProcName(record.procName),
      State(record.state),
      SeverityClass(record.severityClass),
      LineNumber(record.lineNumber),
      ServerMessage(record.message) {}

void RaiseProviderFailure(HRESULT hr, InterfaceId interfaceId, std::string message) {
    (void)GetErrorInfo();
    EOLEDBError error(hr, std::move(message));
    error.OLEDBErrorCode = hr;
    error.ErrorInterface = interfaceId;
    throw error;
}

// ---------------------------------------------------------------------------------------------------

TOLEDBPropertiesSet::TOLEDBPropertiesSet(TOLEDBConnection& connection, PropertySetId id) : FConnection(connection) {
    FSet.id = id;
}

void TOLEDBPropertiesSet::Add(PropertyId id, PropertyValue value, bool optional) {
    if (FSet.properties.size() >= MaxProperties) {
        throw EDatabaseError(STooManyProperties);
    }
    Property p;
    p.id = id;
    p.options = optional ? DBPROPOPTIONS_OPTIONAL : DBPROPOPTIONS_REQUIRED;
    p.value = std::move(value);
    FSet.properties.push_back(std::move(p));
}

void TOLEDBPropertiesSet::AddPropStr(PropertyId id, const std::string& value, bool optional) {
    Add(id, value, optional);
}
void TOLEDBPropertiesSet::AddPropInt(PropertyId id, int32_t value, bool optional) { Add(id, value, optional); }
void TOLEDBPropertiesSet::AddPropSmallInt(PropertyId id, int16_t value, bool optional) { Add(id, value, optional); }
void TOLEDBPropertiesSet::AddPropBool(PropertyId id, bool value, bool optional) { Add(id, value, optional); }

void TOLEDBPropertiesSet::SetProperties(DataSource& target) {
    for (auto& p : FSet.properties) p.status = DBPROPSTATUS_OK;
    CheckResult(target.SetProperties(FSet), InterfaceId::IDBProperties);
}

void TOLEDBPropertiesSet::SetProperties(Session& target) {
    for (auto& p : FSet.properties) p.status = DBPROPSTATUS_OK;
    CheckResult(target.SetProperties(FSet), InterfaceId::ISessionProperties);
}

void TOLEDBPropertiesSet::SetProperties(Command& target) {
    for (auto& p : FSet.properties) p.status = DBPROPSTATUS_OK;
    CheckResult(target.SetProperties(FSet), InterfaceId::ICommandProperties);
}

void TOLEDBPropertiesSet::CheckResult(HRESULT hr, InterfaceId interfaceId) {
    try {
        FConnection.Check(hr, interfaceId);
    } catch (EOLEDBError& e) {
        std::string lines;
        for (size_t i = 0; i < FSet.properties.size(); ++i) {
            const auto status = FSet.properties[i].status;
            if (status == 0) continue;
            char line[48];
            std::snprintf(line, sizeof line, "[%d] := $%X", static_cast<int>(i), status);
            if (!lines.empty()) lines += "\r\n";
            lines += line;
        }
        e.Message += "\n" + lines;
        throw;
    }
}

// ---------------------------------------------------------------------------------------------------

TOLEDBConnection::TOLEDBConnection() = default;

TOLEDBConnection::~TOLEDBConnection() {
    OnError = nullptr;
    OnDisconnectComponent = nullptr;
    OnInfoMessage = nullptr;
    try {
        Disconnect();
    } catch (...) {
        // Nothing may leave a destructor; the provider objects are released either way.
    }
}

int32_t TOLEDBConnection::IsolationLevelCode() const {
    switch (FIsolationLevel) {
    case TIsolationLevel::ilReadUnCommitted: return ISOLATIONLEVEL_READUNCOMMITTED;
    case TIsolationLevel::ilRepeatableRead: return ISOLATIONLEVEL_REPEATABLEREAD;
    case TIsolationLevel::ilIsolated: return ISOLATIONLEVEL_ISOLATED;
    case TIsolationLevel::ilReadCommitted: break;
    }
    return ISOLATIONLEVEL_READCOMMITTED;
}

std::string TOLEDBConnection::QuoteDatabaseName(const std::string& name) {
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t dot = name.find('.', start);
        out += QuotePart(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

void TOLEDBConnection::CreateDataSource() {
    const std::string provider = AsciiUpper(FProvider);
    if (!provider.empty() && provider != "SQLOLEDB.1" && provider != "SQLNCLI.1") {
        throw EDatabaseError(SBadProviderName);
    }
    std::vector<std::string> classes;
    if (provider.empty()) {
        classes = {"SQLNCLI.1", "SQLOLEDB.1"};
    } else {
        classes = {provider};
    }
    HRESULT hr = REGDB_E_CLASSNOTREG;
    for (const auto& classId : classes) {
        hr = CurrentProvider().CreateDataSource(classId, FDataSource);
        if (hr != REGDB_E_CLASSNOTREG) break;
    }
    if (hr == REGDB_E_CLASSNOTREG) {
        FDataSource.reset();
        throw EDatabaseError(SProviderNotFound);
    }
    Check(hr, InterfaceId::IDBInitialize);
    if (!FDataSource) Check(E_NOINTERFACE, InterfaceId::IDBInitialize);
}

void TOLEDBConnection::SetInitProperties() {
    {
        TOLEDBPropertiesSet set(*this, PropertySetId::DBInit);
        set.AddPropStr(DBPROP_INIT_DATASOURCE, FServer.empty() ? std::string("(local)") : FServer, true);
        set.AddPropStr(DBPROP_INIT_CATALOG, FDatabase, true);
        set.AddPropInt(DBPROP_INIT_TIMEOUT, FConnectionTimeout);
        if (FAuthentication == TMSAuthentication::auWindows) {
            set.AddPropStr(DBPROP_AUTH_INTEGRATED, "", true);
        } else if (!FUsername.empty() || !FPassword.empty()) {
            set.AddPropStr(DBPROP_AUTH_USERID, FUsername, true);
            set.AddPropStr(DBPROP_AUTH_PASSWORD, FPassword, true);
        } else {
            set.AddPropStr(DBPROP_AUTH_USERID, "sa", true);
        }
        set.AddPropSmallInt(DBPROP_INIT_PROMPT, DBPROMPT_NOPROMPT, true);
        set.AddPropInt(DBPROP_INIT_HWND, 0);
        set.SetProperties(*FDataSource);
    }
    {
        TOLEDBPropertiesSet set(*this, PropertySetId::SQLServerDBInit);
        if (!FWorkstationID.empty()) set.AddPropStr(SSPROP_INIT_WSID, FWorkstationID, true);
        set.AddPropStr(SSPROP_INIT_APPNAME, FApplicationName.empty() ? ProgramFileName() : FApplicationName, true);
        if (!FLanguage.empty()) set.AddPropStr(SSPROP_INIT_CURRENTLANGUAGE, FLanguage);
        set.AddPropBool(SSPROP_INIT_AUTOTRANSLATE, FAutoTranslate);
        set.SetProperties(*FDataSource);
    }
    auto single = [this](auto add, const char* failure) {
        TOLEDBPropertiesSet set(*this, PropertySetId::SQLServerDBInit);
        add(set);
        try {
            set.SetProperties(*FDataSource);
        } catch (EOLEDBError& e) {
            e.Message += std::string("\n") + failure;
            throw;
        }
    };
    if (FEncrypt) {
        single([](TOLEDBPropertiesSet& s) { s.AddPropBool(SSPROP_INIT_ENCRYPT, true, true); }, SWrongEncrypt);
    }
    if (!FNetworkLibrary.empty()) {
        single([this](TOLEDBPropertiesSet& s) { s.AddPropStr(SSPROP_INIT_NETWORKLIBRARY, FNetworkLibrary); },
               SWrongNetworkLibrary);
    }
    single([this](TOLEDBPropertiesSet& s) { s.AddPropInt(SSPROP_INIT_PACKETSIZE, FPacketSize); }, SWrongPacketSize);
}

void TOLEDBConnection::ReadDataSourceInfo() {
    DataSourceInfo info;
    Check(FDataSource->GetDataSourceInfo(info), InterfaceId::IDBProperties);
    FDBMSName = info.dbmsName;
    FDBMSVersion = info.dbmsVersion;
    FDBMSPrimaryVer = MajorVersionNumberAfterText(info.dbmsVersion);
    FProviderOLEDBVersion = info.providerOleDbVersion;
    FProviderVersion = info.providerVersion;
    FProviderPrimaryVer = MajorVersionNumberAfterText(info.providerVersion);
    if (FProviderPrimaryVer < 7) {
        throw EDatabaseError(SProviderTooOld);
    }
}

void TOLEDBConnection::CheckLoginSettings() const {
    struct Checked {
        TConnectSetting setting;
        const char* name;
        const std::string& value;
    };
    for (const Checked& c : {Checked{TConnectSetting::Server, "server name", FServer},
                             Checked{TConnectSetting::Username, "user name", FUsername},
                             Checked{TConnectSetting::Password, "password", FPassword}}) {
        std::string characters = FDataSource->UnsayableCharacters(c.value);
        if (!characters.empty()) {
            std::string message = Format(SLoginSettingRefused, c.name, characters.c_str());
            throw EConnectSettingError(c.setting, std::move(characters), std::move(message));
        }
    }
}

void TOLEDBConnection::Connect() {
    if (FConnected) return;
    try {
        CreateDataSource();
        // Refused before anything is sent: no text of these settings may change another one.
        CheckLoginSettings();
        SetInitProperties();
        Check(FDataSource->Initialize(), InterfaceId::IDBInitialize);
        {
            TOLEDBPropertiesSet set(*this, PropertySetId::DataSource);
            set.AddPropBool(DBPROP_MULTIPLECONNECTIONS, true, true);
            set.SetProperties(*FDataSource);
        }
        Check(FDataSource->CreateSession(FSession), InterfaceId::IDBCreateSession);
        {
            TOLEDBPropertiesSet set(*this, PropertySetId::Session);
            set.AddPropInt(DBPROP_SESS_AUTOCOMMITISOLEVELS, IsolationLevelCode());
            set.SetProperties(*FSession);
        }
        ReadDataSourceInfo();
        FConnected = true;
        FInTransaction = false;
        if (!FQuotedIdentifier) ExecuteOwnStatement("SET QUOTED_IDENTIFIER OFF");
    } catch (...) {
        ReleaseInterfaces();
        throw;
    }
}

void TOLEDBConnection::ReleaseInterfaces() {
    FSession.reset();
    if (FDataSource) {
        FDataSource->Uninitialize();
        FDataSource.reset();
    }
    FConnected = false;
    FInTransaction = false;
}

void TOLEDBConnection::Disconnect() {
    if (!FDataSource && !FSession) {
        FConnected = false;
        return;
    }
    FSession.reset();
    HRESULT hr = FDataSource ? FDataSource->Uninitialize() : S_OK;
    FDataSource.reset();
    FConnected = false;
    FInTransaction = false;
    if (hr != S_OK) Check(hr, InterfaceId::IDBInitialize);
}

bool TOLEDBConnection::LinkLost() const { return FDataSource && FDataSource->LinkLost(); }

void TOLEDBConnection::StartTransaction() {
    if (!FSession) throw EDatabaseError(SConnectionClosed);
    Check(FSession->StartTransaction(IsolationLevelCode()), InterfaceId::ITransactionLocal);
    FInTransaction = true;
}

void TOLEDBConnection::Commit() {
    if (!FSession) throw EDatabaseError(SConnectionClosed);
    Check(FSession->Commit(), InterfaceId::ITransactionLocal);
    FInTransaction = false;
}

void TOLEDBConnection::Rollback() {
    if (!FSession) throw EDatabaseError(SConnectionClosed);
    HRESULT hr = FSession->Abort();
    FInTransaction = false;
    Check(hr, InterfaceId::ITransactionLocal);
}

void TOLEDBConnection::ExecuteOwnStatement(const std::string& sql) {
    if (!FSession) throw EDatabaseError(SConnectionClosed);
    std::unique_ptr<Command> command;
    Check(FSession->CreateCommand(command), InterfaceId::IDBCreateCommand);
    Check(command->SetCommandText(sql), InterfaceId::ICommandText);
    ExecuteResult result;
    Check(command->Execute(ExecuteMode::NoResult, result), InterfaceId::ICommand);
}

void TOLEDBConnection::ExecuteText(const std::string& sql) { ExecuteOwnStatement(sql); }

bool TOLEDBConnection::CheckIsValid() {
    if (!FConnected) {
        FIsValid = false;
        return false;
    }
    try {
        ExecuteOwnStatement("/* Check connection */");
        return true;
    } catch (...) {
        FIsValid = false;
        return false;
    }
}

std::vector<std::string> TOLEDBConnection::ReadStrings(const std::string& sql) {
    if (!FSession) throw EDatabaseError(SConnectionClosed);
    std::unique_ptr<Command> command;
    Check(FSession->CreateCommand(command), InterfaceId::IDBCreateCommand);
    Check(command->SetCommandText(sql), InterfaceId::ICommandText);
    ExecuteResult result;
    Check(command->Execute(ExecuteMode::Rowset, result), InterfaceId::ICommand);
    std::vector<std::string> names;
    if (!result.rowset) return names;
    // Names are at most 128 characters; a row holds the text, its length and its status.
    constexpr size_t textRoom = 520;
    constexpr size_t rowSize = textRoom + 8;
    constexpr size_t rowsPerBlock = 50;
    std::vector<Binding> bindings(1);
    bindings[0].ordinal = 1;
    bindings[0].type = DBTYPE_STR;
    bindings[0].valueOffset = 0;
    bindings[0].maxLength = textRoom;
    bindings[0].lengthOffset = textRoom;
    bindings[0].statusOffset = textRoom + 4;
    std::vector<char> buffer(rowSize * rowsPerBlock);
    for (;;) {
        size_t fetched = 0;
        HRESULT hr = result.rowset->FetchBlock(bindings, buffer.data(), rowSize, rowsPerBlock, fetched);
        if (hr != DB_S_ENDOFROWSET) Check(hr, InterfaceId::IRowset);
        for (size_t r = 0; r < fetched; ++r) {
            const char* row = buffer.data() + r * rowSize;
            uint32_t status = 0;
            std::memcpy(&status, row + textRoom + 4, sizeof status);
            if (status == DBSTATUS_S_ISNULL) continue;
            names.emplace_back(row);
        }
        if (hr == DB_S_ENDOFROWSET) break;
    }
    return names;
}

bool TOLEDBConnection::SetProp(int prop, const TPropValue& value) {
    switch (prop) {
    case prDatabase: {
        const std::string previous = FDatabase;
        FDatabase = std::get<std::string>(value);
        if (FConnected && FDataSource) {
            try {
                SetCurrentCatalog();
            } catch (...) {
                FDatabase = previous;
                throw;
            }
        }
        return true;
    }
    case prIsolationLevel: FIsolationLevel = static_cast<TIsolationLevel>(std::get<int32_t>(value)); return true;
    case prAuthentication: FAuthentication = static_cast<TMSAuthentication>(std::get<int32_t>(value)); return true;
    case prConnectionTimeout: FConnectionTimeout = std::get<int32_t>(value); return true;
    case prQuotedIdentifier: {
        const bool next = std::get<bool>(value);
        if (FConnected && next != FQuotedIdentifier) {
            ExecuteOwnStatement(next ? "SET QUOTED_IDENTIFIER ON" : "SET QUOTED_IDENTIFIER OFF");
        }
        FQuotedIdentifier = next;
        return true;
    }
    case prLanguage: FLanguage = std::get<std::string>(value); return true;
    case prEncrypt: FEncrypt = std::get<bool>(value); return true;
    case prAutoTranslate: FAutoTranslate = std::get<bool>(value); return true;
    case prNetworkLibrary: FNetworkLibrary = std::get<std::string>(value); return true;
    case prApplicationName: FApplicationName = std::get<std::string>(value); return true;
    case prWorkstationID: FWorkstationID = std::get<std::string>(value); return true;
    case prPacketSize: FPacketSize = std::get<int32_t>(value); return true;
    case prProvider: FProvider = std::get<std::string>(value); return true;
    default: return TCRConnection::SetProp(prop, value);
    }
}

bool TOLEDBConnection::GetProp(int prop, TPropValue& value) const {
    switch (prop) {
    case prDatabase: value = FDatabase; return true;
    case prIsolationLevel: value = static_cast<int32_t>(FIsolationLevel); return true;
    case prAuthentication: value = static_cast<int32_t>(FAuthentication); return true;
    case prConnectionTimeout: value = FConnectionTimeout; return true;
    case prQuotedIdentifier: value = FQuotedIdentifier; return true;
    case prLanguage: value = FLanguage; return true;
    case prEncrypt: value = FEncrypt; return true;
    case prAutoTranslate: value = FAutoTranslate; return true;
    case prNetworkLibrary: value = FNetworkLibrary; return true;
    case prApplicationName: value = FApplicationName; return true;
    case prWorkstationID: value = FWorkstationID; return true;
    case prPacketSize: value = FPacketSize; return true;
    case prProvider: value = FProvider; return true;
    default: return TCRConnection::GetProp(prop, value);
    }
}

void TOLEDBConnection::SetCurrentCatalog() {
    TOLEDBPropertiesSet set(*this, PropertySetId::DataSource);
    set.AddPropStr(DBPROP_CURRENTCATALOG, QuoteDatabaseName(FDatabase), true);
    set.SetProperties(*FDataSource);
}

// ---------------------------------------------------------------------------------------------------
// The result check

std::unique_ptr<EOLEDBError> TOLEDBConnection::BuildError(HRESULT hr, const ErrorInfo* info) const {
    std::string text;
    const SqlServerError* last = nullptr;
    if (info != nullptr) {
        for (auto it = info->records.rbegin(); it != info->records.rend(); ++it) {
            if (!it->sqlServer) continue;
            if (last == nullptr) last = &*it->sqlServer;
            text = text.empty() ? it->sqlServer->message : it->sqlServer->message + "\r\n" + text;
        }
    }
    std::unique_ptr<EOLEDBError> error;
    if (last != nullptr) {
        error = std::make_unique<EMSError>(*last, text);
    } else {
        std::string message = info != nullptr ? info->description : std::string();
        if (message.empty()) message = Format(SOLEDBError, static_cast<unsigned>(hr));
        if (hr == CO_E_NOTINITIALIZED) message += SCoInitializeMissing;
        error = std::make_unique<EOLEDBError>(hr, message);
    }
    error->OLEDBErrorCode = hr;
    if (info != nullptr) {
        for (const auto& record : info->records) {
            std::unique_ptr<EOLEDBError> sub;
            if (record.sqlServer) {
                sub = std::make_unique<EMSError>(*record.sqlServer, record.sqlServer->message);
            } else {
                sub = std::make_unique<EOLEDBError>(
                    hr, record.description.empty() ? info->description : record.description);
            }
            sub->OLEDBErrorCode = record.result;
            sub->ErrorInterface = record.interfaceId;
            error->Errors.Add(std::move(sub));
        }
    }
    return error;
}

void TOLEDBConnection::Check(HRESULT hr, InterfaceId interfaceId) {
    (void)interfaceId;
    if (hr == S_OK) {
        if (OnInfoMessage) {
            auto info = GetErrorInfo();
            if (info && std::any_of(info->records.begin(), info->records.end(),
                                    [](const ErrorRecord& r) { return r.sqlServer.has_value(); })) {
                auto message = BuildError(hr, info.get());
                OnInfoMessage(*message);
            }
        }
        return;
    }
    auto info = GetErrorInfo();
    auto error = BuildError(hr, info.get());
    HandleError(*error);
}

void TOLEDBConnection::HandleError(EOLEDBError& error) {
    bool fail = true;
    bool reconnect = false;
    if (OnError) OnError(error, fail, reconnect);
    if (reconnect && !FReconnecting) {
        FReconnecting = true;
        CleanUpKeepingError([this] { Disconnect(); });  // the old link is gone anyway
        bool reopened = false;
        try {
            Connect();
            reopened = true;
        } catch (...) {
            // Reported below by closing the component.
        }
        FReconnecting = false;
        if (reopened) {
            FReconnected = true;
        } else if (OnDisconnectComponent) {
            CleanUpKeepingError(OnDisconnectComponent);
        }
    }
    if (fail) error.Raise();
    throw EAbort();
}
