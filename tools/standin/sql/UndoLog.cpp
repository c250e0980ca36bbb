#include "tools/standin/sql/UndoLog.h"

#include "tools/standin/sql/Catalog.h"

namespace standin {

void UndoLog::recordInsert(Table& table, std::vector<RowHandle> rows) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::Insert;
    e.table = &table;
    e.inserted = std::move(rows);
    entries_.push_back(std::move(e));
}

void UndoLog::recordDelete(Table& table, RowList rows) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::Delete;
    e.table = &table;
    e.deleted = std::move(rows);
    entries_.push_back(std::move(e));
}

void UndoLog::recordUpdate(Table& table, std::vector<std::pair<RowHandle, std::vector<Value>>> previous) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::Update;
    e.table = &table;
    e.previous = std::move(previous);
    entries_.push_back(std::move(e));
}

void UndoLog::recordCreate(Table& table) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::CreateTable;
    e.table = &table;
    entries_.push_back(std::move(e));
}

void UndoLog::recordDrop(std::unique_ptr<Table> table) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::DropTable;
    e.table = table.get();
    e.dropped = std::move(table);
    entries_.push_back(std::move(e));
}

void UndoLog::rollback(Catalog& catalog) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        UndoEntry& e = *it;
        switch (e.kind) {
        case UndoEntry::Kind::Insert: e.table->removeRows(e.inserted); break;
        case UndoEntry::Kind::Delete: e.table->restoreRows(e.deleted); break;
        case UndoEntry::Kind::Update: e.table->updateRows(e.previous); break;
        case UndoEntry::Kind::CreateTable:
            if (auto owned = catalog.removeTable(e.table->database(), e.table->name()))
                catalog.retire(std::move(owned));
            break;
        case UndoEntry::Kind::DropTable: catalog.addTable(std::move(e.dropped)); break;
        }
    }
    entries_.clear();
}

void UndoLog::commit(Catalog& catalog) {
    for (auto& e : entries_)
        if (e.dropped) catalog.retire(std::move(e.dropped));
    entries_.clear();
}

void UndoLog::append(UndoLog&& other) {
    for (auto& e : other.entries_) entries_.push_back(std::move(e));
    other.entries_.clear();
}

}  // namespace standin
