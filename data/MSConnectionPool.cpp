#include "data/MSConnectionPool.h"

#include "data/OLEDBAccess.h"

#include "common/AsciiText.h"

#include <algorithm>

bool TMSConnectionParameters::Equals(const TMSConnectionParameters& o) const {
    return MinPoolSize == o.MinPoolSize && MaxPoolSize == o.MaxPoolSize && ConnectionLifetime == o.ConnectionLifetime &&
           IsolationLevel == o.IsolationLevel && Authentication == o.Authentication &&
           QuotedIdentifier == o.QuotedIdentifier && Encrypt == o.Encrypt && AutoTranslate == o.AutoTranslate &&
           PacketSize == o.PacketSize && AsciiSameText(Username, o.Username) && AsciiSameText(Server, o.Server) &&
           AsciiSameText(Database, o.Database) && AsciiSameText(Language, o.Language) &&
           AsciiSameText(NetworkLibrary, o.NetworkLibrary) && AsciiSameText(ApplicationName, o.ApplicationName) &&
           AsciiSameText(WorkstationID, o.WorkstationID) && Password == o.Password && Provider == o.Provider;
}

std::unique_ptr<TCRConnection> TMSConnectionParameters::CreateConnection() const {
    auto object = std::make_unique<TOLEDBConnection>();
    object->SetProp(prDatabase, Database);
    object->SetProp(prIsolationLevel, static_cast<int32_t>(IsolationLevel));
    object->SetProp(prAuthentication, static_cast<int32_t>(Authentication));
    object->SetProp(prConnectionTimeout, static_cast<int32_t>(ConnectionTimeout));
    object->SetProp(prQuotedIdentifier, QuotedIdentifier);
    object->SetProp(prLanguage, Language);
    object->SetProp(prEncrypt, Encrypt);
    object->SetProp(prAutoTranslate, AutoTranslate);
    object->SetProp(prNetworkLibrary, NetworkLibrary);
    object->SetProp(prApplicationName, ApplicationName);
    object->SetProp(prWorkstationID, WorkstationID);
    object->SetProp(prPacketSize, static_cast<int32_t>(PacketSize));
    object->SetProp(prProvider, Provider);
    object->SetUsername(Username);
    object->SetPassword(Password);
    object->SetServer(Server);
    return object;
}

// ---------------------------------------------------------------------------------------------------

TConnectionPool::TConnectionPool(TMSConnectionParameters parameters, TMSConnectionPoolManager& manager)
    : FParameters(std::move(parameters)), FManager(manager) {}

TConnectionPool::~TConnectionPool() = default;

bool TConnectionPool::Expired(const TCRConnection& object) const {
    if (FParameters.ConnectionLifetime <= 0) return false;
    return std::chrono::steady_clock::now() - object.CreationTime() >=
           std::chrono::milliseconds(FParameters.ConnectionLifetime);
}

std::unique_ptr<TCRConnection> TConnectionPool::GetConnection() {
    std::vector<std::unique_ptr<TCRConnection>> discarded;  // freed outside the lock
    std::unique_lock lock(FLock);
    const auto deadline = std::chrono::steady_clock::now() + FManager.WaitTime();
    const int limit = std::max(FParameters.MaxPoolSize, 1);
    if (!FFreed.wait_until(lock, deadline, [&] { return FTaken < limit; })) {
        throw Exception(SPoolFull);
    }
    while (!FIdle.empty()) {
        auto object = std::move(FIdle.back());
        FIdle.pop_back();
        if (object->IsValid()) {
            ++FTaken;
            return object;
        }
        discarded.push_back(std::move(object));
    }
    ++FTaken;
    lock.unlock();
    discarded.clear();
    try {
        auto object = FParameters.CreateConnection();
        object->Pool = this;
        return object;
    } catch (...) {
        lock.lock();
        --FTaken;
        FFreed.notify_one();
        throw;
    }
}

