#include "tests/query/ScriptedProvider.h"

#include <cstring>

using namespace provider;

namespace scripted {

namespace {

class Rowset : public provider::Rowset {
public:
    explicit Rowset(Script& script) : script_(script) { ++script_.liveRowsets; }
    ~Rowset() override { --script_.liveRowsets; }
    HRESULT GetColumnInfo(std::vector<ColumnInfo>& columns) override {
        columns = script_.columns;
        return S_OK;
    }
    HRESULT FetchBlock(const std::vector<Binding>& bindings, void* buffer, size_t rowSize, size_t maxRows,
                       size_t& rowsFetched, LongDataSink*) override {
        rowsFetched = 0;
        if (!script_.fetch) return DB_S_ENDOFROWSET;
        return script_.fetch(bindings, static_cast<std::byte*>(buffer), rowSize, maxRows, rowsFetched);
    }

private:
    Script& script_;
};

class Results : public MultipleResults {
public:
    explicit Results(Script& script) : script_(script) {}
    HRESULT GetResult(int32_t& affectedRows, std::unique_ptr<provider::Rowset>& rowset) override {
        affectedRows = -1;
        if (given_) return DB_S_NORESULT;
        given_ = true;
        rowset = std::make_unique<Rowset>(script_);
        return S_OK;
    }

private:
    Script& script_;
    bool given_ = false;
};

class Command : public provider::Command {
public:
    explicit Command(Script& script) : script_(script) {}
    HRESULT SetCommandText(std::string_view text) override {
        text_ = std::string(text);
        return S_OK;
    }
    HRESULT SetProperties(PropertySet&) override { return S_OK; }
    HRESULT Execute(ExecuteMode mode, ExecuteResult& result) override {
        script_.executed.push_back(text_);
        result = ExecuteResult{};
        if (mode == ExecuteMode::MultipleResults) {
            result.results = std::make_unique<Results>(script_);
        } else if (mode == ExecuteMode::Rowset) {
            result.rowset = std::make_unique<Rowset>(script_);
        }
        return S_OK;
    }

private:
    Script& script_;
    std::string text_;
};

class Session : public provider::Session {
public:
    explicit Session(Script& script) : script_(script) {}
    HRESULT SetProperties(PropertySet&) override { return S_OK; }
    HRESULT StartTransaction(int32_t) override { return S_OK; }
    HRESULT Commit() override { return S_OK; }
    HRESULT Abort() override { return S_OK; }
    HRESULT CreateCommand(std::unique_ptr<provider::Command>& command) override {
        command = std::make_unique<Command>(script_);
        return S_OK;
    }

private:
    Script& script_;
};

class DataSource : public provider::DataSource {
public:
    explicit DataSource(Script& script) : script_(script) {}
    HRESULT SetProperties(PropertySet&) override { return S_OK; }
    HRESULT Initialize() override { return S_OK; }
    HRESULT Uninitialize() override { return S_OK; }
    HRESULT GetDataSourceInfo(DataSourceInfo& info) override {
        info = script_.info;
        return S_OK;
    }
    HRESULT CreateSession(std::unique_ptr<provider::Session>& session) override {
        session = std::make_unique<Session>(script_);
        return S_OK;
    }

private:
    Script& script_;
};

const Binding& BindingOf(const std::vector<Binding>& bindings, uint32_t ordinal) {
    for (const auto& b : bindings)
        if (b.ordinal == ordinal) return b;
    throw std::runtime_error("no binding for ordinal " + std::to_string(ordinal));
}

}  // namespace

HRESULT Provider::CreateDataSource(std::string_view, std::unique_ptr<provider::DataSource>& dataSource) {
    dataSource = std::make_unique<DataSource>(script_);
    return S_OK;
}

ColumnInfo Column(std::string name, uint32_t ordinal, DBTYPE type, uint32_t size) {
    ColumnInfo c;
    c.name = std::move(name);
    c.ordinal = ordinal;
    c.type = type;
    c.columnSize = size;
    c.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_ISFIXEDLENGTH;
    return c;
}

void PutInt32(const std::vector<Binding>& bindings, std::byte* rows, size_t rowSize, size_t row, uint32_t ordinal,
              int32_t value, uint32_t status) {
    const Binding& b = BindingOf(bindings, ordinal);
    std::memcpy(rows + row * rowSize + b.valueOffset, &value, sizeof value);
    PutStatus(bindings, rows, rowSize, row, ordinal, status);
}

void PutStatus(const std::vector<Binding>& bindings, std::byte* rows, size_t rowSize, size_t row, uint32_t ordinal,
               uint32_t status) {
    const Binding& b = BindingOf(bindings, ordinal);
    std::memcpy(rows + row * rowSize + b.statusOffset, &status, sizeof status);
}

void PostError(HRESULT hr, const std::string& description) {
    auto info = std::make_unique<ErrorInfo>();
    info->description = description;
    ErrorRecord record;
    record.result = hr;
    record.interfaceId = InterfaceId::IRowset;
    record.description = description;
    info->records.push_back(record);
    SetErrorInfo(std::move(info));
}

}  // namespace scripted
