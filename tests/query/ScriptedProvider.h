#pragma once
// A scripted provider for what no server shows on demand: provider types outside the data kinds,
// per-value statuses with DB_S_ERRORSOCCURRED or a failing fetch, an old provider version. Every
// statement returns one result set with the scripted columns; its rows come from the scripted fetch.
#include "data/provider/Provider.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace scripted {

using FetchFunction = std::function<provider::HRESULT(const std::vector<provider::Binding>& bindings, std::byte* rows,
                                                      size_t rowSize, size_t maxRows, size_t& rowsFetched)>;

struct Script {
    provider::DataSourceInfo info{"Microsoft SQL Server", "10.00.2000", "02.80", "09.00.3042"};
    std::vector<provider::ColumnInfo> columns;
    FetchFunction fetch;  // unset: no rows
    std::vector<std::string> executed;
    int liveRowsets = 0;
};

class Provider : public provider::Provider {
public:
    explicit Provider(Script& script) : script_(script) {}
    provider::HRESULT CreateDataSource(std::string_view classId,
                                       std::unique_ptr<provider::DataSource>& dataSource) override;

private:
    Script& script_;
};

provider::ColumnInfo Column(std::string name, uint32_t ordinal, provider::DBTYPE type, uint32_t size = 4);

// Writes a value and its status into row r of a block for the binding of `ordinal`.
void PutInt32(const std::vector<provider::Binding>& bindings, std::byte* rows, size_t rowSize, size_t row,
              uint32_t ordinal, int32_t value, uint32_t status = provider::DBSTATUS_S_OK);
void PutStatus(const std::vector<provider::Binding>& bindings, std::byte* rows, size_t rowSize, size_t row,
               uint32_t ordinal, uint32_t status);
// Posts an error object with one record of that description for the failing call.
void PostError(provider::HRESULT hr, const std::string& description);

}  // namespace scripted
