// Feeds arbitrary bytes to the stand-in as a client's byte stream: the packet reader, the
// PRELOGIN/LOGIN7 parsers and a whole conversation (login, batches, transaction requests,
// attention, RPC, control statements) on an in-memory engine. Nothing may crash, hang or leak.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/tds/ControlStatement.h"
#include "tools/standin/tds/FaultControl.h"
#include "tools/standin/tds/StatementLog.h"
#include "tools/standin/tds/TdsChannel.h"
#include "tools/standin/tds/TdsConnection.h"
#include "tools/standin/tds/TdsLogin.h"
#include "tools/standin/tds/TdsPacket.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace standin;
    const std::vector<uint8_t> input(data, data + size);

    // The parsers on their own, on the raw bytes.
    try {
        tds::parsePreLogin(input);
    } catch (const tds::ProtocolError&) {}
    try {
        tds::parseLogin7(input);
    } catch (const tds::ProtocolError&) {}
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (isControlStatement(text)) {
        try {
            parseControlStatement(text);
        } catch (const ControlSyntaxError&) {}
    }
    {
        tds::ScriptChannel channel(input);
        tds::PacketReader reader(channel, 64 * 1024);
        try {
            while (reader.readRequest()) {}
        } catch (const std::exception&) {}
    }

    // A whole conversation; the server's output is kept small and dropped.
    Engine engine;  // fresh per input, so one input cannot change what the next one meets
    FaultControl faults;
    StatementLog log;
    Credentials credentials({});
    ServerStats stats;
    // Without a certificate: a script cannot answer a TLS handshake.
    ConnectionEnvironment env{engine, faults, log, credentials, stats, "fuzz", tds::EncryptionMode::Off, nullptr};
    tds::ScriptChannel channel(input, 0);
    TdsConnection(channel, env, 1, 51).run();
    return 0;
}
