// Arbitrary batches must never crash, hang or leave the tables inconsistent.
#include "tools/standin/Engine.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {
class NullSink : public standin::ResultSink {
public:
    void columns(const std::vector<standin::Column>&) override {}
    void row(const std::vector<standin::Value>&) override {}
    void done(int64_t, bool, bool) override {}
    void message(const standin::Message&) override {}
    void databaseChanged(const std::string&, const std::string&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static standin::Engine engine;
    standin::Session session;
    NullSink sink;
    const std::string_view batch(reinterpret_cast<const char*>(data), size);
    engine.execute(session, batch, sink);
    engine.endSession(session);
    // The preloaded tables must still answer the program's own statements.
    standin::Session check;
    engine.execute(check, "SELECT * FROM lin2db.dbo.user_auth WHERE account = 'x'", sink);
    return 0;
}
