#include "tests/connection/FakeProvider.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace provider;

namespace fake {

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

HRESULT Post(const Answer& answer) {
    if (answer.error) {
        SetErrorInfo(std::make_unique<ErrorInfo>(*answer.error));
    } else {
        SetErrorInfo(nullptr);
    }
    return answer.result;
}

HRESULT ApplyRefusals(Script& script, PropertySet& set) {
    bool required = false;
    bool optional = false;
    for (auto& p : set.properties) {
        auto it = script.refuse.find({set.id, p.id});
        p.status = it == script.refuse.end() ? DBPROPSTATUS_OK : it->second;
        if (p.status != DBPROPSTATUS_OK) (p.options == DBPROPOPTIONS_OPTIONAL ? optional : required) = true;
    }
    script.propertySets.push_back(set);
    if (required) return DB_E_ERRORSOCCURRED;
    if (optional) return DB_S_ERRORSOCCURRED;
    return S_OK;
}

struct Link {
    bool open = false;
    bool busy = false;
};

class FakeRowset : public Rowset {
public:
    FakeRowset(std::vector<std::string> rows, std::shared_ptr<Link> link)
        : rows_(std::move(rows)), link_(std::move(link)) {
        link_->busy = true;
    }
    ~FakeRowset() override { link_->busy = false; }

    HRESULT GetColumnInfo(std::vector<ColumnInfo>& columns) override {
        ColumnInfo c;
        c.name = "name";
        c.ordinal = 1;
        c.type = DBTYPE_STR;
        c.columnSize = 128;
        columns = {c};
        return S_OK;
    }

    HRESULT FetchBlock(const std::vector<Binding>& bindings, void* buffer, size_t rowSize, size_t maxRows,
                       size_t& rowsFetched, LongDataSink*) override {
        rowsFetched = 0;
        if (!link_->open) return E_UNEXPECTED;
        auto* rows = static_cast<char*>(buffer);
        while (rowsFetched < maxRows && next_ < rows_.size()) {
            char* row = rows + rowsFetched * rowSize;
            for (const auto& b : bindings) {
                const auto& text = rows_[next_];
                const size_t n = std::min(text.size(), b.maxLength - 1);
                std::memcpy(row + b.valueOffset, text.data(), n);
                row[b.valueOffset + n] = '\0';
                uint32_t length = static_cast<uint32_t>(text.size());
                uint32_t status = 0;
                if (b.lengthOffset != NoOffset) std::memcpy(row + b.lengthOffset, &length, 4);
                if (b.statusOffset != NoOffset) std::memcpy(row + b.statusOffset, &status, 4);
            }
            ++next_;
            ++rowsFetched;
        }
        return next_ >= rows_.size() ? DB_S_ENDOFROWSET : S_OK;
    }

private:
    std::vector<std::string> rows_;
    std::shared_ptr<Link> link_;
    size_t next_ = 0;
};

class FakeCommand : public Command {
public:
    FakeCommand(Script& script, std::shared_ptr<Link> link) : script_(script), link_(std::move(link)) {}

    HRESULT SetCommandText(std::string_view text) override {
        text_ = std::string(text);
        return S_OK;
    }
    HRESULT SetProperties(PropertySet& set) override { return ApplyRefusals(script_, set); }

    HRESULT Execute(ExecuteMode mode, ExecuteResult& result) override {
        result = ExecuteResult{};
        script_.log.push_back("execute " + text_);
        if (!link_->open) return E_UNEXPECTED;
        if (link_->busy) return Post({DB_E_OBJECTOPEN, std::nullopt});
        if (!script_.nextExecutions.empty()) {
            Answer answer = script_.nextExecutions.front();
            script_.nextExecutions.erase(script_.nextExecutions.begin());
            return Post(answer);
        }
        auto it = script_.executions.find(text_);
        if (it == script_.executions.end()) return Post({});
        HRESULT hr = Post(it->second.answer);
        if (Failed(hr)) return hr;
        if (mode == ExecuteMode::Rowset) result.rowset = std::make_unique<FakeRowset>(it->second.rows, link_);
        return hr;
    }

private:
    Script& script_;
    std::shared_ptr<Link> link_;
    std::string text_;
};

class FakeSession : public Session {
public:
    FakeSession(Script& script, std::shared_ptr<Link> link) : script_(script), link_(std::move(link)) {
        ++script_.liveSessions;
    }
    ~FakeSession() override { --script_.liveSessions; }

