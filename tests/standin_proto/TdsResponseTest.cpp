#include "tools/standin/tds/TdsResponse.h"

#include "tests/standin_proto/TdsTestClient.h"

#include <gtest/gtest.h>

using namespace standin;
using namespace standin::tds;

namespace {

// The payload of every packet the server wrote, joined; checks that they form that many messages.
Bytes payloadOf(const Bytes& out, size_t messages) {
    Bytes payload;
    size_t pos = 0, ends = 0;
    while (pos < out.size()) {
        const PacketHeader h = parseHeader(out.data() + pos);
        if (h.status & 1) ++ends;
        payload.insert(payload.end(), out.begin() + static_cast<long>(pos + 8),
                       out.begin() + static_cast<long>(pos + h.length));
        pos += h.length;
        if (pos == out.size()) {
            EXPECT_TRUE(h.status & 1) << "the last packet ends a message";
        }
    }
    EXPECT_EQ(ends, messages);
    return payload;
}

Column intColumn(const char* name) {
    Column c;
    c.name = name;
    c.type.type = SqlType::Int;
    return c;
}

struct Fixture {
    ScriptChannel channel{{}};
    PacketWriter writer{channel, 51, 512};
    bool attention = false;
    int probes = 0;
    TdsResponse response{writer, {"standin", true, kTokenDone}, [this] {
                             ++probes;
                             return attention;
                         }};
    std::vector<test::Token> tokens(size_t messages = 1) {
        return test::decodeTokens(payloadOf(channel.output(), messages));
    }
};

std::vector<uint16_t> doneStatuses(const std::vector<test::Token>& tokens) {
    std::vector<uint16_t> s;
    for (const auto& t : tokens)
        if (t.type == kTokenDone) s.push_back(t.status);
    return s;
}

}  // namespace

TEST(TdsResponse, EveryDoneButTheLastSaysMoreFollows) {
    Fixture f;
    f.response.done(1, true, false);       // INSERT
    f.response.columns({intColumn("a")});  // SELECT
    f.response.row({Value{int64_t{7}}});
    f.response.done(1, true, false);
    f.response.done(0, false, false);  // SET
    f.response.finish();
    const auto tokens = f.tokens();
    EXPECT_EQ(doneStatuses(tokens),
              (std::vector<uint16_t>{kDoneMore | kDoneCount, kDoneMore | kDoneCount, kDoneFinal}));
    EXPECT_EQ(tokens[0].count, 1u);
    ASSERT_EQ(tokens[1].type, kTokenColMetadata);
    ASSERT_EQ(tokens[2].type, kTokenRow);
    EXPECT_EQ(f.response.rowsSent(), 1u);
}

TEST(TdsResponse, StatementErrorsMarkTheirDoneAndTheBatchGoesOn) {
    Fixture f;
    f.response.message({2627, 1, 14, "Violation of PRIMARY KEY constraint.", "", 1});
    f.response.message({3621, 0, 10, "The statement has been terminated.", "", 1});
    f.response.done(0, true, false);
    f.response.done(1, true, false);
    f.response.finish();
    const auto tokens = f.tokens();
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[0].type, kTokenError);
    EXPECT_EQ(tokens[0].number, 2627);
    EXPECT_EQ(tokens[1].type, kTokenInfo);
    EXPECT_EQ(doneStatuses(tokens), (std::vector<uint16_t>{kDoneMore | kDoneCount | kDoneError, kDoneCount}));
    EXPECT_TRUE(f.response.errorReported());
}

TEST(TdsResponse, AnAnswerWithoutDoneStillEndsWithOne) {
    Fixture quiet;
    quiet.response.finish();
    EXPECT_EQ(doneStatuses(quiet.tokens()), std::vector<uint16_t>{kDoneFinal});

    Fixture failed;
    failed.response.message({208, 1, 16, "Invalid object name 'x'.", "", 1});
    failed.response.finish();
    EXPECT_EQ(doneStatuses(failed.tokens()), std::vector<uint16_t>{kDoneError});
}

TEST(TdsResponse, AttentionDuringStreamingEndsTheAnswerWithDoneAttn) {
    Fixture f;
    f.response.columns({intColumn("a")});
    int rows = 0;
    // The sink call that notices the attention throws, so the engine stops the batch.
    EXPECT_THROW(
        for (; rows < 200; ++rows) {
            if (rows == 100) f.attention = true;
            f.response.row({Value{int64_t{rows}}});
        },
        RequestCancelled);
    EXPECT_LT(rows, 200);
    f.response.finish();
    EXPECT_TRUE(f.response.cancelled());
    EXPECT_GT(f.probes, 0);
    const auto tokens = f.tokens(2);  // decodes: the stream stays whole up to the DONE_ATTN
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens.back().type, kTokenDone);
    EXPECT_EQ(tokens.back().status, kDoneAttention);
    EXPECT_LT(tokens.size(), 200u);
    // The interrupted answer is closed by a DONE of its own before the acknowledgement.
    EXPECT_EQ(doneStatuses(tokens), (std::vector<uint16_t>{kDoneFinal, kDoneAttention}));
}

TEST(TdsResponse, DatabaseAndTransactionChangesBecomeEnvChanges) {
    Fixture f;
    f.response.databaseChanged("master", "lin2db");
    f.response.transactionBegan(0x0102030405060708);
    f.response.transactionEnded(false, 0x0102030405060708);
    f.response.finish();
    const auto tokens = f.tokens();
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[0].envType, kEnvDatabase);
    EXPECT_EQ(test::utf16Text(tokens[0].envNew), "lin2db");
    EXPECT_EQ(test::utf16Text(tokens[0].envOld), "master");
    EXPECT_EQ(tokens[1].envType, kEnvBeginTransaction);
    EXPECT_EQ(tokens[1].envNew, (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_TRUE(tokens[1].envOld.empty());
    EXPECT_EQ(tokens[2].envType, kEnvRollbackTransaction);
    EXPECT_TRUE(tokens[2].envNew.empty());
    EXPECT_EQ(tokens[2].envOld, (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
}
