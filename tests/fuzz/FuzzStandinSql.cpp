// Arbitrary batches must never crash, hang or leave the tables inconsistent. The first byte picks
// a few session settings so that QUOTED_IDENTIFIER OFF and an open transaction are covered too.
#include "tools/standin/sql/Engine.h"

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
    if (size == 0) return 0;
    standin::Engine engine;
    standin::Session session;
    NullSink sink;
    const uint8_t mode = data[0];
    session.quotedIdentifier = !(mode & 1);
    if (mode & 2) session.database = "lin2db";
    engine.execute(session, "INSERT INTO lin2world.dbo.builder_account VALUES ('gm',1,1),('other',2,2)", sink);
    if (mode & 4) engine.beginTransaction(session, sink);
    const std::string_view batch(reinterpret_cast<const char*>(data + 1), size - 1);
    engine.execute(session, batch, sink);
    engine.checkConsistency();
    engine.endSession(session);
    engine.checkConsistency();
    return 0;
}