void TConnectionPool::PutConnection(std::unique_ptr<TCRConnection> object) {
    if (!object) return;
    object->OnError = nullptr;
    object->OnDisconnectComponent = nullptr;
    object->OnInfoMessage = nullptr;
    std::unique_ptr<TCRConnection> discarded;
    {
        std::lock_guard lock(FLock);
        if (FTaken > 0) --FTaken;
        if (object->IsValid() && !Expired(*object)) {
            FIdle.push_back(std::move(object));
        } else {
            discarded = std::move(object);
        }
    }
    FFreed.notify_one();
}

void TConnectionPool::Purge() {
    std::vector<std::unique_ptr<TCRConnection>> discarded;
    std::lock_guard lock(FLock);
    for (size_t i = FIdle.size(); i-- > 0;) {
        auto& object = *FIdle[i];
        if (Expired(object) || !object.CheckIsValid()) {
            discarded.push_back(std::move(FIdle[i]));
            FIdle.erase(FIdle.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TConnectionPool::Clear() {
    std::vector<std::unique_ptr<TCRConnection>> discarded;
    std::lock_guard lock(FLock);
    discarded.swap(FIdle);
}

int TConnectionPool::IdleCount() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FIdle.size());
}

int TConnectionPool::TakenCount() const {
    std::lock_guard lock(FLock);
    return FTaken;
}

// ---------------------------------------------------------------------------------------------------

TMSConnectionPoolManager& TMSConnectionPoolManager::Instance() {
    static TMSConnectionPoolManager instance;
    return instance;
}

TMSConnectionPoolManager::TMSConnectionPoolManager() = default;

TMSConnectionPoolManager::~TMSConnectionPoolManager() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    if (FTimer.joinable()) FTimer.join();
    FPools.clear();
}

std::unique_ptr<TCRConnection> TMSConnectionPoolManager::GetConnection(const TMSConnectionParameters& parameters) {
    TConnectionPool* pool = nullptr;
    {
        std::lock_guard lock(FLock);
        for (auto& p : FPools) {
            if (p->Parameters().Equals(parameters)) {
                pool = p.get();
                break;
            }
        }
        if (pool == nullptr) {
            FPools.push_back(std::make_unique<TConnectionPool>(parameters, *this));
            pool = FPools.back().get();
        }
        if (!FTimer.joinable()) FTimer = std::thread([this] { TimerLoop(); });
    }
    return pool->GetConnection();
}

void TMSConnectionPoolManager::PutConnection(std::unique_ptr<TCRConnection> object) {
    if (!object) return;
    if (object->Pool == nullptr) return;  // not one of ours: freed here
    object->Pool->PutConnection(std::move(object));
}

void TMSConnectionPoolManager::Clear() {
    std::lock_guard lock(FLock);
    for (auto& pool : FPools) pool->Clear();
}

void TMSConnectionPoolManager::PurgeAll() {
    std::vector<TConnectionPool*> pools;
    {
        std::lock_guard lock(FLock);
        for (auto& pool : FPools) pools.push_back(pool.get());
    }
    for (auto* pool : pools) pool->Purge();
}

int TMSConnectionPoolManager::PoolCount() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FPools.size());
}

TConnectionPool* TMSConnectionPoolManager::FindPool(const TMSConnectionParameters& parameters) const {
    std::lock_guard lock(FLock);
    for (auto& p : FPools) {
        if (p->Parameters().Equals(parameters)) return p.get();
    }
    return nullptr;
}

void TMSConnectionPoolManager::SetTimings(std::chrono::milliseconds waitTime, std::chrono::milliseconds purgeInterval) {
    {
        std::lock_guard lock(FLock);
        FWaitTime = waitTime;
        FPurgeInterval = purgeInterval;
    }
    FWake.notify_all();
}

std::chrono::milliseconds TMSConnectionPoolManager::WaitTime() const {
    std::lock_guard lock(FLock);
    return FWaitTime;
}

void TMSConnectionPoolManager::TimerLoop() {
    std::unique_lock lock(FLock);
    for (;;) {
        auto next = std::chrono::steady_clock::now() + FPurgeInterval;
        FWake.wait_until(lock, next, [&] { return FStopping || std::chrono::steady_clock::now() >= next; });
        if (FStopping) return;
        if (std::chrono::steady_clock::now() < next) continue;  // the interval changed: start again
        lock.unlock();
        PurgeAll();
        lock.lock();
    }
}