    HRESULT SetProperties(PropertySet& set) override {
        script_.log.push_back(std::string("set ") + SetName(set.id));
        return ApplyRefusals(script_, set);
    }
    HRESULT StartTransaction(int32_t isolationLevel) override {
        script_.log.push_back("start " + std::to_string(isolationLevel));
        return Post(script_.startTransaction);
    }
    HRESULT Commit() override {
        script_.log.push_back("commit");
        return Post(script_.commit);
    }
    HRESULT Abort() override {
        script_.log.push_back("abort");
        return Post(script_.abort);
    }
    HRESULT CreateCommand(std::unique_ptr<Command>& command) override {
        if (!link_->open) return E_UNEXPECTED;
        command = std::make_unique<FakeCommand>(script_, link_);
        return S_OK;
    }

private:
    Script& script_;
    std::shared_ptr<Link> link_;
};

class FakeDataSource : public DataSource {
public:
    explicit FakeDataSource(Script& script) : script_(script), link_(std::make_shared<Link>()) {
        ++script_.liveDataSources;
    }
    bool LinkLost() const override { return script_.linkLost; }
    ~FakeDataSource() override {
        link_->open = false;
        --script_.liveDataSources;
        script_.log.push_back("destroy datasource");
    }

    HRESULT SetProperties(PropertySet& set) override {
        for (const auto& p : set.properties) {
            if (set.id == PropertySetId::DataSource && p.id == DBPROP_CURRENTCATALOG) {
                script_.log.push_back("catalog " + std::get<std::string>(p.value));
                script_.propertySets.push_back(set);
                HRESULT hr = Post(script_.currentCatalog);
                if (hr != S_OK) {
                    script_.propertySets.back().properties.front().status = DBPROPSTATUS_NOTSET;
                    set.properties.front().status = DBPROPSTATUS_NOTSET;
                }
                return hr;
            }
        }
        script_.log.push_back(std::string("set ") + SetName(set.id));
        SetErrorInfo(nullptr);
        return ApplyRefusals(script_, set);
    }
    HRESULT Initialize() override {
        script_.log.push_back("initialize");
        HRESULT hr = Post(script_.initialize);
        if (hr == S_OK) link_->open = true;
        return hr;
    }
    HRESULT Uninitialize() override {
        script_.log.push_back("uninitialize");
        link_->open = false;
        return S_OK;
    }
    HRESULT GetDataSourceInfo(DataSourceInfo& info) override {
        info = script_.info;
        return S_OK;
    }
    HRESULT CreateSession(std::unique_ptr<Session>& session) override {
        script_.log.push_back("session");
        session = std::make_unique<FakeSession>(script_, link_);
        return S_OK;
    }

private:
    Script& script_;
    std::shared_ptr<Link> link_;
};

}  // namespace

int Script::Count(const std::string& entry) const {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

HRESULT Provider::CreateDataSource(std::string_view classId, std::unique_ptr<DataSource>& dataSource) {
    script_.log.push_back("create " + std::string(classId));
    if (script_.createResult != S_OK) {
        SetErrorInfo(nullptr);
        return script_.createResult;
    }
    if (script_.registered.count(Upper(classId)) == 0) return REGDB_E_CLASSNOTREG;
    dataSource = std::make_unique<FakeDataSource>(script_);
    return S_OK;
}

ErrorInfo MakeError(HRESULT result, std::vector<std::optional<SqlServerError>> records,
                    const std::string& description) {
    ErrorInfo info;
    info.description = description;
    int n = 0;
    for (auto& r : records) {
        ErrorRecord record;
        record.result = result;
        record.interfaceId = InterfaceId::ICommand;
        record.description = r ? r->message : description + " #" + std::to_string(++n);
        record.sqlServer = r;
        info.records.push_back(std::move(record));
    }
    return info;
}

SqlServerError ServerRecord(int32_t number, const std::string& text, uint8_t severity, uint8_t state) {
    SqlServerError e;
    e.nativeError = number;
    e.message = text;
    e.severityClass = severity;
    e.state = state;
    e.serverName = "FAKE";
    e.lineNumber = 1;
    return e;
}

const char* SetName(PropertySetId id) {
    switch (id) {
    case PropertySetId::DBInit: return "DBInit";
    case PropertySetId::SQLServerDBInit: return "SQLServerDBInit";
    case PropertySetId::DataSource: return "DataSource";
    case PropertySetId::DataSourceInfo: return "DataSourceInfo";
    case PropertySetId::Session: return "Session";
    case PropertySetId::Rowset: return "Rowset";
    }
    return "?";
}

}  // namespace fake
