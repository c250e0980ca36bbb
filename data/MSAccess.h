#pragma once
// The SQL Server connection component TMSConnection and its options.
#include "data/DBAccess.h"
#include "data/OLEDBAccess.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMSConnection;
class TMSSQL;

enum class TDANumericType { ntFloat, ntBCD, ntFmtBCD };

class TMSConnectionOptions : public TDAConnectionOptions {
public:
    explicit TMSConnectionOptions(TMSConnection& owner);

    // May change on an open connection: the server is told at once.
    bool QuotedIdentifier() const { return FQuotedIdentifier; }
    void SetQuotedIdentifier(bool value);

    // The others are refused on an open connection ("Cannot perform this operation on an open
    // connection"); they reach the server at the next open.
    const std::string& Language() const { return FLanguage; }
    void SetLanguage(const std::string& value);
    bool Encrypt() const { return FEncrypt; }
    void SetEncrypt(bool value);
    bool AutoTranslate() const { return FAutoTranslate; }
    void SetAutoTranslate(bool value);
    const std::string& NetworkLibrary() const { return FNetworkLibrary; }
    void SetNetworkLibrary(const std::string& value);
    const std::string& ApplicationName() const { return FApplicationName; }
    void SetApplicationName(const std::string& value);
    const std::string& WorkstationID() const { return FWorkstationID; }
    void SetWorkstationID(const std::string& value);
    int PacketSize() const { return FPacketSize; }
    void SetPacketSize(int value);
    TDANumericType NumericType() const { return FNumericType; }
    void SetNumericType(TDANumericType value);
    // "SQLOLEDB.1", "SQLNCLI.1" or empty (try both).
    const std::string& Provider() const { return FProvider; }
    void SetProvider(const std::string& value);

private:
    friend class TMSConnection;
    TMSConnection& Connection();
    // Refuses a change on an open connection; hands the value to the connection object.
    void Changing();
    void Hand(int prop, const TPropValue& value);

    bool FQuotedIdentifier = true;
    std::string FLanguage;
    bool FEncrypt = false;
    bool FAutoTranslate = true;
    std::string FNetworkLibrary;
    std::string FApplicationName;
    std::string FWorkstationID;
    int FPacketSize = 4096;
    TDANumericType FNumericType = TDANumericType::ntFloat;
    std::string FProvider;
};

using TMSConnectionInfoMessageEvent = std::function<void(TMSConnection* sender, EMSError& error)>;

class TMSConnection : public TCustomDAConnection {
public:
    TMSConnection();
    ~TMSConnection() override;

    // "master" by default; assigning "" stores "master". Switches the database of an open connection.
    const std::string& Database() const { return FDatabase; }
    void SetDatabase(const std::string& value);

    TIsolationLevel IsolationLevel() const { return FIsolationLevel; }
    void SetIsolationLevel(TIsolationLevel value);

    TMSAuthentication Authentication() const { return FAuthentication; }
    void SetAuthentication(TMSAuthentication value);

    int ConnectionTimeout() const { return FConnectionTimeout; }
    void SetConnectionTimeout(int value);

    TMSConnectionOptions& Options() { return FOptions; }
    const TMSConnectionOptions& Options() const { return FOptions; }

    bool QuotedIdentifier() const { return FOptions.QuotedIdentifier(); }
    void SetQuotedIdentifier(bool value) { FOptions.SetQuotedIdentifier(value); }

    // "Key=Value" pairs joined by ";" (see the connect-string rules); assigning parses and applies them.
    std::string ConnectString() const;
    void SetConnectString(const std::string& value);

    TMSConnectionInfoMessageEvent OnInfoMessage;

    // Executes a text through the connection's own command; returns the "Result" parameter's value
    // (null without one). Parameter binding is refused by the command layer, so a text with
    // parameters raises its error.
    TPropValue ExecSQL(const std::string& text, const std::vector<TPropValue>& params = {});

    // Sorted name lists read through the open connection.
    std::vector<std::string> GetDatabaseNames();
    std::vector<std::string> GetTableNames();
    std::vector<std::string> GetStoredProcNames();

    // The connection object as the OLE DB layer (nullptr before the first open).
    TOLEDBConnection* OLEDBConnection() const;

protected:
    TDAConnectionOptions& BaseOptions() override { return FOptions; }
    std::unique_ptr<TCRConnection> CreateIConnection() override;
    std::unique_ptr<TCRConnection> GetPooledIConnection() override;
    void ReturnPooledIConnection(std::unique_ptr<TCRConnection> object) override;
    void AssignConnectOptions(TCRConnection& object) override;
    bool DataSetBlocksReconnect(const TDataSetClient& dataSet) const override;
    void BindInfoMessage(TCRConnection& object) override;

private:
    friend class TMSConnectionOptions;
    void HandToObject(int prop, const TPropValue& value);
    std::vector<std::string> ReadNames(const std::string& sql, bool resetDatabaseOn4060);

    std::unique_ptr<TMSSQL> FSQLCommand;  // the private command, made at the first ExecSQL
    std::string FDatabase = "master";
    TIsolationLevel FIsolationLevel = TIsolationLevel::ilReadCommitted;
    TMSAuthentication FAuthentication = TMSAuthentication::auServer;
    int FConnectionTimeout = 15;
    TMSConnectionOptions FOptions;
};
