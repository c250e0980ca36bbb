#pragma once
// Faults injected on demand, shared by every connection of one server: tests of the data layer's
// reliability ask for a dropped connection, slow answers, chosen error records or refused logins.
#include "tools/standin/sql/Engine.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace standin {

class FaultControl {
public:
    void dropNextBatch();
    void setDelay(std::chrono::milliseconds delay);
    void failNextBatch(std::vector<Message> errors);
    void refuseLogins(int count);
    void clear();

    // What the batch now received must suffer; taking it consumes it. A pending drop is taken
    // before pending errors, which then wait for the batch after.
    struct BatchFault {
        bool drop = false;
        std::vector<Message> errors;
    };
    BatchFault takeBatchFault();
    std::chrono::milliseconds delay() const;
    // True when this login is to be refused; counts it off.
    bool takeLoginRefusal();

private:
    mutable std::mutex mutex_;
    bool drop_ = false;
    std::vector<Message> errors_;
    std::chrono::milliseconds delay_{0};
    int refusals_ = 0;
};

}  // namespace standin
