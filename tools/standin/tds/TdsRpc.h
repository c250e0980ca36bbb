#pragma once
// Reads remote procedure call requests (MS-TDS RPCRequest): the procedure, by name or by the id of
// a system procedure, and its parameters with their types and values, decoded into engine values.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/tds/TdsBuffer.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace standin::tds {

struct RpcParameter {
    std::string name;     // with its '@' as sent; empty for a parameter passed by position
    bool output = false;  // passed by reference: the caller wants the value back
    ColumnType type;      // the type it was sent as
    Value value;
};

struct RpcCall {
    std::string procedure;  // as sent, or the name of the system procedure a ProcID stands for
    std::vector<RpcParameter> parameters;
};

// A well-formed call the stand-in cannot read on (a parameter of a type it does not know): it is
// answered with an error, and the connection stays.
class RpcUnsupported : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The calls of one RPC request, the reader placed behind ALL_HEADERS. Throws ProtocolError for a
// malformed request and RpcUnsupported for a type it cannot decode.
std::vector<RpcCall> parseRpcRequest(ByteReader& r);

}  // namespace standin::tds
