#include "tests/support/ExpectThrows.h"
#include "tools/standin/tds/ControlStatement.h"

#include <gtest/gtest.h>

using namespace standin;

TEST(ControlStatement, RecognisesOnlyBatchesStartingWithTheKeyword) {
    EXPECT_TRUE(isControlStatement("STANDIN CLEAR"));
    EXPECT_TRUE(isControlStatement("  \r\n standin delay 5"));
    EXPECT_TRUE(isControlStatement("StandIn;"));
    EXPECT_FALSE(isControlStatement("SELECT 'STANDIN CLEAR'"));
    EXPECT_FALSE(isControlStatement("STANDINX CLEAR"));
    EXPECT_FALSE(isControlStatement("STAND"));
    EXPECT_FALSE(isControlStatement(""));
}

TEST(ControlStatement, ParsesEveryCommand) {
    EXPECT_TRUE(std::holds_alternative<ControlDropNextBatch>(parseControlStatement("standin drop next batch;")));
    EXPECT_TRUE(std::holds_alternative<ControlClear>(parseControlStatement("STANDIN CLEAR")));
    EXPECT_EQ(std::get<ControlDelay>(parseControlStatement("STANDIN DELAY 250")).delay.count(), 250);
    EXPECT_EQ(std::get<ControlRefuseLogins>(parseControlStatement("STANDIN REFUSE LOGINS 3")).count, 3);

    const auto fail = std::get<ControlFailNextBatch>(
        parseControlStatement("STANDIN FAIL NEXT BATCH 2627 14 1 'Violation of ''PK''.', 3621 0 0, 50000 20 2"));
    ASSERT_EQ(fail.errors.size(), 3u);
    EXPECT_EQ(fail.errors[0].number, 2627);
    EXPECT_EQ(fail.errors[0].severity, 14);
    EXPECT_EQ(fail.errors[0].state, 1);
    EXPECT_EQ(fail.errors[0].text, "Violation of 'PK'.");
    EXPECT_EQ(fail.errors[1].number, 3621);
    EXPECT_EQ(fail.errors[1].severity, 0);
    EXPECT_EQ(fail.errors[2].severity, 20);
    EXPECT_EQ(fail.errors[2].state, 2);
    EXPECT_EQ(fail.errors[2].text, "Error 50000 injected by the stand-in.");
}

TEST(ControlStatement, SyntaxErrorsNameTheOffendingWord) {
    struct Case {
        const char* statement;
        const char* near;
    };
    const Case cases[] = {
        {"STANDIN", "STANDIN"},
        {"STANDIN EXPLODE", "EXPLODE"},
        {"STANDIN DELAY", "end of statement"},
        {"STANDIN DELAY soon", "soon"},
        {"STANDIN DELAY -5", "-5"},
        {"STANDIN DROP NEXT", "BATCH"},
        {"STANDIN DROP NEXT BATCH now", "now"},
        {"STANDIN FAIL NEXT BATCH 1 30 1", "30"},
        {"STANDIN FAIL NEXT BATCH 1 16 1 'unterminated", "'unterminated"},
        {"STANDIN FAIL NEXT BATCH 1 16 1 'x' 2", "2"},
        {"STANDIN REFUSE LOGINS 1; SELECT 1", ";"},
        {"STANDIN CLEAR ALL", "ALL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement);
        vactest::ExpectThrows<ControlSyntaxError>([&] { parseControlStatement(c.statement); }, c.near);
    }
}
