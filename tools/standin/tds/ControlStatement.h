#pragma once
// The stand-in's own control statement, so tests that run it as a separate process can inject
// faults over any connection logged in as an administrator. A batch is a control statement when
// its first word is STANDIN, which no T-SQL batch begins with:
//
//   STANDIN DROP NEXT BATCH
//   STANDIN DELAY <milliseconds>                       (0 turns it off)
//   STANDIN FAIL NEXT BATCH <number> <class> <state> ['text'] [, <number> <class> <state> ['text']]...
//   STANDIN REFUSE LOGINS <count>
//   STANDIN CLEAR                                      (every fault off)
//
// Words are case-insensitive; a trailing ';' is allowed; text quotes double an embedded quote.
#include "tools/standin/sql/Engine.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace standin {

struct ControlDropNextBatch {};
struct ControlDelay {
    std::chrono::milliseconds delay{0};
};
struct ControlFailNextBatch {
    std::vector<Message> errors;
};
struct ControlRefuseLogins {
    int count = 0;
};
struct ControlClear {};

using ControlCommand =
    std::variant<ControlDropNextBatch, ControlDelay, ControlFailNextBatch, ControlRefuseLogins, ControlClear>;

// The batch names the control statement but does not follow its syntax; what() is the word at fault.
class ControlSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool isControlStatement(std::string_view batch);
// Throws ControlSyntaxError; only call for batches isControlStatement accepts.
ControlCommand parseControlStatement(std::string_view batch);
// One line saying what the command did, sent back as an informational message.
std::string describeControlCommand(const ControlCommand& command);

// The usage text above, for --help and for error messages.
extern const char* const kControlStatementUsage;

}  // namespace standin
