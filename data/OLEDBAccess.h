#pragma once
// The provider-level connection object (TOLEDBConnection), the property-set builder and the provider
// error classes. Every provider result code of the connection, command and record-set layers goes
// through TOLEDBConnection::Check, which turns failures into EOLEDBError / EMSError.
#include "data/CRAccess.h"
#include "data/provider/Provider.h"

#include <memory>
#include <string>
#include <vector>

class EOLEDBError;

// The sub-errors of an EOLEDBError; owns them, copies duplicate every one with its class.
class TOLEDBErrors {
public:
    TOLEDBErrors();
    TOLEDBErrors(const TOLEDBErrors& other);
    TOLEDBErrors& operator=(const TOLEDBErrors& other);
    TOLEDBErrors(TOLEDBErrors&&) noexcept;
    TOLEDBErrors& operator=(TOLEDBErrors&&) noexcept;
    ~TOLEDBErrors();

    int Count() const { return static_cast<int>(FList.size()); }
    EOLEDBError& operator[](int index) const { return *FList.at(static_cast<size_t>(index)); }
    void Add(std::unique_ptr<EOLEDBError> error) { FList.push_back(std::move(error)); }
    void Clear() { FList.clear(); }

private:
    std::vector<std::unique_ptr<EOLEDBError>> FList;
};

class EOLEDBError : public EDAError {
public:
    EOLEDBError(int32_t errorCode, std::string message) : EDAError(errorCode, std::move(message)) {}
    // Copies the fields and duplicates the sub-errors.
    virtual std::unique_ptr<EOLEDBError> Clone() const { return std::make_unique<EOLEDBError>(*this); }
    // Throws a copy of this error with its own class.
    [[noreturn]] virtual void Raise() const { throw *this; }

    provider::HRESULT OLEDBErrorCode = 0;
    provider::InterfaceId ErrorInterface = provider::InterfaceId::None;
    TOLEDBErrors Errors;
};

class EMSError : public EOLEDBError {
public:
    // ErrorCode equals NativeError; ServerMessage is the record's own text.
    EMSError(const provider::SqlServerError& record, std::string message);
    std::unique_ptr<EOLEDBError> Clone() const override { return std::make_unique<EMSError>(*this); }
    [[noreturn]] void Raise() const override { throw *this; }

    int32_t NativeError = 0;
    std::string ServerName;
    std::string ProcName;
    uint8_t State = 0;
    uint8_t SeverityClass = 0;
    uint16_t LineNumber = 0;
    std::string ServerMessage;
};

// A provider failure raised without the result check (no connection to read the error records, or a
// message of this layer's own): the provider's pending records are dropped, as they are not this
// error's, and the error goes out with the result code and interface and no sub-errors.
[[noreturn]] void RaiseProviderFailure(provider::HRESULT hr, provider::InterfaceId interfaceId, std::string message);

class TOLEDBConnection;

// Builds one property set (at most 20 properties) and sends it to the provider.
class TOLEDBPropertiesSet {
public:
    static constexpr size_t MaxProperties = 20;

    TOLEDBPropertiesSet(TOLEDBConnection& connection, provider::PropertySetId id);

    void AddPropStr(provider::PropertyId id, const std::string& value, bool optional = false);
    void AddPropInt(provider::PropertyId id, int32_t value, bool optional = false);
    void AddPropSmallInt(provider::PropertyId id, int16_t value, bool optional = false);
    void AddPropBool(provider::PropertyId id, bool value, bool optional = false);

    // SetProperties on the target, then the result check. A refused set gets "\n" and one
    // "[%d] := $%X" line per property with a non-zero status appended to the raised error.
    void SetProperties(provider::DataSource& target);
    void SetProperties(provider::Session& target);
    void SetProperties(provider::Command& target);

    const provider::PropertySet& Set() const { return FSet; }

private:
    void Add(provider::PropertyId id, provider::PropertyValue value, bool optional);
    void CheckResult(provider::HRESULT hr, provider::InterfaceId interfaceId);

    TOLEDBConnection& FConnection;
    provider::PropertySet FSet;
};

class TOLEDBConnection : public TCRConnection {
public:
    TOLEDBConnection();
    ~TOLEDBConnection() override;

    void Connect() override;
    void Disconnect() override;
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void ExecuteText(const std::string& sql) override;
    bool CheckIsValid() override;
    bool LinkLost() const override;
    // Raises EConnectSettingError for a server name, user name or password the driver cannot be given.
    void CheckLoginSettings() const;

    bool SetProp(int prop, const TPropValue& value) override;
    bool GetProp(int prop, TPropValue& value) const override;

    // The result check: a non-zero result becomes EMSError / EOLEDBError (after the error policy);
    // a zero result only feeds OnInfoMessage.
    void Check(provider::HRESULT hr, provider::InterfaceId interfaceId = provider::InterfaceId::None);

    // Executes a statement and returns the first column of its rows as text (the name lists).
    std::vector<std::string> ReadStrings(const std::string& sql);

    // For the command layer: the open session (nullptr while closed).
    provider::Session* GetSession() const { return FSession.get(); }
    provider::DataSource* GetDataSource() const { return FDataSource.get(); }

    const std::string& DBMSName() const { return FDBMSName; }
    const std::string& DBMSVersion() const { return FDBMSVersion; }
    int DBMSPrimaryVer() const { return FDBMSPrimaryVer; }
    const std::string& ProviderOLEDBVersion() const { return FProviderOLEDBVersion; }
    const std::string& ProviderVersion() const { return FProviderVersion; }
    int ProviderPrimaryVer() const { return FProviderPrimaryVer; }
    bool InTransaction() const { return FInTransaction; }

    // The current database, bracketed as the server needs it (exposed for tests).
    static std::string QuoteDatabaseName(const std::string& name);

private:
    friend class TOLEDBPropertiesSet;

    void CreateDataSource();
    void SetInitProperties();
    void ReleaseInterfaces();
    void ReadDataSourceInfo();
    void SetCurrentCatalog();
    void ExecuteOwnStatement(const std::string& sql);
    std::unique_ptr<EOLEDBError> BuildError(provider::HRESULT hr, const provider::ErrorInfo* info) const;
    void HandleError(EOLEDBError& error);
    int32_t IsolationLevelCode() const;

    std::unique_ptr<provider::DataSource> FDataSource;
    std::unique_ptr<provider::Session> FSession;

    std::string FDatabase;
    TIsolationLevel FIsolationLevel = TIsolationLevel::ilReadCommitted;
    TMSAuthentication FAuthentication = TMSAuthentication::auServer;
    int32_t FConnectionTimeout = 15;
    bool FQuotedIdentifier = true;
    std::string FLanguage;
    bool FAutoTranslate = true;
    bool FEncrypt = false;
    std::string FNetworkLibrary;
    int32_t FPacketSize = 4096;
    std::string FApplicationName;
    std::string FWorkstationID;
    std::string FProvider = "SQLOLEDB.1";

    std::string FDBMSName;
    std::string FDBMSVersion;
    int FDBMSPrimaryVer = 0;
    std::string FProviderOLEDBVersion;
    std::string FProviderVersion;
    int FProviderPrimaryVer = 0;
    bool FInTransaction = false;
};
