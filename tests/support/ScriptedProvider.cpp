#include "tests/support/ScriptedProvider.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

using namespace provider;

namespace scripted {

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

// The state a data source shares with its sessions, commands and row sets: whether it is initialised,
// and whether a row set holds the one statement slot a connection without MARS has.
struct Link {
    bool open = false;
    bool busy = false;
};

ColumnInfo TextColumn() {
    ColumnInfo c;
    c.name = "name";
    c.ordinal = 1;
    c.type = DBTYPE_STR;
    c.columnSize = 128;
    return c;
}

// The rows of an Execution: each text into every binding, with its length and an OK status.
FetchFunction TextRows(std::vector<std::string> texts) {
    return [texts = std::move(texts), next = size_t{0}](const std::vector<Binding>& bindings, std::byte* rows,
                                                        size_t rowSize, size_t maxRows, size_t& rowsFetched) mutable {
        while (rowsFetched < maxRows && next < texts.size()) {
            std::byte* row = rows + rowsFetched * rowSize;
            for (const auto& b : bindings) {
                const auto& text = texts[next];
                const size_t n = std::min(text.size(), b.maxLength - 1);
                std::memcpy(row + b.valueOffset, text.data(), n);
                row[b.valueOffset + n] = std::byte{0};
                uint32_t length = static_cast<uint32_t>(text.size());
                uint32_t status = 0;
                if (b.lengthOffset != NoOffset) std::memcpy(row + b.lengthOffset, &length, 4);
                if (b.statusOffset != NoOffset) std::memcpy(row + b.statusOffset, &status, 4);
            }
            ++next;
            ++rowsFetched;
        }
        return next >= texts.size() ? DB_S_ENDOFROWSET : S_OK;
    };
}

class ScriptedRowset : public Rowset {
public:
    ScriptedRowset(Script& script, std::vector<ColumnInfo> columns, FetchFunction fetch, std::shared_ptr<Link> link)
        : script_(script), columns_(std::move(columns)), fetch_(std::move(fetch)), link_(std::move(link)) {
        ++script_.liveRowsets;
        link_->busy = true;
    }
    ~ScriptedRowset() override {
        link_->busy = false;
        --script_.liveRowsets;
    }

    HRESULT GetColumnInfo(std::vector<ColumnInfo>& columns) override {
        columns = columns_;
        return S_OK;
    }

    HRESULT FetchBlock(const std::vector<Binding>& bindings, void* buffer, size_t rowSize, size_t maxRows,
                       size_t& rowsFetched, LongDataSink*) override {
        rowsFetched = 0;
        if (!link_->open) return E_UNEXPECTED;
        return fetch_(bindings, static_cast<std::byte*>(buffer), rowSize, maxRows, rowsFetched);
    }

private:
    Script& script_;
    std::vector<ColumnInfo> columns_;
    FetchFunction fetch_;
    std::shared_ptr<Link> link_;
};

using RowsetFactory = std::function<std::unique_ptr<Rowset>()>;

// One result set, then no more.
class ScriptedResults : public MultipleResults {
public:
    explicit ScriptedResults(RowsetFactory make) : make_(std::move(make)) {}
    HRESULT GetResult(int32_t& affectedRows, std::unique_ptr<Rowset>& rowset) override {
        affectedRows = -1;
        if (given_) return DB_S_NORESULT;
        given_ = true;
        rowset = make_();
        return S_OK;
    }

private:
    RowsetFactory make_;
    bool given_ = false;
};

class ScriptedCommand : public Command {
public:
    ScriptedCommand(Script& script, std::shared_ptr<Link> link) : script_(script), link_(std::move(link)) {}

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
        if (it != script_.executions.end()) {
            HRESULT hr = Post(it->second.answer);
            if (Failed(hr)) return hr;
            Offer(mode, result, {TextColumn()}, TextRows(it->second.rows));
            return hr;
        }
        HRESULT hr = Post({});
        if (!script_.columns.empty()) Offer(mode, result, script_.columns, ScriptFetch());
        return hr;
    }

private:
    // The script's fetch as it is when the rows are read.
    FetchFunction ScriptFetch() const {
        return [&script = script_](const std::vector<Binding>& bindings, std::byte* rows, size_t rowSize,
                                   size_t maxRows, size_t& rowsFetched) {
            if (!script.fetch) return DB_S_ENDOFROWSET;
            return script.fetch(bindings, rows, rowSize, maxRows, rowsFetched);
        };
    }

    // A result set as the execution mode asks for it.
    void Offer(ExecuteMode mode, ExecuteResult& result, std::vector<ColumnInfo> columns, FetchFunction fetch) {
        RowsetFactory make = [&script = script_, link = link_, columns = std::move(columns), fetch = std::move(fetch)] {
            return std::make_unique<ScriptedRowset>(script, columns, fetch, link);
        };
        if (mode == ExecuteMode::MultipleResults) {
            result.results = std::make_unique<ScriptedResults>(std::move(make));
        } else if (mode == ExecuteMode::Rowset) {
            result.rowset = make();
        }
    }

    Script& script_;
    std::shared_ptr<Link> link_;
    std::string text_;
};

class ScriptedSession : public Session {
public:
    ScriptedSession(Script& script, std::shared_ptr<Link> link) : script_(script), link_(std::move(link)) {
        ++script_.liveSessions;
    }
    ~ScriptedSession() override { --script_.liveSessions; }

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
        command = std::make_unique<ScriptedCommand>(script_, link_);
        return S_OK;
    }

private:
    Script& script_;
    std::shared_ptr<Link> link_;
};

class ScriptedDataSource : public DataSource {
public:
    explicit ScriptedDataSource(Script& script) : script_(script), link_(std::make_shared<Link>()) {
        ++script_.liveDataSources;
    }
    bool LinkLost() const override { return script_.linkLost; }
    ~ScriptedDataSource() override {
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
        session = std::make_unique<ScriptedSession>(script_, link_);
        return S_OK;
    }

private:
    Script& script_;
    std::shared_ptr<Link> link_;
};

const Binding& BindingOf(const std::vector<Binding>& bindings, uint32_t ordinal) {
    for (const auto& b : bindings)
        if (b.ordinal == ordinal) return b;
    throw std::runtime_error("no binding for ordinal " + std::to_string(ordinal));
}

}  // namespace

int Script::Count(const std::string& entry) const {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

std::vector<std::string> Script::Executed() const {
    const std::string_view prefix = "execute ";
    std::vector<std::string> texts;
    for (const auto& entry : log)
        if (entry.starts_with(prefix)) texts.push_back(entry.substr(prefix.size()));
    return texts;
}

HRESULT Provider::CreateDataSource(std::string_view classId, std::unique_ptr<DataSource>& dataSource) {
    script_.log.push_back("create " + std::string(classId));
    if (script_.createResult != S_OK) {
        SetErrorInfo(nullptr);
        return script_.createResult;
    }
    if (script_.registered.count(Upper(classId)) == 0) return REGDB_E_CLASSNOTREG;
    dataSource = std::make_unique<ScriptedDataSource>(script_);
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
