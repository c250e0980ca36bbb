#pragma once
// The stand-in's SQL engine with its built-in account databases, and a session on it, for tests that
// run batches straight on the engine and read back what it reported.
#include "tests/support/RecordingSink.h"
#include "tools/standin/sql/Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace standin::test {

// Parameterised suites add ::testing::WithParamInterface<Case>.
class EngineFixture : public ::testing::Test {
protected:
    RecordingSink run(std::string_view sql) { return run(session, sql); }
    RecordingSink run(Session& on, std::string_view sql) {
        RecordingSink sink;
        engine.execute(on, sql, sink);
        return sink;
    }
    // Runs a batch that must succeed.
    RecordingSink ok(std::string_view sql) { return ok(session, sql); }
    RecordingSink ok(Session& on, std::string_view sql) {
        RecordingSink sink = run(on, sql);
        EXPECT_TRUE(sink.errors().empty()) << sql << "\n" << (sink.messages.empty() ? "" : sink.messages[0].text);
        return sink;
    }
    // The rows of the last result of a batch that must succeed, as RecordingSink::text gives them.
    std::vector<std::string> rows(std::string_view sql) { return ok(sql).text(); }

    Engine engine;
    Session session;
};

}  // namespace standin::test
