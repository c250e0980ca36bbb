// Pooling on the scripted provider: keys, reuse, the size bound with its wait, lifetime, validity check.
#include "data/MSConnectionPool.h"
#include "tests/connection/Fixture.h"
#include "tests/support/ExpectThrows.h"

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

class PoolTest : public FakeConnectionTest {
protected:
    void SetUp() override { TMSConnectionPoolManager::Instance().SetTimings(200ms, 1h); }
    void TearDown() override {
        TMSConnectionPoolManager::Instance().Clear();
        TMSConnectionPoolManager::Instance().SetTimings(TMSConnectionPoolManager::DefaultWaitTime,
                                                        TMSConnectionPoolManager::DefaultPurgeInterval);
    }

    static void Pooled(TMSConnection& c, const std::string& user = "gm") {
        c.SetPooling(true);
        c.SetUsername(user);
        c.SetPassword("pw");
        c.SetServer("db1");
    }
};

}  // namespace

TEST(PoolKeyTest, NamesIgnoreCasePasswordAndProviderDoNot) {
    TMSConnectionParameters a;
    a.Username = "GM";
    a.Server = "DB1";
    a.Database = "Lin2db";
    a.Password = "pw";
    a.Provider = "SQLOLEDB.1";
    struct Case {
        const char* name;
        std::function<void(TMSConnectionParameters&)> change;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"user case", [](auto& p) { p.Username = "gm"; }, true},
        {"server case", [](auto& p) { p.Server = "db1"; }, true},
        {"database case", [](auto& p) { p.Database = "LIN2DB"; }, true},
        {"application case", [](auto& p) { p.ApplicationName = ""; }, true},
        {"timeout is no part", [](auto& p) { p.ConnectionTimeout = 99; }, true},
        {"password case", [](auto& p) { p.Password = "PW"; }, false},
        {"provider case", [](auto& p) { p.Provider = "sqloledb.1"; }, false},
        {"max size", [](auto& p) { p.MaxPoolSize = 5; }, false},
        {"min size", [](auto& p) { p.MinPoolSize = 1; }, false},
        {"lifetime", [](auto& p) { p.ConnectionLifetime = 1; }, false},
        {"isolation", [](auto& p) { p.IsolationLevel = TIsolationLevel::ilIsolated; }, false},
        {"quoted identifier", [](auto& p) { p.QuotedIdentifier = false; }, false},
        {"packet size", [](auto& p) { p.PacketSize = 512; }, false},
        {"user", [](auto& p) { p.Username = "other"; }, false},
    };
    for (const auto& k : cases) {
        TMSConnectionParameters b = a;
        k.change(b);
        EXPECT_EQ(a.Equals(b), k.equal) << k.name;
    }
}

TEST_F(PoolTest, ClosedPooledObjectIsReusedByTheNextOpen) {
    auto& manager = TMSConnectionPoolManager::Instance();
    TCRConnection* first = nullptr;
    {
        TMSConnection c;
        Pooled(c);
        c.Connect();
        first = c.ConnectionObject();
        ASSERT_NE(first->Pool, nullptr);
        c.Disconnect();
        EXPECT_EQ(c.ConnectionObject(), nullptr) << "a pooled object goes back at close";
        EXPECT_FALSE(c.Connected());
    }
    EXPECT_EQ(script.Count("uninitialize"), 0) << "the pooled connection stays open";
    TMSConnection d;
    Pooled(d);
    script.ClearLog();
    d.Connect();
    EXPECT_EQ(d.ConnectionObject(), first);
    EXPECT_EQ(script.Count("initialize"), 0);

    TMSConnection other;
    Pooled(other, "someone else");
    other.Connect();
    EXPECT_NE(other.ConnectionObject(), first);
    EXPECT_EQ(script.Count("initialize"), 1);
    EXPECT_GE(manager.PoolCount(), 2);
}

TEST_F(PoolTest, MaxPoolSizeBoundsObjectsHandedOutAndTheWaitEnds) {
    TMSConnection a, b;
    for (auto* c : {&a, &b}) {
        Pooled(*c, "bounded");
        c->PoolingOptions().MaxPoolSize = 1;
    }
    a.Connect();
    vactest::ExpectThrows<Exception, vactest::Not<EDatabaseError>>([&] { b.Connect(); },
                                                                   "Maximum connections reached in pool");
    EXPECT_FALSE(b.Connected());

    // A place freed while waiting is taken.
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        a.Disconnect();
    });
    TMSConnectionPoolManager::Instance().SetTimings(10s, 1h);
    b.Connect();
    releaser.join();
    EXPECT_TRUE(b.Connected());
}

TEST_F(PoolTest, ExpiredOrInvalidObjectsAreFreed) {
    auto& manager = TMSConnectionPoolManager::Instance();
    {
        TMSConnection c;
        Pooled(c, "lifetime");
        c.PoolingOptions().ConnectionLifetime = 1;
        c.Connect();
        std::this_thread::sleep_for(5ms);
        c.Disconnect();
        TMSConnectionParameters key;
        key.Username = "lifetime";
        key.Password = "pw";
        key.Server = "db1";
        key.ConnectionLifetime = 1;
        ASSERT_NE(manager.FindPool(key), nullptr);
        EXPECT_EQ(manager.FindPool(key)->IdleCount(), 0);
    }
    EXPECT_EQ(script.Count("uninitialize"), 1);

    TMSConnectionParameters key;
    key.Username = "check";
    key.Password = "pw";
    key.Server = "db1";
    {
        TMSConnection c;
        Pooled(c, "check");
        c.Connect();
        c.Disconnect();
    }
    TConnectionPool* pool = manager.FindPool(key);
    ASSERT_NE(pool, nullptr);
    ASSERT_EQ(pool->IdleCount(), 1);
    manager.PurgeAll();
    EXPECT_EQ(pool->IdleCount(), 1) << "a connection that answers stays";
    EXPECT_EQ(script.Count("execute /* Check connection */"), 1);
    script.executions["/* Check connection */"].answer = {provider::E_FAIL,
                                                          scripted::MakeError(provider::E_FAIL, {Fatal()})};
    manager.PurgeAll();
    EXPECT_EQ(pool->IdleCount(), 0);
}

TEST_F(PoolTest, SwitchingPoolingDiscardsTheObject) {
    TMSConnection c;
    c.Connect();
    EXPECT_NE(c.ConnectionObject(), nullptr);
    c.SetPooling(true);
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(c.ConnectionObject(), nullptr);
    EXPECT_EQ(script.liveDataSources, 0);
}
