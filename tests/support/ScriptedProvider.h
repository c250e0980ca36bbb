#pragma once
// A scripted provider for behaviour no server shows on demand: unregistered classes, old provider
// versions, refused property sets, an uninitialised run-time, chosen error records, provider types
// outside the data kinds, per-value statuses with DB_S_ERRORSOCCURRED or a failing fetch. Everything
// the data-access layer asks of it is written to a log that tests read back.
#include "data/provider/Provider.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace scripted {

// A scripted answer: a result code and the error object posted with it.
struct Answer {
    provider::HRESULT result = provider::S_OK;
    std::optional<provider::ErrorInfo> error;
};

// Fills a block of rows for the bindings the consumer made; returns the fetch's result code.
using FetchFunction = std::function<provider::HRESULT(const std::vector<provider::Binding>& bindings, std::byte* rows,
                                                      size_t rowSize, size_t maxRows, size_t& rowsFetched)>;

// One text's scripted execution.
struct Execution {
    Answer answer;
    std::vector<std::string> rows;  // a text column "name", when the text returns rows
};

struct Script {
    // Provider classes that exist ("SQLNCLI.1", "SQLOLEDB.1"); others are not registered.
    std::set<std::string> registered = {"SQLNCLI.1", "SQLOLEDB.1"};
    provider::HRESULT createResult = provider::S_OK;  // e.g. CO_E_NOTINITIALIZED

    // Refusals: property id of a set -> status (the call returns DB_E_ERRORSOCCURRED, or
    // DB_S_ERRORSOCCURRED when only optional properties are refused).
    std::map<std::pair<provider::PropertySetId, provider::PropertyId>, uint32_t> refuse;

    Answer initialize;
    provider::DataSourceInfo info{"Microsoft SQL Server", "10.00.2000", "02.80", "09.00.3042"};
    // Texts executed: answers by exact text. A text not listed succeeds, without rows unless `columns`
    // is set: then it returns one result set of these columns, its rows written by `fetch` (unset: none).
    std::map<std::string, Execution> executions;
    std::vector<provider::ColumnInfo> columns;
    FetchFunction fetch;
    // Answers consumed in order by the next executions (whatever their text), before `executions`.
    std::vector<Answer> nextExecutions;
    Answer startTransaction;
    Answer commit;
    Answer abort;
    Answer currentCatalog;  // answer to setting DBPROP_CURRENTCATALOG
    bool linkLost = false;  // what every data source answers to LinkLost

    // What happened, in order: "create SQLNCLI.1", "set DBInit", "initialize", "session",
    // "uninitialize", "destroy datasource", "execute <text>", "start <level>", "commit", "abort",
    // "catalog <name>".
    std::vector<std::string> log;
    std::vector<provider::PropertySet> propertySets;  // every set as received (statuses as returned)
    int liveDataSources = 0;
    int liveSessions = 0;
    int liveRowsets = 0;

    int Count(const std::string& entry) const;
    // The texts executed, in order.
    std::vector<std::string> Executed() const;
    void ClearLog() {
        log.clear();
        propertySets.clear();
    }
};

class Provider : public provider::Provider {
public:
    explicit Provider(Script& script) : script_(script) {}
    provider::HRESULT CreateDataSource(std::string_view classId,
                                       std::unique_ptr<provider::DataSource>& dataSource) override;

private:
    Script& script_;
};

// An error object with one record per entry: a SqlServerError makes a SQL Server record.
provider::ErrorInfo MakeError(provider::HRESULT result, std::vector<std::optional<provider::SqlServerError>> records,
                              const std::string& description = "");
provider::SqlServerError ServerRecord(int32_t number, const std::string& text, uint8_t severity = 16,
                                      uint8_t state = 1);
const char* SetName(provider::PropertySetId id);

// A nullable fixed-length column for Script::columns.
provider::ColumnInfo Column(std::string name, uint32_t ordinal, provider::DBTYPE type, uint32_t size = 4);

// Writes a value and its status into row r of a block for the binding of `ordinal`.
void PutInt32(const std::vector<provider::Binding>& bindings, std::byte* rows, size_t rowSize, size_t row,
              uint32_t ordinal, int32_t value, uint32_t status = provider::DBSTATUS_S_OK);
void PutStatus(const std::vector<provider::Binding>& bindings, std::byte* rows, size_t rowSize, size_t row,
               uint32_t ordinal, uint32_t status);
// Posts an error object with one record of that description for the failing fetch.
void PostError(provider::HRESULT hr, const std::string& description);

}  // namespace scripted
