#pragma once
// Abstract bases of the provider-level objects: the connection object that a connection component
// owns (TCRConnection). The OLE DB implementation is TOLEDBConnection (data/OLEDBAccess.h).
#include "data/DAErrors.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>

class TConnectionPool;

enum class TIsolationLevel { ilReadCommitted, ilReadUnCommitted, ilRepeatableRead, ilIsolated };

enum class TMSAuthentication { auWindows, auServer };

// A value handed through the generic setting call.
using TPropValue = std::variant<std::monostate, bool, int32_t, std::string>;

// Setting codes of TCRConnection::SetProp / GetProp.
enum TConnectionProp : int {
    prDatabase = 1,
    prIsolationLevel,     // TIsolationLevel as int32
    prAuthentication,     // TMSAuthentication as int32
    prConnectionTimeout,  // seconds
    prQuotedIdentifier,
    prLanguage,
    prEncrypt,
    prAutoTranslate,
    prNetworkLibrary,
    prApplicationName,
    prWorkstationID,
    prPacketSize,
    prProvider,
    prAutoCommit,
};

class TCRConnection {
public:
    // Error policy of the owning component: may clear fail (the error becomes a silent abort) and
    // sets reconnect when the object should reopen itself.
    using TErrorProc = std::function<void(EDAError& error, bool& fail, bool& reconnect)>;
    using TDisconnectProc = std::function<void()>;
    using TInfoMessageProc = std::function<void(EDAError& info)>;

    TCRConnection();
    virtual ~TCRConnection();
    TCRConnection(const TCRConnection&) = delete;
    TCRConnection& operator=(const TCRConnection&) = delete;

    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    virtual void StartTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    // Runs a statement that returns no rows through the object's own command.
    virtual void ExecuteText(const std::string& sql) = 0;
    // The pool's validity check: true when the connection still answers.
    virtual bool CheckIsValid() = 0;
    // True when the link to the server is known to be gone, so the object can never be used again.
    virtual bool LinkLost() const { return false; }

    // Generic setting call; false when the code is unknown to the object.
    virtual bool SetProp(int prop, const TPropValue& value);
    virtual bool GetProp(int prop, TPropValue& value) const;

    bool GetConnected() const { return FConnected; }
    bool IsValid() const { return FIsValid; }
    void SetIsValid(bool value) { FIsValid = value; }
    std::chrono::steady_clock::time_point CreationTime() const { return FCreationTime; }

    void SetUsername(const std::string& value) { FUsername = value; }
    void SetPassword(const std::string& value) { FPassword = value; }
    void SetServer(const std::string& value) { FServer = value; }
    const std::string& GetUsername() const { return FUsername; }
    const std::string& GetPassword() const { return FPassword; }
    const std::string& GetServer() const { return FServer; }

    bool GetAutoCommit() const { return FAutoCommit; }

    // Callbacks bound by the owning component (cleared when the object goes back to a pool).
    TErrorProc OnError;
    TDisconnectProc OnDisconnectComponent;
    TInfoMessageProc OnInfoMessage;

    // The pool the object came from (nullptr when not pooled).
    TConnectionPool* Pool = nullptr;

protected:
    std::string FUsername;
    std::string FPassword;
    std::string FServer;
    bool FConnected = false;
    bool FIsValid = true;
    bool FAutoCommit = true;
    bool FReconnecting = false;
    bool FReconnected = false;
    std::chrono::steady_clock::time_point FCreationTime;
};
