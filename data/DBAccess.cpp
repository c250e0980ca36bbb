#include "data/DBAccess.h"

#include "data/OLEDBAccess.h"

#include <algorithm>
#include <exception>

namespace {

// Closing notifications are repeated after a fatal error of a client; this bounds the repeats so a
// client that keeps failing cannot hang the program.
constexpr int MaxNotifyRepeats = 8;

template <typename T>
void EraseAll(std::vector<T>& list, const T& item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

// ---------------------------------------------------------------------------------------------------

TCustomConnection::TCustomConnection() = default;

TCustomConnection::~TCustomConnection() = default;

void TCustomConnection::SetConnected(bool value) {
    if (value) {
        OpenConnection();
    } else {
        CloseConnection();
    }
}

void TCustomConnection::RegisterClient(TConnectionClient* client, TConnectChangeEvent event) {
    if (client == nullptr) return;
    if (std::find(FClients.begin(), FClients.end(), client) == FClients.end()) {
        FClients.push_back(client);
        FConnectEvents.push_back(std::move(event));
        if (auto* dataSet = dynamic_cast<TDataSetClient*>(client)) FDataSets.push_back(dataSet);
    }
}

void TCustomConnection::UnRegisterClient(TConnectionClient* client) {
    auto it = std::find(FClients.begin(), FClients.end(), client);
    if (it != FClients.end()) {
        FConnectEvents.erase(FConnectEvents.begin() + (it - FClients.begin()));
        FClients.erase(it);
    }
    if (auto* dataSet = dynamic_cast<TDataSetClient*>(client)) EraseAll(FDataSets, dataSet);
}

void TCustomConnection::SendConnectEvent(bool connecting) {
    // Copies: a client may unregister itself while it is told.
    auto clients = FClients;
    auto events = FConnectEvents;
    for (size_t i = 0; i < clients.size(); ++i) {
        if (events[i]) events[i](clients[i], connecting);
    }
    auto dataSets = FDataSets;
    for (auto* dataSet : dataSets) {
        if (std::find(FDataSets.begin(), FDataSets.end(), dataSet) != FDataSets.end()) {
            dataSet->ConnectionChangeNotice(connecting);
        }
    }
}

void TCustomConnection::OpenConnection() {
    if (GetConnected()) return;
    if (BeforeConnect) BeforeConnect(this);
    DoConnect();
    SendConnectEvent(true);
    if (AfterConnect) AfterConnect(this);
}

void TCustomConnection::CloseConnection() {
    if (!GetConnected()) return;
    SendConnectEvent(false);
    if (BeforeDisconnect) BeforeDisconnect(this);
    DoDisconnect();
    if (AfterDisconnect) AfterDisconnect(this);
}

// ---------------------------------------------------------------------------------------------------

TCustomDAConnection::TCustomDAConnection() = default;

TCustomDAConnection::~TCustomDAConnection() { DestroyConnection(); }

void TCustomDAConnection::DestroyConnection() {
    if (FDestroying) return;
    FDestroying = true;
    try {
        Disconnect();
    } catch (...) {
        // A destructor cannot report; the provider objects are released below regardless.
    }
    for (auto* command : std::vector<TCommandClient*>(FCommands)) command->ConnectionDestroyed();
    for (auto* dataSet : std::vector<TDataSetClient*>(FDataSets)) dataSet->ConnectionDestroyed();
    FCommands.clear();
    FDataSets.clear();
    FClients.clear();
    FConnectEvents.clear();
    if (FIConnection) ReleaseConnectionObject();
}

// Detaches the object's callbacks from this component and gives it back to its pool or frees it.
void TCustomDAConnection::ReleaseConnectionObject() {
    FIConnection->OnError = nullptr;
    FIConnection->OnDisconnectComponent = nullptr;
    FIConnection->OnInfoMessage = nullptr;
    if (FIConnection->Pool != nullptr) {
        ReleasePooled();
    } else {
        FIConnection.reset();
    }
}

void TCustomDAConnection::ReleasePooled() {
    auto object = std::move(FIConnection);
    ReturnPooledIConnection(std::move(object));
}

void TCustomDAConnection::SetUsername(const std::string& value) {
    if (value == FUsername) return;
    Disconnect();
    FUsername = value;
}

void TCustomDAConnection::SetPassword(const std::string& value) {
    if (value == FPassword) return;
    Disconnect();
    FPassword = value;
}

void TCustomDAConnection::SetServer(const std::string& value) {
    if (value == FServer) return;
    Disconnect();
    FServer = value;
}

void TCustomDAConnection::SetPooling(bool value) {
    if (value == FPooling) return;
    Disconnect();
    FreeConnectionObject();
    FPooling = value;
}

void TCustomDAConnection::EndLoading() {
    FLoading = false;
    if (FStreamedConnected) {
        FStreamedConnected = false;
        SetConnected(true);
    }
}

void TCustomDAConnection::RegisterClient(TConnectionClient* client, TConnectChangeEvent event) {
    if (auto* command = dynamic_cast<TCommandClient*>(client)) {
        if (std::find(FCommands.begin(), FCommands.end(), command) == FCommands.end()) FCommands.push_back(command);
        if (FIConnection) command->AssignConnectionObject(FIConnection.get());
        return;
    }
    TCustomConnection::RegisterClient(client, std::move(event));
    if (auto* dataSet = dynamic_cast<TDataSetClient*>(client); dataSet != nullptr && FIConnection) {
        dataSet->AssignConnectionObject(FIConnection.get());
    }
}

void TCustomDAConnection::UnRegisterClient(TConnectionClient* client) {
    if (auto* command = dynamic_cast<TCommandClient*>(client)) {
        EraseAll(FCommands, command);
        return;
    }
    TCustomConnection::UnRegisterClient(client);
}

bool TCustomDAConnection::GetConnected() const { return FIConnection && FIConnection->GetConnected(); }

bool TCustomDAConnection::IsConnectionObjectOpen() const { return GetConnected(); }

void TCustomDAConnection::CheckConnected() const {
    if (!GetConnected()) throw EDatabaseError(SConnectionClosed);
}

void TCustomDAConnection::AssignConnectOptions(TCRConnection&) {}

bool TCustomDAConnection::DataSetBlocksReconnect(const TDataSetClient&) const { return false; }

void TCustomDAConnection::OpenConnection() {
    if (GetConnected()) return;
    if (FLoading) {
        // Carried out when loading ends (at run time only when KeepDesignConnected asks for it).
        if (BaseOptions().KeepDesignConnected()) FStreamedConnected = true;
        return;
    }
    // A login prompt would need a dialog class; none exists, so the stored values are used as they are.
    TCustomConnection::OpenConnection();
}

void TCustomDAConnection::CreateConnectionObject() {
    FIConnection = FPooling ? GetPooledIConnection() : CreateIConnection();
    BindConnectionObject();
}

void TCustomDAConnection::BindConnectionObject() {
    FIConnection->OnError = [this](EDAError& error, bool& fail, bool& reconnect) { DoError(error, fail, reconnect); };
    FIConnection->OnDisconnectComponent = [this] { Disconnect(); };
    BindInfoMessage(*FIConnection);
    for (auto* command : std::vector<TCommandClient*>(FCommands)) command->AssignConnectionObject(FIConnection.get());
    for (auto* dataSet : std::vector<TDataSetClient*>(FDataSets)) dataSet->AssignConnectionObject(FIConnection.get());
}

void TCustomDAConnection::BindInfoMessage(TCRConnection&) {}

void TCustomDAConnection::FreeConnectionObject() {
    if (!FIConnection) return;
    for (auto* command : std::vector<TCommandClient*>(FCommands)) command->AssignConnectionObject(nullptr);
    for (auto* dataSet : std::vector<TDataSetClient*>(FDataSets)) dataSet->AssignConnectionObject(nullptr);
    ReleaseConnectionObject();
}

void TCustomDAConnection::DoConnect() {
    if (!FIConnection) CreateConnectionObject();
    FIConnection->SetUsername(FUsername);
    FIConnection->SetPassword(FPassword);
    FIConnection->SetServer(FServer);
    FIConnection->Connect();
}

void TCustomDAConnection::CloseConnection() {
    if (!GetConnected()) return;
    for (int attempt = 0;; ++attempt) {
        try {
            SendConnectEvent(false);
            break;
        } catch (EDAError& e) {
            if (!IsFatalError(e) || attempt + 1 >= MaxNotifyRepeats) throw;
        }
    }
    if (BeforeDisconnect) BeforeDisconnect(this);
    SendConnectEvent(false);
    DoDisconnect();
    if (AfterDisconnect) AfterDisconnect(this);
}

void TCustomDAConnection::DoDisconnect() {
    std::exception_ptr pending;
    if (InTransaction() && !FDisconnectedOnError) {
        try {
            Rollback();
        } catch (...) {
            pending = std::current_exception();
        }
    }
    FTransactionName.clear();
    if (FIConnection) {
        if (FIConnection->Pool != nullptr) {
            FreeConnectionObject();
        } else {
            FIConnection->Disconnect();
        }
    }
    if (pending) std::rethrow_exception(pending);
}

void TCustomDAConnection::StartTransaction() {
    CheckConnected();
    if (InTransaction()) throw EDatabaseError(STransactionInProgress);
    FIConnection->StartTransaction();
    FTransactionName = "Local";
    FIConnection->SetProp(prAutoCommit, false);
}

void TCustomDAConnection::Commit() {
    CheckConnected();
    FIConnection->Commit();
    FTransactionName.clear();
    FIConnection->SetProp(prAutoCommit, FAutoCommit);
}

void TCustomDAConnection::Rollback() {
    CheckConnected();
    FIConnection->Rollback();
    FTransactionName.clear();
    FIConnection->SetProp(prAutoCommit, FAutoCommit);
}

bool TCustomDAConnection::IsFatalError(const EDAError& error) {
    const auto* ms = dynamic_cast<const EMSError*>(&error);
    if (ms == nullptr) return false;
    return ms->SeverityClass >= 20 || (ms->SeverityClass == 16 && ms->State == 1 && ms->NativeError <= 17);
}

bool TCustomDAConnection::ClientBlocksReconnect() const {
    for (auto* dataSet : FDataSets) {
        if (dataSet->IsActive() || DataSetBlocksReconnect(*dataSet)) return true;
    }
    for (auto* command : FCommands) {
        if (command->IsPrepared()) return true;
    }
    return false;
}

void TCustomDAConnection::DoError(EDAError& error, bool& fail, bool& reconnect) {
    if (OnError) OnError(this, error, fail);
    const bool fatal = IsFatalError(error);
    reconnect = IsConnectionObjectOpen() && !InTransaction() && fatal;
    if (reconnect && ClientBlocksReconnect()) {
        reconnect = false;
        // A bound client keeps the connection as it is, unless its link is gone: a connection that
        // reads open on a dead link would fail every later action and never be opened again.
        if (!FIConnection->LinkLost()) return;
    }
    if (!FDisconnectedOnError && !reconnect && fatal) {
        FDisconnectedOnError = true;
        CleanUpKeepingError([this] { Disconnect(); });  // the fatal error itself is what the caller sees
        FDisconnectedOnError = false;
    }
}
