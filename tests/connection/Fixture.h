#pragma once
// Shared fixture of the connection unit tests: a TMSConnection on the scripted provider.
#include "data/MSAccess.h"
#include "tests/support/ScriptedProvider.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// A dataset client that records what its connection tells it.
class RecordingDataSet : public TDataSetClient {
public:
    void ConnectionChangeNotice(bool connecting) override {
        notices.push_back(connecting);
        if (!connecting && throwOnClose > 0) {
            --throwOnClose;
            raiseOnClose();
        }
    }
    bool IsActive() const override { return active; }
    void AssignConnectionObject(TCRConnection* object) override { this->object = object; }
    void ConnectionDestroyed() override { destroyed = true; }
    bool HoldsProviderRowset() const override { return holdsRowset; }

    std::vector<bool> notices;
    bool active = false;
    bool holdsRowset = false;
    bool destroyed = false;
    TCRConnection* object = nullptr;
    int throwOnClose = 0;
    std::function<void()> raiseOnClose;
};

class RecordingCommand : public TCommandClient {
public:
    bool IsPrepared() const override { return prepared; }
    void AssignConnectionObject(TCRConnection* object) override { this->object = object; }
    void ConnectionDestroyed() override { destroyed = true; }

    bool prepared = false;
    bool destroyed = false;
    TCRConnection* object = nullptr;
};

class FakeConnectionTest : public ::testing::Test {
protected:
    scripted::Script script;
    scripted::Provider scriptedProvider{script};
    provider::ScopedProvider installed{scriptedProvider};

    // The properties of the n-th property set of a kind that the provider received.
    const provider::PropertySet* SetAt(provider::PropertySetId id, int n = 0) const {
        for (const auto& set : script.propertySets) {
            if (set.id == id && n-- == 0) return &set;
        }
        return nullptr;
    }
};

inline provider::SqlServerError Fatal(int number = 4014, uint8_t severity = 20) {
    return scripted::ServerRecord(number, "A fatal error occurred.", severity, 1);
}
