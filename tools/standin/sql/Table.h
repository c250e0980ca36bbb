#pragma once
// One table: its columns, its rows and its key indexes (primary key and unique constraints). Every
// change is all-or-nothing: a duplicate key anywhere leaves the table as it was.
#include "tools/standin/sql/Engine.h"

#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct Row {
    std::vector<Value> values;
};
using RowList = std::list<Row>;  // nodes never move, so indexes and undo records can point at them
using RowHandle = RowList::iterator;

struct TableColumn {
    Column column;
    std::optional<Value> defaultValue;  // already in the column's type
    std::string defaultName;            // the DEFAULT constraint's name, when it was given one
};

struct IdentitySpec {
    int column = -1;
    int64_t seed = 1;
    int64_t increment = 1;
    int64_t last = 0;   // the last value handed out (or inserted explicitly)
    bool used = false;  // whether any value was handed out yet
};

// Orders key tuples by the columns' types under the default collation; NULL first and equal to NULL.
struct KeyLess {
    std::vector<ColumnType> types;
    bool operator()(const std::vector<Value>& a, const std::vector<Value>& b) const;
};

struct KeyIndex {
    std::string name;
    bool primary = false;
    std::vector<int> columns;
    std::map<std::vector<Value>, RowHandle, KeyLess> entries;
};

class Table {
public:
    Table(std::string database, std::string name, std::vector<TableColumn> columns);

    const std::string& name() const { return name_; }
    const std::string& database() const { return database_; }
    std::string schemaQualifiedName() const { return "dbo." + name_; }    // 2627
    std::string fullName() const { return database_ + ".dbo." + name_; }  // 515
    const std::vector<TableColumn>& columns() const { return columns_; }
    int findColumn(std::string_view name) const;  // -1 when missing; case-insensitive
    size_t rowCount() const { return rows_.size(); }

    void addIndex(std::string name, bool primary, std::vector<int> columns);
    const std::vector<KeyIndex>& indexes() const { return indexes_; }
    const KeyIndex* primaryIndex() const;
    // The index whose only column is column, if any.
    const KeyIndex* singleColumnIndex(int column) const;

    std::optional<IdentitySpec>& identity() { return identity_; }
    const std::optional<IdentitySpec>& identity() const { return identity_; }
    int64_t nextIdentity();                    // hands out the next value; never given back
    void noteExplicitIdentity(int64_t value);  // an explicit value moves the counter forward

    // Visits the rows in the order a scan returns them: primary key order when there is one (as a
    // clustered index), else the order of insertion. f returns false to stop.
    template <typename F>
    void forEachRow(F&& f) const {
        if (const KeyIndex* pk = primaryIndex()) {
            for (const auto& [key, handle] : pk->entries)
                if (!f(handle)) return;
        } else {
            for (auto it = rowsBegin(); it != rowsEnd(); ++it)
                if (!f(it)) return;
        }
    }
    RowHandle rowsBegin() const { return const_cast<RowList&>(rows_).begin(); }
    RowHandle rowsEnd() const { return const_cast<RowList&>(rows_).end(); }

    // All-or-nothing changes; each throws SqlError 2627 on a duplicate key and then changes nothing.
    std::vector<RowHandle> insertRows(std::vector<std::vector<Value>> rows);
    // Replaces the values of each row; on success each pair holds the row's previous values.
    void updateRows(std::vector<std::pair<RowHandle, std::vector<Value>>>& changes);
    // Takes rows out (still alive, in the returned list) and gives them back.
    RowList deleteRows(const std::vector<RowHandle>& rows);
    void restoreRows(RowList& rows);
    void removeRows(const std::vector<RowHandle>& rows);  // undo of an insert

    // Throws std::logic_error when an index disagrees with the rows or a value does not fit its column.
    void checkConsistency() const;

    std::vector<Value> keyOf(const KeyIndex& index, const Row& row) const;
    std::string keyText(const KeyIndex& index, const std::vector<Value>& key) const;

private:
    void indexRow(RowHandle row);  // throws on a duplicate, leaving no entry of this row
    void unindexRow(RowHandle row);

    std::string database_;
    std::string name_;
    std::vector<TableColumn> columns_;
    std::optional<IdentitySpec> identity_;
    std::vector<KeyIndex> indexes_;
    RowList rows_;
};

}  // namespace standin
