#include "tools/standin/tds/SystemProcedures.h"

#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlParser.h"
#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/Utf.h"

#include <utility>

namespace standin::tds {
namespace {

SqlError notSupplied(std::string_view procedure, std::string_view parameter) {
    return SqlError(201, 16, 4,
                    "Procedure or function '" + std::string(procedure) + "' expects parameter '" +
                        std::string(parameter) + "', which was not supplied.",
                    ErrorReach::Batch);
}

SqlError unknownHandle(int64_t handle) {
    return SqlError(8179, 16, 4, "Could not find prepared statement with handle " + std::to_string(handle) + ".",
                    ErrorReach::Batch);
}

const RpcParameter& argument(const RpcCall& call, size_t index, std::string_view name) {
    if (index >= call.parameters.size()) throw notSupplied(call.procedure, name);
    return call.parameters[index];
}

// A text argument (the statement, the declarations); NULL reads as empty.
std::string textOf(const RpcParameter& p) {
    if (isNull(p.value)) return {};
    const Value v = convertValue(p.value, p.type, makeType(SqlType::NVarChar, -1), Conversion::Implicit);
    return utf16ToUtf8(std::get<std::u16string>(v));
}

std::optional<int64_t> intOf(const RpcParameter& p) {
    if (isNull(p.value)) return std::nullopt;
    return std::get<int64_t>(convertValue(p.value, p.type, makeType(SqlType::Int), Conversion::Implicit));
}

// "sys.sp_executesql" and "master..sp_executesql" name the same procedure.
std::string_view baseName(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// The request's variables last only as long as the call.
class VariablesInScope {
public:
    VariablesInScope(Session& session, std::vector<Variable> variables) : session_(session) {
        session_.variables = std::move(variables);
    }
    ~VariablesInScope() { session_.variables.clear(); }
    VariablesInScope(const VariablesInScope&) = delete;
    VariablesInScope& operator=(const VariablesInScope&) = delete;

private:
    Session& session_;
};

}  // namespace

SystemProcedures::SystemProcedures(Engine& engine, Session& session, std::function<void(const std::string&)> log)
    : engine_(engine), session_(session), log_(std::move(log)) {}

void SystemProcedures::call(const RpcCall& call, TdsResponse& response) {
    const std::string_view name = baseName(call.procedure);
    try {
        if (compareText(name, "sp_executesql") == 0)
            executeSql(call, response);
        else if (compareText(name, "sp_prepare") == 0)
            prepare(call, response, false);
        else if (compareText(name, "sp_prepexec") == 0)
            prepare(call, response, true);
        else if (compareText(name, "sp_execute") == 0)
            execute(call, response);
        else if (compareText(name, "sp_unprepare") == 0)
            unprepare(call, response);
        else
            throw errors::unknownProcedure(call.procedure);
    } catch (const SqlError& e) {
        response.message(e.message());
        response.procedureDone(true);
    }
}

SystemProcedures::Prepared SystemProcedures::compile(const std::string& declarations,
                                                     const std::string& statement) const {
    Prepared p;
    p.declarations = declarations;
    p.parameters = SqlParser(declarations, true).parseParameterDeclarations();
    p.statement = statement;
    return p;
}

void SystemProcedures::executeSql(const RpcCall& call, TdsResponse& response) {
    const std::string statement = textOf(argument(call, 0, "@statement"));
    const std::string declarations = call.parameters.size() > 1 ? textOf(call.parameters[1]) : std::string();
    run(compile(declarations, statement), call, 2, response);
}

void SystemProcedures::prepare(const RpcCall& call, TdsResponse& response, bool execute) {
    const RpcParameter& handleParameter = argument(call, 0, "@handle");
    const std::string declarations = textOf(argument(call, 1, "@params"));
    const std::string statement = textOf(argument(call, 2, "@stmt"));
    Prepared p = compile(declarations, statement);
    // Syntax errors show at prepare time, as SQL Server compiles the statement then.
    SqlParser(statement, session_.quotedIdentifier).parseBatch();
    const int32_t handle = nextHandle_++;
    prepared_[handle] = p;
    std::vector<std::pair<size_t, Value>> handleOut;
    if (handleParameter.output) handleOut.emplace_back(0, Value{int64_t{handle}});
    if (execute) {
        run(p, call, 3, response, handleOut);
        return;
    }
    response.returnStatus(0);
    for (const auto& [ordinal, value] : handleOut)
        response.returnValue(static_cast<uint16_t>(ordinal), Column{handleParameter.name, makeType(SqlType::Int)},
                             value);
    response.procedureDone(false);
}

void SystemProcedures::execute(const RpcCall& call, TdsResponse& response) {
    const std::optional<int64_t> handle = intOf(argument(call, 0, "@handle"));
    const auto it = handle ? prepared_.find(static_cast<int32_t>(*handle)) : prepared_.end();
    if (it == prepared_.end()) throw unknownHandle(handle.value_or(0));
    const Prepared p = it->second;  // a copy: the statement may not outlive an unprepare it cannot run
    run(p, call, 1, response);
}

void SystemProcedures::unprepare(const RpcCall& call, TdsResponse& response) {
    const std::optional<int64_t> handle = intOf(argument(call, 0, "@handle"));
    if (!handle || prepared_.erase(static_cast<int32_t>(*handle)) == 0) throw unknownHandle(handle.value_or(0));
    response.returnStatus(0);
    response.procedureDone(false);
}

void SystemProcedures::run(const Prepared& prepared, const RpcCall& call, size_t first, TdsResponse& response,
                           const std::vector<std::pair<size_t, Value>>& extra) {
    const auto& declared = prepared.parameters;
    // Arguments by position first, then by name, as SQL Server matches them.
    std::vector<const RpcParameter*> supplied(declared.size(), nullptr);
    std::vector<size_t> ordinals(declared.size(), 0);
    size_t position = 0;
    for (size_t i = first; i < call.parameters.size(); ++i) {
        const RpcParameter& p = call.parameters[i];
        size_t k = position;
        if (p.name.empty()) {
            if (position >= declared.size())
                throw SqlError(8144, 16, 2,
                               "Procedure or function " + call.procedure + " has too many arguments specified.",
                               ErrorReach::Batch);
            ++position;
        } else {
            for (k = 0; k < declared.size() && compareText(declared[k].name, p.name) != 0; ++k) {}
            if (k == declared.size())
                throw SqlError(8145, 16, 2, p.name + " is not a parameter for procedure " + call.procedure + ".",
                               ErrorReach::Batch);
        }
        supplied[k] = &p;
        ordinals[k] = i;
    }
    std::vector<Variable> variables;
    for (size_t k = 0; k < declared.size(); ++k) {
        if (!supplied[k])
            throw SqlError(8178, 16, 1,
                           "The parameterized query '(" + prepared.declarations + ")" + prepared.statement +
                               "' expects the parameter '" + declared[k].name + "', which was not supplied.",
                           ErrorReach::Batch);
        const RpcParameter& p = *supplied[k];
        variables.push_back({declared[k].name, declared[k].type,
                             convertValue(p.value, p.type, declared[k].type, Conversion::Implicit),
                             declared[k].output || p.output});
    }
    VariablesInScope scope(session_, std::move(variables));
    log_(prepared.statement);
    const BatchOutcome outcome = engine_.execute(session_, prepared.statement, response);
    if (!outcome.aborted) {
        // sp_executesql and its kin return the number of the last error, 0 when all went well.
        response.returnStatus(outcome.lastError);
        for (const auto& [ordinal, value] : extra)
            response.returnValue(static_cast<uint16_t>(ordinal),
                                 Column{call.parameters[ordinal].name, makeType(SqlType::Int)}, value);
        // Every argument passed by reference comes back, declared OUTPUT or not: drivers (FreeTDS)
        // mark output parameters only so.
        for (size_t k = 0; k < declared.size(); ++k) {
            if (!supplied[k]->output) continue;
            const std::string& name = supplied[k]->name.empty() ? declared[k].name : supplied[k]->name;
            response.returnValue(static_cast<uint16_t>(ordinals[k]), Column{name, declared[k].type},
                                 session_.variables[k].value);
        }
    }
    response.procedureDone(outcome.lastError != 0);
}

}  // namespace standin::tds
