#include "tools/standin/sql/Table.h"

#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlValue.h"

#include <stdexcept>

namespace standin {

bool KeyLess::operator()(const std::vector<Value>& a, const std::vector<Value>& b) const {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const bool na = isNull(a[i]), nb = isNull(b[i]);
        if (na || nb) {
            if (na && nb) continue;
            return na;
        }
        const int c = compareValues(a[i], b[i], types[i]);
        if (c != 0) return c < 0;
    }
    return a.size() < b.size();
}

Table::Table(std::string database, std::string name, std::vector<TableColumn> columns)
    : database_(std::move(database)), name_(std::move(name)), columns_(std::move(columns)) {
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].column.identity) {
            IdentitySpec identity;
            identity.column = static_cast<int>(i);
            identity_ = identity;
        }
    }
}

int Table::findColumn(std::string_view name) const {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (compareText(columns_[i].column.name, name) == 0 && columns_[i].column.name.size() == name.size())
            return static_cast<int>(i);
    for (size_t i = 0; i < columns_.size(); ++i)
        if (compareText(columns_[i].column.name, name) == 0) return static_cast<int>(i);
    return -1;
}

void Table::addIndex(std::string name, bool primary, std::vector<int> columns) {
    KeyIndex index;
    index.name = std::move(name);
    index.primary = primary;
    index.columns = std::move(columns);
    KeyLess less;
    for (int c : index.columns) less.types.push_back(columns_[c].column.type);
    index.entries = std::map<std::vector<Value>, RowHandle, KeyLess>(less);
    if (primary) {
        for (int c : index.columns) columns_[c].column.nullable = false;
        indexes_.insert(indexes_.begin(), std::move(index));
    } else {
        indexes_.push_back(std::move(index));
    }
    // Rows already present are indexed too (tables are built empty, so this is for completeness).
    KeyIndex& added = primary ? indexes_.front() : indexes_.back();
    for (auto it = rows_.begin(); it != rows_.end(); ++it) added.entries.emplace(keyOf(added, *it), it);
}

const KeyIndex* Table::primaryIndex() const {
    return !indexes_.empty() && indexes_.front().primary ? &indexes_.front() : nullptr;
}

const KeyIndex* Table::singleColumnIndex(int column) const {
    for (const auto& index : indexes_)
        if (index.columns.size() == 1 && index.columns[0] == column) return &index;
    return nullptr;
}

int64_t Table::nextIdentity() {
    IdentitySpec& id = *identity_;
    id.last = id.used ? id.last + id.increment : id.seed;
    id.used = true;
    return id.last;
}

void Table::noteExplicitIdentity(int64_t value) {
    IdentitySpec& id = *identity_;
    if (!id.used || (id.increment > 0 ? value > id.last : value < id.last)) {
        id.last = value;
        id.used = true;
    }
}

std::vector<Value> Table::keyOf(const KeyIndex& index, const Row& row) const {
    std::vector<Value> key;
    key.reserve(index.columns.size());
    for (int c : index.columns) key.push_back(row.values[c]);
    return key;
}

std::string Table::keyText(const KeyIndex& index, const std::vector<Value>& key) const {
    std::string text;
    for (size_t i = 0; i < key.size(); ++i) {
        if (i) text += ", ";
        text += isNull(key[i]) ? "<NULL>" : valueText(key[i], columns_[index.columns[i]].column.type);
    }
    return text;
}

