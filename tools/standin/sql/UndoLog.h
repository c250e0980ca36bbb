#pragma once
// What a transaction changed, newest last, so that a rollback can take it back and the data file
// can be written without changes nobody has committed yet.
#include "tools/standin/sql/Table.h"

#include <memory>
#include <string>
#include <vector>

namespace standin {

class Catalog;

struct UndoEntry {
    enum class Kind { Insert, Delete, Update, CreateTable, DropTable } kind = Kind::Insert;
    Table* table = nullptr;
    std::vector<RowHandle> inserted;                                 // Insert
    RowList deleted;                                                 // Delete: the rows taken out
    std::vector<std::pair<RowHandle, std::vector<Value>>> previous;  // Update: rows and their old values
    std::unique_ptr<Table> dropped;                                  // DropTable
};

class UndoLog {
public:
    void recordInsert(Table& table, std::vector<RowHandle> rows);
    void recordDelete(Table& table, RowList rows);
    void recordUpdate(Table& table, std::vector<std::pair<RowHandle, std::vector<Value>>> previous);
    void recordCreate(Table& table);
    void recordDrop(std::unique_ptr<Table> table);

    bool empty() const { return entries_.empty(); }
    const std::vector<UndoEntry>& entries() const { return entries_; }
    // Takes every change back, newest first; dropped tables come back, created ones go away.
    void rollback(Catalog& catalog);
    // Forgets the changes (commit); dropped tables are handed to the catalog to retire.
    void commit(Catalog& catalog);
    // Moves another log's entries to the end of this one (a statement joining its transaction).
    void append(UndoLog&& other);

private:
    std::vector<UndoEntry> entries_;
};

}  // namespace standin
