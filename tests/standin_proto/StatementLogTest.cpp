#include "tests/support/TempFolder.h"
#include "tools/standin/tds/StatementLog.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

using namespace standin;

TEST(StatementLog, JsonLinesEscapeQuotesBackslashesAndControls) {
    EXPECT_EQ(StatementLog::jsonLine(3, "SELECT 'a\"b\\c'\r\n\t\x01"),
              "{\"conn\": 3, \"sql\": \"SELECT 'a\\\"b\\\\c'\\r\\n\\t\\u0001\"}");
    // UTF-8 passes through untouched.
    EXPECT_EQ(StatementLog::jsonLine(1, "\xC3\xA9"), "{\"conn\": 1, \"sql\": \"\xC3\xA9\"}");
}

TEST(StatementLog, KeepsEntriesAndAppendsEachToTheFileAtOnce) {
    vactest::TempFolder folder;
    const std::string path = folder.File("statements.jsonl");
    {
        std::ofstream(path) << "{\"conn\": 0, \"sql\": \"earlier run\"}\n";
        StatementLog log(path);
        log.record(1, "SELECT 1");
        // Already on disk before anything else happens.
        std::ifstream in(path);
        std::string first, second;
        std::getline(in, first);
        std::getline(in, second);
        EXPECT_EQ(first, "{\"conn\": 0, \"sql\": \"earlier run\"}");
        EXPECT_EQ(second, "{\"conn\": 1, \"sql\": \"SELECT 1\"}");
        log.record(2, "x");
        ASSERT_EQ(log.entries().size(), 2u);
        EXPECT_EQ(log.entries()[1].connection, 2);
        EXPECT_EQ(log.entries()[1].sql, "x");
        log.clear();
        EXPECT_TRUE(log.entries().empty());
    }
    EXPECT_THROW(StatementLog("/nonexistent-dir/x.jsonl"), std::runtime_error);
}
