#pragma once
// The server's databases, each with its default collation, and their tables. Names compare
// case-insensitively, as under the default collation. Starts with master, lin2db and lin2world,
// without tables; the engine builds the account tables by running its schema script.
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/Table.h"

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
    const Collation* collation = nullptr;  // what new columns and literals take; null: the default
    std::map<std::string, std::unique_ptr<Table>, NameLess> tables;
};

// A table or one of its named constraints as sysobjects and OBJECT_ID see it.
struct CatalogObject {
    std::string name;
    int32_t id = 0;
    std::string type;    // "U", "PK", "UQ", "D"
    int32_t parent = 0;  // the table's id for a constraint
};

class Catalog {
public:
    // The three databases, without tables, in the server's collation (null: the default one).
    explicit Catalog(const Collation* serverCollation = nullptr);

    const Collation* serverCollation() const { return serverCollation_; }
    Database& addDatabase(const std::string& name, const Collation* collation);

    Database* findDatabase(std::string_view name);
    const Database* findDatabase(std::string_view name) const;
    std::map<std::string, Database, NameLess>& databases() { return databases_; }
    const std::map<std::string, Database, NameLess>& databases() const { return databases_; }

    Table* findTable(std::string_view database, std::string_view table);
    // Every object of the database; ids are stable for a name, as they are across a restart here.
    std::vector<CatalogObject> objects(const Database& database) const;
    static int32_t objectId(std::string_view database, std::string_view name);
    Table& addTable(std::unique_ptr<Table> table);
    std::unique_ptr<Table> removeTable(std::string_view database, std::string_view table);

    // Tables dropped while a transaction may still refer to them stay alive here until no
    // transaction is open.
    void retire(std::unique_ptr<Table> table) { retired_.push_back(std::move(table)); }
    void clearRetired() { retired_.clear(); }

private:
    const Collation* serverCollation_ = nullptr;
    std::map<std::string, Database, NameLess> databases_;
    std::vector<std::unique_ptr<Table>> retired_;
};

// Builds a column description.
TableColumn makeColumn(std::string name, const ColumnType& type, bool nullable, bool identity = false);

}  // namespace standin
