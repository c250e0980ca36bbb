#pragma once
// The system procedures clients call by RPC to run parameterised SQL: sp_executesql, sp_prepare,
// sp_execute, sp_prepexec and sp_unprepare, with typed parameters, output parameters and return
// status as SQL Server answers them. Any other procedure is not found (2812). One instance per
// connection: prepared statement handles belong to it.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/sql/SqlAst.h"
#include "tools/standin/tds/TdsResponse.h"
#include "tools/standin/tds/TdsRpc.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace standin::tds {

class SystemProcedures {
public:
    // log receives the SQL each call runs.
    SystemProcedures(Engine& engine, Session& session, std::function<void(const std::string&)> log);

    // Runs one call; its answer ends with the call's DONEPROC.
    void call(const RpcCall& call, TdsResponse& response);

private:
    struct Prepared {
        std::string declarations;  // as given, for error texts
        std::vector<ParameterDeclaration> parameters;
        std::string statement;
    };
    // Arguments after the procedure's own leading parameters, matched to the declared ones.
    using Arguments = std::vector<const RpcParameter*>;

    void executeSql(const RpcCall& call, TdsResponse& response);
    void prepare(const RpcCall& call, TdsResponse& response, bool execute);
    void execute(const RpcCall& call, TdsResponse& response);
    void unprepare(const RpcCall& call, TdsResponse& response);

    // Runs prepared's statement with the arguments from call.parameters[first] on, then sends the
    // return status and the output parameters (extra: return values ahead of them, e.g. a handle).
    void run(const Prepared& prepared, const RpcCall& call, size_t first, TdsResponse& response,
             const std::vector<std::pair<size_t, Value>>& extra = {});
    Prepared compile(const std::string& declarations, const std::string& statement) const;

    Engine& engine_;
    Session& session_;
    std::function<void(const std::string&)> log_;
    std::map<int32_t, Prepared> prepared_;
    int32_t nextHandle_ = 1;
};

}  // namespace standin::tds
