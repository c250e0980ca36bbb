#pragma once
// Generic connection components: TCustomConnection (clients and connect events) and
// TCustomDAConnection (login settings, open and close sequence, transactions, error policy, pooling).
// The SQL Server component TMSConnection (data/MSAccess.h) derives from them.
#include "data/CRAccess.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCustomConnection;
class TCustomDAConnection;
class TCustomConnectDialog;

// Anything that registers with a connection. A client unregisters itself (UnRegisterClient) before it
// is destroyed; the connection calls its clients until then, also from its own destructor.
class TConnectionClient {
public:
    virtual ~TConnectionClient() = default;
};

// A dataset bound to a connection: told when the connection opens or closes (it closes itself on a
// disconnect), and asked whether it is open.
class TDataSetClient : public TConnectionClient {
public:
    virtual void ConnectionChangeNotice(bool connecting) = 0;
    virtual bool IsActive() const = 0;
    // The connection object it works on (nullptr when the connection drops it).
    virtual void AssignConnectionObject(TCRConnection* object) = 0;
    // The connection is being destroyed: the dataset's connection becomes none.
    virtual void ConnectionDestroyed() = 0;
    // True while the dataset still holds a provider rowset (SQL Server datasets).
    virtual bool HoldsProviderRowset() const { return false; }
};

// A command component bound to a connection.
class TCommandClient : public TConnectionClient {
public:
    virtual bool IsPrepared() const = 0;
    virtual void AssignConnectionObject(TCRConnection* object) = 0;
    virtual void ConnectionDestroyed() = 0;
};

using TConnectChangeEvent = std::function<void(TConnectionClient* client, bool connecting)>;
using TConnectionNotifyEvent = std::function<void(TCustomConnection* sender)>;
using TDAConnectionErrorEvent = std::function<void(TCustomConnection* sender, EDAError& error, bool& fail)>;
using TLoginEvent =
    std::function<void(TCustomConnection* sender, const std::string& username, const std::string& password)>;

class TCustomConnection {
public:
    TCustomConnection();
    virtual ~TCustomConnection();
    TCustomConnection(const TCustomConnection&) = delete;
    TCustomConnection& operator=(const TCustomConnection&) = delete;

    bool Connected() const { return GetConnected(); }
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    virtual void RegisterClient(TConnectionClient* client, TConnectChangeEvent event = {});
    virtual void UnRegisterClient(TConnectionClient* client);

    int ClientCount() const { return static_cast<int>(FClients.size()); }
    int DataSetCount() const { return static_cast<int>(FDataSets.size()); }
    TDataSetClient* DataSet(int index) const { return FDataSets.at(static_cast<size_t>(index)); }

    TConnectionNotifyEvent BeforeConnect;
    TConnectionNotifyEvent AfterConnect;
    TConnectionNotifyEvent BeforeDisconnect;
    TConnectionNotifyEvent AfterDisconnect;

protected:
    virtual bool GetConnected() const = 0;
    virtual void DoConnect() = 0;
    virtual void DoDisconnect() = 0;
    // Tells every client (callbacks, then datasets) that the connection opened or closes.
    void SendConnectEvent(bool connecting);
    // The whole open / close sequences; TCustomDAConnection refines them.
    virtual void OpenConnection();
    virtual void CloseConnection();

    std::vector<TConnectionClient*> FClients;
    std::vector<TConnectChangeEvent> FConnectEvents;
    std::vector<TDataSetClient*> FDataSets;
};

struct TPoolingOptions {
    int MaxPoolSize = 100;
    int MinPoolSize = 0;         // part of the pool key only
    int ConnectionLifetime = 0;  // milliseconds; 0 = unlimited
};

class TDAConnectionOptions {
public:
    explicit TDAConnectionOptions(TCustomDAConnection& owner) : FOwner(owner) {}
    virtual ~TDAConnectionOptions() = default;
    TDAConnectionOptions(const TDAConnectionOptions&) = delete;
    TDAConnectionOptions& operator=(const TDAConnectionOptions&) = delete;

    bool KeepDesignConnected() const { return FKeepDesignConnected; }
    void SetKeepDesignConnected(bool value) { FKeepDesignConnected = value; }

protected:
    TCustomDAConnection& FOwner;
    bool FKeepDesignConnected = true;
};

