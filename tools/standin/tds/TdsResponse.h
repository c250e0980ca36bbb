#pragma once
// Turns what the engine reports for one request into a TDS token stream, streamed packet by packet:
// COLMETADATA, ROW/NBCROW, INFO/ERROR, ENVCHANGE and DONE tokens. Every DONE but the last carries
// DONE_MORE, so each DONE is held back until the next token shows that more follows. While output
// leaves, the client may send an attention; the response then ends with a DONE_ATTN. Answers to
// remote procedure calls end each call with RETURNSTATUS, RETURNVALUE and DONEPROC.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/tds/TdsPacket.h"
#include "tools/standin/tds/TdsWriter.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace standin::tds {

// Thrown out of a sink call once the client has cancelled: the engine takes back the statement
// that was running and returns, and the response ends with DONE_ATTN.
class RequestCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "the client cancelled the request"; }
};

class TdsResponse : public ResultSink {
public:
    struct Options {
        std::string serverName;
        bool nbcRows = true;              // client speaks TDS 7.3B or later
        uint16_t doneToken = kTokenDone;  // DONEINPROC for the statements of remote procedure calls
    };
    // attentionArrived is asked after packets have left; it reads what the client sent meanwhile.
    // attentionWithin waits up to the given time for an attention (WAITFOR DELAY); without it a
    // wait only sleeps.
    TdsResponse(PacketWriter& writer, Options options, std::function<bool()> attentionArrived,
                std::function<bool(std::chrono::milliseconds)> attentionWithin = {});

    void columns(const std::vector<Column>& columns) override;
    void row(const std::vector<Value>& values) override;
    void done(int64_t count, bool hasCount, bool error) override;
    void message(const Message& message) override;
    void databaseChanged(const std::string& oldName, const std::string& newName) override;
    void transactionChanged(TransactionChange change, int64_t transactionId) override;
    void wait(std::chrono::milliseconds delay) override;

    // The end of one remote procedure call: RETURNSTATUS, RETURNVALUE for each output parameter
    // (column gives its type and name), then its DONEPROC, held back like every DONE.
    void returnStatus(int32_t status);
    void returnValue(uint16_t ordinal, const Column& column, const Value& value);
    void procedureDone(bool error);

    void transactionBegan(uint64_t descriptor);
    void transactionEnded(bool committed, uint64_t descriptor);
    // Ends the message: the held DONE as the final one (or a DONE for an answer that had none),
    // or DONE_ATTN when the client cancelled.
    void finish();

    bool cancelled() const { return cancelled_; }
    bool errorReported() const { return errorInBatch_; }
    uint64_t rowsSent() const { return rowsSent_; }

private:
    void beforeToken();
    void afterToken();

    PacketWriter& writer_;
    Options options_;
    std::function<bool()> attentionArrived_;
    std::function<bool(std::chrono::milliseconds)> attentionWithin_;
    std::optional<RowEncoder> encoder_;
    struct PendingDone {
        uint16_t token = kTokenDone;
        uint16_t status = 0;
        uint16_t command = 0;
        uint64_t count = 0;
    };
    std::optional<PendingDone> pendingDone_;
    bool cancelled_ = false;
    bool errorSinceDone_ = false;
    bool errorInBatch_ = false;
    bool resultSinceDone_ = false;
    uint64_t rowsSent_ = 0;
};

}  // namespace standin::tds
