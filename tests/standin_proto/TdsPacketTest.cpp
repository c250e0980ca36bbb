#include "tools/standin/tds/TdsPacket.h"

#include <gtest/gtest.h>

using namespace standin::tds;

namespace {

Bytes packet(uint8_t type, uint8_t status, const Bytes& payload) {
    Bytes p;
    putU8(p, type);
    putU8(p, status);
    putU16BE(p, static_cast<uint16_t>(payload.size() + 8));
    putU16BE(p, 0);
    putU8(p, 1);
    putU8(p, 0);
    putBytes(p, payload);
    return p;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) putBytes(all, p);
    return all;
}

}  // namespace

TEST(TdsPacketReader, JoinsContinuationPacketsIntoOneMessage) {
    ScriptChannel channel(join({packet(0x01, 0x00, {1, 2}), packet(0x01, 0x00, {}), packet(0x01, 0x01, {3})}));
    PacketReader reader(channel);
    auto m = reader.readRequest();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind(), PacketType::SqlBatch);
    EXPECT_EQ(m->payload, (Bytes{1, 2, 3}));
    EXPECT_FALSE(reader.readRequest());  // clean end between messages
}

TEST(TdsPacketReader, AttentionInsideAnUnfinishedRequestReplacesIt) {
    ScriptChannel channel(join({packet(0x01, 0x00, {1, 2}), packet(0x06, 0x01, {})}));
    PacketReader reader(channel);
    auto m = reader.readRequest();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind(), PacketType::Attention);
    EXPECT_TRUE(m->payload.empty());
}

TEST(TdsPacketReader, RejectsMalformedFraming) {
    struct Case {
        const char* name;
        Bytes input;
    };
    Bytes shortLength = packet(0x01, 0x01, {});
    shortLength[3] = 7;
    const Case cases[] = {
        {"length below header", shortLength},
        {"type changes mid-message", join({packet(0x01, 0x00, {1}), packet(0x03, 0x01, {2})})},
    };
    for (const auto& c : cases) {
        ScriptChannel channel(c.input);
        PacketReader reader(channel);
        EXPECT_THROW(reader.readRequest(), ProtocolError) << c.name;
    }
}

TEST(TdsPacketReader, CloseInsideAPacketOrMessageIsReported) {
    Bytes cut = packet(0x01, 0x01, {1, 2, 3, 4});
    cut.resize(cut.size() - 2);
    for (const Bytes& input : {cut, packet(0x01, 0x00, {1})}) {
        ScriptChannel channel(input);
        PacketReader reader(channel);
        EXPECT_THROW(reader.readRequest(), ConnectionClosed);
    }
}

TEST(TdsPacketReader, RefusesRequestsBeyondTheSizeLimit) {
    Bytes input;
    for (int i = 0; i < 5; ++i) putBytes(input, packet(0x01, 0x00, Bytes(100, 0x41)));
    ScriptChannel channel(input);
    PacketReader reader(channel, 300);
    EXPECT_THROW(reader.readRequest(), ProtocolError);
}

TEST(TdsPacketWriter, SplitsAtThePacketSizeAndMarksOnlyTheLastPacket) {
    ScriptChannel channel({});
    PacketWriter writer(channel, 0x0033, 512);
    Bytes payload(1200);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
    writer.buffer() = payload;
    writer.sendFullPackets();
    writer.finish();

    const Bytes& out = channel.output();
    Bytes joined;
    size_t pos = 0;
    std::vector<PacketHeader> headers;
    while (pos < out.size()) {
        const PacketHeader h = parseHeader(out.data() + pos);
        headers.push_back(h);
        joined.insert(joined.end(), out.begin() + static_cast<long>(pos + 8),
                      out.begin() + static_cast<long>(pos + h.length));
        pos += h.length;
    }
    ASSERT_EQ(headers.size(), 3u);  // 504 + 504 + 192 payload bytes
    for (size_t i = 0; i < headers.size(); ++i) {
        EXPECT_EQ(headers[i].type, 0x04);
        EXPECT_EQ(headers[i].spid, 0x0033);
        EXPECT_LE(headers[i].length, 512);
        EXPECT_EQ(headers[i].status, i + 1 == headers.size() ? 0x01 : 0x00) << i;
    }
    EXPECT_EQ(joined, payload);
}

TEST(TdsPacketWriter, KeepsAFullLastPacketBackUntilFinish) {
    ScriptChannel channel({});
    PacketWriter writer(channel, 1, 512);
    writer.buffer() = Bytes(504, 7);  // exactly one packet's payload: it could be the last one
    writer.sendFullPackets();
    EXPECT_TRUE(channel.output().empty());
    writer.finish();
    ASSERT_EQ(channel.output().size(), 512u);
    EXPECT_EQ(channel.output()[1], 0x01);
}

TEST(TdsPacketWriter, AnEmptyMessageIsOneHeaderWithEndOfMessage) {
    ScriptChannel channel({});
    PacketWriter writer(channel, 1);
    writer.finish();
    EXPECT_EQ(channel.output(), (Bytes{0x04, 0x01, 0x00, 0x08, 0x00, 0x01, 0x01, 0x00}));
}