class TCustomDAConnection : public TCustomConnection {
public:
    TCustomDAConnection();
    ~TCustomDAConnection() override;

    const std::string& Username() const { return FUsername; }
    const std::string& Password() const { return FPassword; }
    const std::string& Server() const { return FServer; }
    void SetUsername(const std::string& value);
    void SetPassword(const std::string& value);
    void SetServer(const std::string& value);

    bool LoginPrompt() const { return FLoginPrompt; }
    void SetLoginPrompt(bool value) { FLoginPrompt = value; }
    TCustomConnectDialog* ConnectDialog() const { return FConnectDialog; }
    void SetConnectDialog(TCustomConnectDialog* value) { FConnectDialog = value; }

    bool Pooling() const { return FPooling; }
    void SetPooling(bool value);
    TPoolingOptions& PoolingOptions() { return FPoolingOptions; }
    const TPoolingOptions& PoolingOptions() const { return FPoolingOptions; }

    void Connect() { SetConnected(true); }
    void Disconnect() { SetConnected(false); }

    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return !FTransactionName.empty(); }
    bool AutoCommit() const { return FAutoCommit; }

    void RegisterClient(TConnectionClient* client, TConnectChangeEvent event = {}) override;
    void UnRegisterClient(TConnectionClient* client) override;
    int CommandCount() const { return static_cast<int>(FCommands.size()); }

    // Loading from a form resource: an open requested meanwhile is carried out by EndLoading.
    void BeginLoading() { FLoading = true; }
    void EndLoading();

    // The connection object (nullptr before the first open, or after a pooled one went back).
    TCRConnection* ConnectionObject() const { return FIConnection.get(); }

    TDAConnectionErrorEvent OnError;
    TLoginEvent OnLogin;  // carried; no path raises it

    // The fatal-error test of the error policy.
    static bool IsFatalError(const EDAError& error);

protected:
    bool GetConnected() const override;
    void DoConnect() override;
    void DoDisconnect() override;
    void OpenConnection() override;
    void CloseConnection() override;

    virtual TDAConnectionOptions& BaseOptions() = 0;
    // Creates a non-pooled connection object with every setting of the component.
    virtual std::unique_ptr<TCRConnection> CreateIConnection() = 0;
    // Takes a connection object from the pool manager.
    virtual std::unique_ptr<TCRConnection> GetPooledIConnection() = 0;
    // Gives a pooled object back to its pool.
    virtual void ReturnPooledIConnection(std::unique_ptr<TCRConnection> object) = 0;
    // The isolation level for StartTransaction (the SQL Server component's IsolationLevel).
    virtual void AssignConnectOptions(TCRConnection& object);
    // Whether a bound dataset keeps the error policy from reconnecting (beyond open and prepared).
    virtual bool DataSetBlocksReconnect(const TDataSetClient& dataSet) const;

    void CreateConnectionObject();
    void BindConnectionObject();
    // Binds the object's info-message callback (SQL Server components pass it to OnInfoMessage).
    virtual void BindInfoMessage(TCRConnection& object);
    void FreeConnectionObject();
    void ReleaseConnectionObject();
    void ReleasePooled();
    // Closes, detaches every client and frees the connection object. Derived components call it from
    // their destructor, while their overrides still exist.
    void DestroyConnection();
    // Error policy (OnError, the fatal-error test, reconnect decision, close on a fatal error).
    void DoError(EDAError& error, bool& fail, bool& reconnect);
    // An open bound dataset, a dataset holding a provider rowset, or a prepared command.
    bool ClientBlocksReconnect() const;
    bool IsConnectionObjectOpen() const;
    void CheckConnected() const;

    std::string FUsername;
    std::string FPassword;
    std::string FServer;
    bool FLoginPrompt = true;
    TCustomConnectDialog* FConnectDialog = nullptr;
    bool FPooling = false;
    TPoolingOptions FPoolingOptions;
    std::vector<TCommandClient*> FCommands;
    bool FAutoCommit = true;
    std::string FTransactionName;
    std::unique_ptr<TCRConnection> FIConnection;
    bool FStreamedConnected = false;
    bool FLoading = false;
    bool FDisconnectedOnError = false;  // closing because of an error
    bool FDestroying = false;
};
