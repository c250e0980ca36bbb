#include "tools/standin/sql/DataFile.h"

#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlValue.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

constexpr char kMagic[16] = {'V', 'A', 'C', '-', 'S', 'T', 'A', 'N', 'D', 'I', 'N', '-', 'D', 'A', 'T', 'A'};
// Version 2 added each database's and text column's collation and the names of DEFAULT constraints.
constexpr uint32_t kVersion = 2;
constexpr uint32_t kPreviousVersion = 1;

uint32_t crc32(std::string_view data) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

enum ValueTag : uint8_t { TagNull, TagInt, TagFloat, TagDecimal, TagText, TagWide, TagBytes, TagDate, TagGuid };

class Writer {
public:
    std::string out;
    void u8(uint8_t v) { out += static_cast<char>(v); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void u64(uint64_t v) {
        for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void str(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        out += s;
    }
    void value(const Value& v) {
        if (isNull(v)) {
            u8(TagNull);
            return;
        }
        if (auto i = std::get_if<int64_t>(&v)) {
            u8(TagInt);
            i64(*i);
            return;
        }
        if (auto d = std::get_if<double>(&v)) {
            u8(TagFloat);
            uint64_t bits;
            std::memcpy(&bits, d, 8);
            u64(bits);
            return;
        }
        if (auto x = std::get_if<DecimalValue>(&v)) {
            u8(TagDecimal);
            const auto u = static_cast<unsigned __int128>(x->unscaled);
            u64(static_cast<uint64_t>(u));
            u64(static_cast<uint64_t>(u >> 64));
            i32(x->scale);
            return;
        }
        if (auto s = std::get_if<std::string>(&v)) {
            u8(TagText);
            str(*s);
            return;
        }
        if (auto w = std::get_if<std::u16string>(&v)) {
            u8(TagWide);
            u32(static_cast<uint32_t>(w->size()));
            for (char16_t c : *w) {
                u8(static_cast<uint8_t>(c & 0xFF));
                u8(static_cast<uint8_t>(c >> 8));
            }
            return;
        }
        if (auto b = std::get_if<std::vector<uint8_t>>(&v)) {
            u8(TagBytes);
            u32(static_cast<uint32_t>(b->size()));
            out.append(reinterpret_cast<const char*>(b->data()), b->size());
            return;
        }
        if (auto t = std::get_if<DateTimeValue>(&v)) {
            u8(TagDate);
            i32(t->days);
            u32(t->ticks);
            return;
        }
        if (auto g = std::get_if<Guid>(&v)) {
            u8(TagGuid);
            out.append(reinterpret_cast<const char*>(g->data()), g->size());
        }
    }
};

class Reader {
public:
    Reader(const std::string& data, size_t begin, size_t end, const std::string& path)
        : data_(data), pos_(begin), end_(end), path_(path) {}
    [[noreturn]] void damaged(const std::string& why) const {
        throw std::runtime_error("The stand-in data file '" + path_ + "' is damaged (" + why +
                                 "); it was left as it is. Restore it or start with another --data file.");
    }
    void need(size_t n) const {
        if (n > end_ - pos_) damaged("it ends too early");
    }
    uint8_t u8() {
        need(1);
        return static_cast<uint8_t>(data_[pos_++]);
    }
    uint32_t u32() {
        need(4);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(static_cast<uint8_t>(data_[pos_++])) << (8 * i);
        return v;
    }
    uint64_t u64() {
        need(8);
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= uint64_t(static_cast<uint8_t>(data_[pos_++])) << (8 * i);
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    int64_t i64() { return static_cast<int64_t>(u64()); }
    std::string str() {
        const uint32_t n = u32();
        need(n);
        std::string s = data_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    size_t count(size_t minimumBytesEach) {
        const uint64_t n = u64();
        if (minimumBytesEach && n > (end_ - pos_) / minimumBytesEach) damaged("a count is larger than the file");
        return static_cast<size_t>(n);
    }
    Value value() {
        switch (u8()) {
        case TagNull: return Value{};
        case TagInt: return i64();
        case TagFloat: {
            const uint64_t bits = u64();
            double d;
            std::memcpy(&d, &bits, 8);
            return d;
        }
        case TagDecimal: {
            const uint64_t lo = u64(), hi = u64();
            const auto u = (static_cast<unsigned __int128>(hi) << 64) | lo;
            const int32_t scale = i32();
            if (scale < 0 || scale > 38) damaged("a decimal value has a bad scale");
            return DecimalValue{static_cast<__int128>(u), scale};
        }
        case TagText: return str();
        case TagWide: {
            const uint32_t n = u32();
            need(size_t(n) * 2);
            std::u16string w(n, u'\0');
            for (uint32_t i = 0; i < n; ++i) {
                const auto lo = static_cast<uint8_t>(data_[pos_++]);
                const auto hi = static_cast<uint8_t>(data_[pos_++]);
                w[i] = static_cast<char16_t>(lo | (hi << 8));
            }
            return w;
        }
        case TagBytes: {
            const uint32_t n = u32();
            need(n);
            std::vector<uint8_t> b(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                   data_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
            pos_ += n;
            return b;
        }
        case TagDate: {
            const int32_t days = i32();
            const uint32_t ticks = u32();
            return DateTimeValue{days, ticks};
        }
        case TagGuid: {
            need(16);
            Guid g{};
            std::memcpy(g.data(), data_.data() + pos_, 16);
            pos_ += 16;
            return g;
        }
        default: damaged("a value has an unknown kind");
        }
    }
    bool atEnd() const { return pos_ == end_; }

private:
    const std::string& data_;
    size_t pos_;
    size_t end_;
    const std::string& path_;
};

// The collation a file names; an empty name is the default one.
const Collation* collationNamed(const Reader& r, const std::string& name) {
    if (name.empty()) return nullptr;
    const Collation* c = findCollation(name);
    if (!c) r.damaged("it names an unknown collation " + name);
    return c;
}

// Whether a stored value has the representation of its column's type.
bool fitsColumn(const Value& v, const ColumnType& t) {
    if (isNull(v)) return true;
    if (isIntegerType(t.type)) return std::holds_alternative<int64_t>(v);
    if (t.type == SqlType::Real || t.type == SqlType::Float) return std::holds_alternative<double>(v);
    if (t.type == SqlType::Decimal || t.type == SqlType::Money || t.type == SqlType::SmallMoney)
        return std::holds_alternative<DecimalValue>(v);
    if (isDateType(t.type)) return std::holds_alternative<DateTimeValue>(v);
    if (isCharType(t.type)) return std::holds_alternative<std::string>(v);
    if (isNCharType(t.type)) return std::holds_alternative<std::u16string>(v);
    if (isBinaryType(t.type)) return std::holds_alternative<std::vector<uint8_t>>(v);
    return std::holds_alternative<Guid>(v);
}

// The committed state: what open transactions changed, seen as it was before them.
struct CommittedView {
    std::set<const Row*> uncommittedRows;
    std::map<const Row*, const std::vector<Value>*> previousValues;
    std::map<const Table*, std::vector<const Row*>> removedRows;
    std::set<const Table*> createdTables;
    std::vector<const Table*> droppedTables;

    explicit CommittedView(const std::vector<const UndoLog*>& logs) {
        for (const UndoLog* log : logs) {
            const auto& entries = log->entries();
            // Newest first, so the oldest previous value of a row is the one that stays.
            for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
                switch (it->kind) {
                case UndoEntry::Kind::Insert:
                    for (RowHandle h : it->inserted) uncommittedRows.insert(&*h);
                    break;
                case UndoEntry::Kind::Delete:
                    for (const Row& r : it->deleted) removedRows[it->table].push_back(&r);
                    break;
                case UndoEntry::Kind::Update:
                    for (const auto& [h, values] : it->previous) previousValues[&*h] = &values;
                    break;
                case UndoEntry::Kind::CreateTable: createdTables.insert(it->table); break;
                case UndoEntry::Kind::DropTable: droppedTables.push_back(it->dropped.get()); break;
                }
            }
        }
    }
};

void writeTable(Writer& w, const Table& t, const CommittedView& view) {
    w.str(t.name());
    w.u32(static_cast<uint32_t>(t.columns().size()));
    for (const auto& c : t.columns()) {
        w.str(c.column.name);
        w.u8(static_cast<uint8_t>(c.column.type.type));
        w.i32(c.column.type.length);
        w.i32(c.column.type.precision);
        w.i32(c.column.type.scale);
        w.u8(
            static_cast<uint8_t>((c.column.nullable ? 1 : 0) | (c.column.identity ? 2 : 0) | (c.defaultValue ? 4 : 0)));
        if (c.defaultValue) w.value(*c.defaultValue);
        w.str(c.column.type.collation ? c.column.type.collation->name : std::string());
        w.str(c.defaultName);
    }
    if (t.identity()) {
        w.u8(1);
        w.i64(t.identity()->seed);
        w.i64(t.identity()->increment);
        w.i64(t.identity()->last);
        w.u8(t.identity()->used ? 1 : 0);
    } else {
        w.u8(0);
    }
    w.u32(static_cast<uint32_t>(t.indexes().size()));
    for (const auto& index : t.indexes()) {
        w.str(index.name);
        w.u8(index.primary ? 1 : 0);
        w.u32(static_cast<uint32_t>(index.columns.size()));
        for (int c : index.columns) w.u32(static_cast<uint32_t>(c));
    }
    std::vector<const Row*> rows;
    rows.reserve(t.rowCount());
    for (auto it = t.rowsBegin(); it != t.rowsEnd(); ++it)
        if (!view.uncommittedRows.count(&*it)) rows.push_back(&*it);
    if (auto removed = view.removedRows.find(&t); removed != view.removedRows.end())
        for (const Row* r : removed->second)
            if (!view.uncommittedRows.count(r)) rows.push_back(r);
    w.u64(rows.size());
    for (const Row* r : rows) {
        auto prev = view.previousValues.find(r);
        const std::vector<Value>& values = prev != view.previousValues.end() ? *prev->second : r->values;
        for (const Value& v : values) w.value(v);
    }
}

}  // namespace

std::string DataFile::serialize(const Catalog& catalog, const std::vector<const UndoLog*>& uncommitted) {
    const CommittedView view(uncommitted);
    Writer payload;
    payload.u32(static_cast<uint32_t>(catalog.databases().size()));
    for (const auto& [name, db] : catalog.databases()) {
        payload.str(db.name);
        payload.str(db.collation ? db.collation->name : std::string());
        std::vector<const Table*> tables;
        for (const auto& [tname, t] : db.tables)
            if (!view.createdTables.count(t.get())) tables.push_back(t.get());
        for (const Table* t : view.droppedTables)
            if (t && t->database() == db.name && !view.createdTables.count(t)) tables.push_back(t);
        payload.u32(static_cast<uint32_t>(tables.size()));
        for (const Table* t : tables) writeTable(payload, *t, view);
    }
    Writer file;
    file.out.append(kMagic, sizeof kMagic);
    file.u32(kVersion);
    file.u64(payload.out.size());
    file.out += payload.out;
    file.u32(crc32(payload.out));
    return file.out;
}

Catalog DataFile::deserialize(const std::string& bytes, const std::string& path) {
    Reader header(bytes, 0, bytes.size(), path);
    if (bytes.size() < sizeof kMagic + 16 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        header.damaged("it is not a stand-in data file");
    Reader head(bytes, sizeof kMagic, bytes.size(), path);
    const uint32_t version = head.u32();
    if (version != kVersion && version != kPreviousVersion)
        header.damaged("unknown format version " + std::to_string(version));
    const uint64_t length = head.u64();
    const size_t payloadBegin = sizeof kMagic + 12;
    if (length != bytes.size() - payloadBegin - 4) header.damaged("its length does not match");
    const std::string_view payload = std::string_view(bytes).substr(payloadBegin, static_cast<size_t>(length));
    Reader tail(bytes, payloadBegin + static_cast<size_t>(length), bytes.size(), path);
    if (tail.u32() != crc32(payload)) header.damaged("checksum mismatch");

    Reader r(bytes, payloadBegin, payloadBegin + static_cast<size_t>(length), path);
    Catalog catalog;
    const uint32_t dbCount = r.u32();
    if (dbCount > 1000) r.damaged("too many databases");
    for (uint32_t d = 0; d < dbCount; ++d) {
        const std::string dbName = r.str();
        const Collation* dbCollation = version >= 2 ? collationNamed(r, r.str()) : nullptr;
        if (!catalog.findDatabase(dbName)) catalog.addDatabase(dbName, dbCollation);
        catalog.findDatabase(dbName)->collation = dbCollation;
        const std::string canonical = catalog.findDatabase(dbName)->name;
        const uint32_t tableCount = r.u32();
        for (uint32_t t = 0; t < tableCount; ++t) {
            const std::string name = r.str();
            const uint32_t columnCount = r.u32();
            if (columnCount == 0 || columnCount > 1024) r.damaged("table " + name + " has a bad column count");
            std::vector<TableColumn> columns;
            for (uint32_t c = 0; c < columnCount; ++c) {
                TableColumn col;
                col.column.name = r.str();
                const uint8_t type = r.u8();
                if (type > static_cast<uint8_t>(SqlType::UniqueIdentifier)) r.damaged("a column has an unknown type");
                col.column.type.type = static_cast<SqlType>(type);
                col.column.type.length = r.i32();
                col.column.type.precision = r.i32();
                col.column.type.scale = r.i32();
                if (col.column.type.length < -1 || col.column.type.length > 8000 || col.column.type.precision < 0 ||
                    col.column.type.precision > 38 || col.column.type.scale < 0 || col.column.type.scale > 38)
                    r.damaged("a column has a bad size");
                const uint8_t flags = r.u8();
                col.column.nullable = flags & 1;
                col.column.identity = flags & 2;
                if (flags & 4) {
                    col.defaultValue = r.value();
                    if (!fitsColumn(*col.defaultValue, col.column.type)) r.damaged("a default does not fit its column");
                }
                if (version >= 2) {
                    col.column.type.collation = collationNamed(r, r.str());
                    col.defaultName = r.str();
                }
                columns.push_back(std::move(col));
            }
            auto table = std::make_unique<Table>(canonical, name, std::move(columns));
            if (r.u8()) {
                if (!table->identity()) r.damaged("identity data for a table without identity column");
                table->identity()->seed = r.i64();
                table->identity()->increment = r.i64();
                table->identity()->last = r.i64();
                table->identity()->used = r.u8() != 0;
                if (table->identity()->increment == 0) r.damaged("an identity increment of zero");
            }
            const uint32_t indexCount = r.u32();
            if (indexCount > 64) r.damaged("too many keys");
            for (uint32_t i = 0; i < indexCount; ++i) {
                std::string indexName = r.str();
                const bool primary = r.u8() != 0;
                const uint32_t n = r.u32();
                if (n == 0 || n > columnCount) r.damaged("a key has a bad column count");
                std::vector<int> cols;
                for (uint32_t k = 0; k < n; ++k) {
                    const uint32_t c = r.u32();
                    if (c >= columnCount) r.damaged("a key names a missing column");
                    cols.push_back(static_cast<int>(c));
                }
                table->addIndex(std::move(indexName), primary, std::move(cols));
            }
            const size_t rowCount = r.count(columnCount);
            std::vector<std::vector<Value>> rows;
            rows.reserve(rowCount);
            for (size_t k = 0; k < rowCount; ++k) {
                std::vector<Value> values;
                values.reserve(columnCount);
                for (uint32_t c = 0; c < columnCount; ++c) {
                    Value v = r.value();
                    if (!fitsColumn(v, table->columns()[c].column.type)) r.damaged("a value does not fit its column");
                    values.push_back(std::move(v));
                }
                rows.push_back(std::move(values));
            }
            try {
                table->insertRows(std::move(rows));
            } catch (const SqlError&) {
                r.damaged("table " + name + " holds a duplicate key");
            }
            if (catalog.findTable(canonical, name)) r.damaged("table " + name + " appears twice");
            catalog.addTable(std::move(table));
        }
    }
    if (!r.atEnd()) r.damaged("unexpected data after the tables");
    for (const char* required : {"master", "lin2db", "lin2world"})
        if (!catalog.findDatabase(required)) catalog.addDatabase(required, nullptr);
    return catalog;
}

Catalog DataFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read the stand-in data file '" + path + "': " + std::strerror(errno));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw std::runtime_error("Cannot read the stand-in data file '" + path + "'.");
    return deserialize(buffer.str(), path);
}

void DataFile::save(const std::string& path, const Catalog& catalog, const std::vector<const UndoLog*>& uncommitted) {
    const std::string bytes = serialize(catalog, uncommitted);
    const std::string temp = path + ".tmp";
    auto fail = [&](const std::string& what) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        throw std::runtime_error("Cannot write the stand-in data file '" + path + "' (" + what + "): " + reason);
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fail("create");
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            fail("write");
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        fail("flush");
    }
    if (::close(fd) != 0) fail("close");
    if (::rename(temp.c_str(), path.c_str()) != 0) fail("rename");
    // The rename itself is made durable by flushing the folder.
    std::string dir = path;
    const auto slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace standin
