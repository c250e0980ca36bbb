#include "tools/standin/tds/TdsResponse.h"

namespace standin::tds {
namespace {

constexpr uint16_t kCommandSelect = 0xC1;

Bytes descriptorBytes(uint64_t descriptor) {
    Bytes b;
    putU64LE(b, descriptor);
    return b;
}

}  // namespace

TdsResponse::TdsResponse(PacketWriter& writer, Options options, std::function<bool()> attentionArrived,
                         std::function<bool(std::chrono::milliseconds)> attentionWithin)
    : writer_(writer),
      options_(std::move(options)),
      attentionArrived_(std::move(attentionArrived)),
      attentionWithin_(std::move(attentionWithin)) {}

void TdsResponse::beforeToken() {
    if (pendingDone_) {
        writeDone(writer_.buffer(), static_cast<uint16_t>(pendingDone_->status | kDoneMore), pendingDone_->command,
                  pendingDone_->count, static_cast<Token>(pendingDone_->token));
        pendingDone_.reset();
    }
}

void TdsResponse::afterToken() {
    const uint64_t before = writer_.packetsSent();
    writer_.sendFullPackets();
    // Only look for an attention when output left: the check costs a system call.
    if (writer_.packetsSent() != before && attentionArrived_ && attentionArrived_()) {
        cancelled_ = true;
        throw RequestCancelled();
    }
}

void TdsResponse::columns(const std::vector<Column>& columns) {
    if (cancelled_) return;
    encoder_.emplace(columns, options_.nbcRows);
    if (columns.empty()) return;
    beforeToken();
    encoder_->writeMetadata(writer_.buffer());
    resultSinceDone_ = true;
    afterToken();
}

void TdsResponse::row(const std::vector<Value>& values) {
    if (cancelled_ || !encoder_ || encoder_->columns().empty()) return;
    encoder_->writeRow(writer_.buffer(), values);
    ++rowsSent_;
    afterToken();
}

void TdsResponse::done(int64_t count, bool hasCount, bool error) {
    if (cancelled_) return;
    beforeToken();
    PendingDone d;
    d.token = options_.doneToken;
    if (hasCount && count >= 0) {
        d.status |= kDoneCount;
        d.count = static_cast<uint64_t>(count);
    }
    if (error || errorSinceDone_) d.status |= kDoneError;
    d.command = resultSinceDone_ ? kCommandSelect : 0;
    pendingDone_ = d;
    errorSinceDone_ = false;
    resultSinceDone_ = false;
    encoder_.reset();
}

void TdsResponse::message(const Message& message) {
    if (message.severity > 10) {
        errorSinceDone_ = true;
        errorInBatch_ = true;
    }
    if (cancelled_) return;
    beforeToken();
    writeMessage(writer_.buffer(), message, options_.serverName);
    afterToken();
}

void TdsResponse::databaseChanged(const std::string& oldName, const std::string& newName) {
    if (cancelled_) return;
    beforeToken();
    writeEnvChange(writer_.buffer(), kEnvDatabase, newName, oldName);
    afterToken();
}

void TdsResponse::transactionChanged(TransactionChange change, int64_t transactionId) {
    const auto descriptor = static_cast<uint64_t>(transactionId);
    if (change == TransactionChange::Began) {
        transactionBegan(descriptor);
    } else {
        transactionEnded(change == TransactionChange::Committed, descriptor);
    }
}

void TdsResponse::transactionBegan(uint64_t descriptor) {
    if (cancelled_) return;
    beforeToken();
    writeEnvChangeBytes(writer_.buffer(), kEnvBeginTransaction, descriptorBytes(descriptor), {});
    afterToken();
}

void TdsResponse::transactionEnded(bool committed, uint64_t descriptor) {
    if (cancelled_) return;
    beforeToken();
    writeEnvChangeBytes(writer_.buffer(), committed ? kEnvCommitTransaction : kEnvRollbackTransaction, {},
                        descriptorBytes(descriptor));
    afterToken();
}

void TdsResponse::wait(std::chrono::milliseconds delay) {
    if (cancelled_) return;
    if (!attentionWithin_) {
        ResultSink::wait(delay);
        return;
    }
    if (attentionWithin_(delay)) {
        cancelled_ = true;
        throw RequestCancelled();
    }
}

void TdsResponse::returnStatus(int32_t status) {
    if (cancelled_) return;
    beforeToken();
    writeReturnStatus(writer_.buffer(), status);
    afterToken();
}

void TdsResponse::returnValue(uint16_t ordinal, const Column& column, const Value& value) {
    if (cancelled_) return;
    beforeToken();
    RowEncoder(std::vector<Column>{column}, false).writeReturnValue(writer_.buffer(), ordinal, value);
    afterToken();
}

void TdsResponse::procedureDone(bool error) {
    if (cancelled_) return;
    beforeToken();
    PendingDone d;
    d.token = kTokenDoneProc;
    if (error || errorSinceDone_) d.status |= kDoneError;
    pendingDone_ = d;
    errorSinceDone_ = false;
    resultSinceDone_ = false;
}

void TdsResponse::finish() {
    Bytes& out = writer_.buffer();
    if (cancelled_) {
        // As SQL Server answers an attention: the interrupted response ends as a message of its own
        // (tedious waits for that), then the acknowledgement follows in the next one.
        writeDone(out, pendingDone_ ? pendingDone_->status : static_cast<uint16_t>(kDoneFinal), 0, 0,
                  static_cast<Token>(pendingDone_ ? pendingDone_->token : options_.doneToken));
        pendingDone_.reset();
        writer_.finish();
        writeDone(out, kDoneAttention, 0, 0);
    } else if (pendingDone_) {
        uint16_t status = pendingDone_->status;
        if (errorSinceDone_) status |= kDoneError;
        writeDone(out, status, pendingDone_->command, pendingDone_->count, static_cast<Token>(pendingDone_->token));
        pendingDone_.reset();
    } else {
        writeDone(out, errorSinceDone_ ? kDoneError : kDoneFinal, 0, 0, static_cast<Token>(options_.doneToken));
    }
    writer_.finish();
}

}  // namespace standin::tds