void Table::checkConsistency() const {
    auto fail = [&](const std::string& why) { throw std::logic_error("table " + fullName() + ": " + why); };
    for (const auto& index : indexes_) {
        if (index.entries.size() != rows_.size()) fail("index " + index.name + " does not hold every row");
        const auto& less = index.entries.key_comp();
        for (const auto& [key, handle] : index.entries) {
            const auto actual = keyOf(index, *handle);
            if (less(actual, key) || less(key, actual)) fail("index " + index.name + " holds a stale key");
        }
    }
    for (const Row& row : rows_) {
        if (row.values.size() != columns_.size()) fail("a row has the wrong number of values");
        for (size_t c = 0; c < columns_.size(); ++c) {
            const Value& v = row.values[c];
            const ColumnType& t = columns_[c].column.type;
            if (isNull(v)) {
                if (!columns_[c].column.nullable) fail("NULL in NOT NULL column " + columns_[c].column.name);
                continue;
            }
            bool fits = false;
            if (isIntegerType(t.type))
                fits = std::holds_alternative<int64_t>(v);
            else if (t.type == SqlType::Real || t.type == SqlType::Float)
                fits = std::holds_alternative<double>(v);
            else if (isDateType(t.type))
                fits = std::holds_alternative<DateTimeValue>(v);
            else if (isCharType(t.type))
                fits = std::holds_alternative<std::string>(v);
            else if (isNCharType(t.type))
                fits = std::holds_alternative<std::u16string>(v);
            else if (isBinaryType(t.type))
                fits = std::holds_alternative<std::vector<uint8_t>>(v);
            else if (t.type == SqlType::UniqueIdentifier)
                fits = std::holds_alternative<Guid>(v);
            else
                fits = std::holds_alternative<DecimalValue>(v);
            if (!fits) fail("a value of column " + columns_[c].column.name + " has the wrong kind");
        }
    }
}

void Table::indexRow(RowHandle row) {
    for (size_t i = 0; i < indexes_.size(); ++i) {
        KeyIndex& index = indexes_[i];
        auto key = keyOf(index, *row);
        auto [it, inserted] = index.entries.emplace(key, row);
        if (!inserted) {
            for (size_t j = 0; j < i; ++j) indexes_[j].entries.erase(keyOf(indexes_[j], *row));
            throw errors::duplicateKey(index.primary, index.name, schemaQualifiedName(), keyText(index, key));
        }
    }
}

void Table::unindexRow(RowHandle row) {
    for (auto& index : indexes_) {
        auto it = index.entries.find(keyOf(index, *row));
        if (it != index.entries.end() && it->second == row) index.entries.erase(it);
    }
}

std::vector<RowHandle> Table::insertRows(std::vector<std::vector<Value>> rows) {
    std::vector<RowHandle> added;
    added.reserve(rows.size());
    try {
        for (auto& values : rows) {
            rows_.push_back(Row{std::move(values)});
            RowHandle h = std::prev(rows_.end());
            try {
                indexRow(h);
            } catch (...) {
                rows_.erase(h);
                throw;
            }
            added.push_back(h);
        }
    } catch (...) {
        removeRows(added);
        throw;
    }
    return added;
}

void Table::removeRows(const std::vector<RowHandle>& rows) {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        unindexRow(*it);
        rows_.erase(*it);
    }
}

void Table::updateRows(std::vector<std::pair<RowHandle, std::vector<Value>>>& changes) {
    // Keys are checked for the statement as a whole, as SQL Server does: all old keys leave the
    // indexes first, then the new ones go in.
    for (auto& [row, values] : changes) unindexRow(row);
    for (auto& [row, values] : changes) row->values.swap(values);
    size_t done = 0;
    try {
        for (; done < changes.size(); ++done) indexRow(changes[done].first);
    } catch (...) {
        for (size_t i = 0; i < done; ++i) unindexRow(changes[i].first);
        for (auto& [row, values] : changes) row->values.swap(values);
        for (auto& [row, values] : changes) indexRow(row);
        throw;
    }
}

RowList Table::deleteRows(const std::vector<RowHandle>& rows) {
    RowList removed;
    for (RowHandle h : rows) {
        unindexRow(h);
        removed.splice(removed.end(), rows_, h);
    }
    return removed;
}

void Table::restoreRows(RowList& rows) {
    while (!rows.empty()) {
        RowHandle h = rows.begin();
        rows_.splice(rows_.end(), rows, h);
        indexRow(h);
    }
}

}  // namespace standin
