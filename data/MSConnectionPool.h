#pragma once
// Connection pooling for TMSConnection: one TConnectionPool per distinct set of connection parameters,
// kept by the process-wide TMSConnectionPoolManager. Pools hand out TOLEDBConnection objects, take them
// back while they are valid and young enough, and purge idle ones on a timer.
#include "data/CRAccess.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TMSConnectionPoolManager;

// The pool key and the settings a pooled object is created with.
struct TMSConnectionParameters {
    int MinPoolSize = 0;
    int MaxPoolSize = 100;
    int ConnectionLifetime = 0;  // milliseconds, 0 = unlimited
    TIsolationLevel IsolationLevel = TIsolationLevel::ilReadCommitted;
    TMSAuthentication Authentication = TMSAuthentication::auServer;
    bool QuotedIdentifier = true;
    bool Encrypt = false;
    bool AutoTranslate = true;
    int PacketSize = 4096;
    std::string Username;
    std::string Server;
    std::string Database = "master";
    std::string Language;
    std::string NetworkLibrary;
    std::string ApplicationName;
    std::string WorkstationID;
    std::string Password;
    std::string Provider;
    int ConnectionTimeout = 15;  // not part of the key

    // Equal as pool keys: numbers and flags exactly, names ignoring case, Password and Provider exactly.
    bool Equals(const TMSConnectionParameters& other) const;
    std::unique_ptr<TCRConnection> CreateConnection() const;
};

class TConnectionPool {
public:
    TConnectionPool(TMSConnectionParameters parameters, TMSConnectionPoolManager& manager);
    ~TConnectionPool();
    TConnectionPool(const TConnectionPool&) = delete;
    TConnectionPool& operator=(const TConnectionPool&) = delete;

    const TMSConnectionParameters& Parameters() const { return FParameters; }

    // An idle object from the end of the idle list (invalid ones are freed and skipped) or a new one.
    // Waits for a free place while MaxPoolSize objects are out; raises Exception
    // "Maximum connections reached in pool" when none frees within the manager's wait time.
    std::unique_ptr<TCRConnection> GetConnection();
    // Back on the idle list when valid and younger than ConnectionLifetime, else freed.
    void PutConnection(std::unique_ptr<TCRConnection> object);
    // Frees expired idle objects and those that fail the validity check, last to first.
    void Purge();
    // Frees every idle object.
    void Clear();

    int IdleCount() const;
    int TakenCount() const;

private:
    bool Expired(const TCRConnection& object) const;

    TMSConnectionParameters FParameters;
    TMSConnectionPoolManager& FManager;
    mutable std::mutex FLock;
    std::condition_variable FFreed;
    std::vector<std::unique_ptr<TCRConnection>> FIdle;
    int FTaken = 0;
};

class TMSConnectionPoolManager {
public:
    static constexpr std::chrono::milliseconds DefaultWaitTime{30000};
    static constexpr std::chrono::milliseconds DefaultPurgeInterval{30000};

    // The one manager of the process.
    static TMSConnectionPoolManager& Instance();

    TMSConnectionPoolManager();
    ~TMSConnectionPoolManager();
    TMSConnectionPoolManager(const TMSConnectionPoolManager&) = delete;
    TMSConnectionPoolManager& operator=(const TMSConnectionPoolManager&) = delete;

    std::unique_ptr<TCRConnection> GetConnection(const TMSConnectionParameters& parameters);
    void PutConnection(std::unique_ptr<TCRConnection> object);

    // Frees every idle object of every pool.
    void Clear();
    // Runs one purge of every pool now (what the timer does).
    void PurgeAll();
    int PoolCount() const;
    TConnectionPool* FindPool(const TMSConnectionParameters& parameters) const;

    // How long a request waits for a free place, and how often idle objects are purged.
    void SetTimings(std::chrono::milliseconds waitTime, std::chrono::milliseconds purgeInterval);
    std::chrono::milliseconds WaitTime() const;

private:
    void TimerLoop();

    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::vector<std::unique_ptr<TConnectionPool>> FPools;
    std::chrono::milliseconds FWaitTime = DefaultWaitTime;
    std::chrono::milliseconds FPurgeInterval = DefaultPurgeInterval;
    bool FStopping = false;
    std::thread FTimer;
};
