#pragma once
// The server's databases and their tables. Names compare case-insensitively, as under the default
// collation. Starts with master, lin2db and lin2world and the account tables.
#include "tools/standin/Table.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

struct Database {
    std::string name;
    std::map<std::string, std::unique_ptr<Table>, NameLess> tables;
};

class Catalog {
public:
    Catalog();                        // the three databases, without tables
    static Catalog withAccountTables();

    Database* findDatabase(std::string_view name);
    const Database* findDatabase(std::string_view name) const;
    std::map<std::string, Database, NameLess>& databases() { return databases_; }
    const std::map<std::string, Database, NameLess>& databases() const { return databases_; }

    Table* findTable(std::string_view database, std::string_view table);
    Table& addTable(std::unique_ptr<Table> table);
    std::unique_ptr<Table> removeTable(std::string_view database, std::string_view table);

    // Tables dropped while a transaction may still refer to them stay alive here until no
    // transaction is open.
    void retire(std::unique_ptr<Table> table) { retired_.push_back(std::move(table)); }
    void clearRetired() { retired_.clear(); }

private:
    std::map<std::string, Database, NameLess> databases_;
    std::vector<std::unique_ptr<Table>> retired_;
};

// Builds a column description.
TableColumn makeColumn(std::string name, ColumnType type, bool nullable, bool identity = false);

}  // namespace standin
