#pragma once
// A stand-in server, a connection to it and a query bound to that connection.
#include "data/MSAccess.h"
#include "data/MSQuery.h"
#include "tests/support/ServerUnderTest.h"
#include "tools/standin/tds/StandinServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class StandinQueryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        VAC_SKIP_AGAINST_OTHER_SERVER("tables with fixed names, faults and the statement log");
        server = std::make_unique<standin::Server>();
        server->start();
        connection = std::make_unique<TMSConnection>();
        connection->SetServer("127.0.0.1," + std::to_string(server->port()));
        connection->SetUsername("sa");
        connection->SetPassword("standin");
        connection->SetConnectionTimeout(5);
        query = std::make_unique<TMSQuery>();
        query->SetConnection(connection.get());
    }

    void TearDown() override {
        query.reset();
        connection.reset();
        server.reset();
    }

    // The run statement step.
    void Run(const std::string& sql) {
        query->SQL().SetText(sql);
        query->Execute();
    }

    void Open(const std::string& sql) {
        query->SQL().SetText(sql);
        query->Open();
    }

    // Batches the server received whose text contains `marker`.
    int BatchesWith(const std::string& marker) const {
        int n = 0;
        for (const auto& b : server->statements())
            if (b.sql.find(marker) != std::string::npos) ++n;
        return n;
    }

    const TOLEDBFieldDesc& Desc(int index) { return query->OLEDBRecordSet().FieldDesc(index + 1); }

    std::unique_ptr<standin::Server> server;
    std::unique_ptr<TMSConnection> connection;
    std::unique_ptr<TMSQuery> query;
};
