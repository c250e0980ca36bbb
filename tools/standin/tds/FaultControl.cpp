#include "tools/standin/tds/FaultControl.h"

#include <algorithm>

namespace standin {

void FaultControl::dropNextBatch() {
    std::lock_guard lock(mutex_);
    drop_ = true;
}

void FaultControl::setDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    delay_ = std::max(delay, std::chrono::milliseconds(0));
}

void FaultControl::failNextBatch(std::vector<Message> errors) {
    std::lock_guard lock(mutex_);
    errors_ = std::move(errors);
}

void FaultControl::refuseLogins(int count) {
    std::lock_guard lock(mutex_);
    refusals_ = std::max(count, 0);
}

void FaultControl::clear() {
    std::lock_guard lock(mutex_);
    drop_ = false;
    errors_.clear();
    delay_ = std::chrono::milliseconds(0);
    refusals_ = 0;
}

FaultControl::BatchFault FaultControl::takeBatchFault() {
    std::lock_guard lock(mutex_);
    BatchFault fault;
    if (drop_) {
        drop_ = false;
        fault.drop = true;
    } else {
        fault.errors = std::move(errors_);
        errors_.clear();
    }
    return fault;
}

std::chrono::milliseconds FaultControl::delay() const {
    std::lock_guard lock(mutex_);
    return delay_;
}

bool FaultControl::takeLoginRefusal() {
    std::lock_guard lock(mutex_);
    if (refusals_ == 0) return false;
    --refusals_;
    return true;
}

}  // namespace standin
