#include "tools/standin/sql/Catalog.h"

#include "tools/standin/sql/Collation.h"

#include <cctype>

namespace standin {

bool NameLess::operator()(std::string_view a, std::string_view b) const { return compareText(a, b) < 0; }

TableColumn makeColumn(std::string name, const ColumnType& type, bool nullable, bool identity) {
    TableColumn c;
    c.column.name = std::move(name);
    c.column.type = type;
    c.column.nullable = nullable;
    c.column.identity = identity;
    return c;
}

Catalog::Catalog(const Collation* serverCollation) : serverCollation_(serverCollation) {
    for (const char* name : {"master", "lin2db", "lin2world"}) addDatabase(name, serverCollation);
}

Database& Catalog::addDatabase(const std::string& name, const Collation* collation) {
    Database& db = databases_[name];
    db.name = name;
    db.collation = collation;
    return db;
}

Database* Catalog::findDatabase(std::string_view name) {
    auto it = databases_.find(name);
    return it == databases_.end() ? nullptr : &it->second;
}

const Database* Catalog::findDatabase(std::string_view name) const {
    auto it = databases_.find(name);
    return it == databases_.end() ? nullptr : &it->second;
}

Table* Catalog::findTable(std::string_view database, std::string_view table) {
    Database* db = findDatabase(database);
    if (!db) return nullptr;
    auto it = db->tables.find(table);
    return it == db->tables.end() ? nullptr : it->second.get();
}

int32_t Catalog::objectId(std::string_view database, std::string_view name) {
    // A hash of the lower-case name, past the ids SQL Server keeps for its own objects.
    uint32_t h = 2166136261u;
    auto mix = [&](std::string_view text) {
        for (char c : text)
            h = (h ^ static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)))) * 16777619u;
    };
    mix(database);
    mix(".");
    mix(name);
    return static_cast<int32_t>(1000000 + h % 2000000000u);
}

std::vector<CatalogObject> Catalog::objects(const Database& database) const {
    std::vector<CatalogObject> out;
    for (const auto& [name, table] : database.tables) {
        const int32_t id = objectId(database.name, table->name());
        out.push_back({table->name(), id, "U", 0});
        for (const auto& index : table->indexes())
            out.push_back({index.name, objectId(database.name, index.name), index.primary ? "PK" : "UQ", id});
        for (const auto& column : table->columns())
            if (!column.defaultName.empty())
                out.push_back({column.defaultName, objectId(database.name, column.defaultName), "D", id});
    }
    return out;
}

Table& Catalog::addTable(std::unique_ptr<Table> table) {
    Database& db = databases_.at(table->database());
    Table& ref = *table;
    db.tables[table->name()] = std::move(table);
    return ref;
}

std::unique_ptr<Table> Catalog::removeTable(std::string_view database, std::string_view table) {
    Database* db = findDatabase(database);
    if (!db) return nullptr;
    auto it = db->tables.find(table);
    if (it == db->tables.end()) return nullptr;
    auto owned = std::move(it->second);
    db->tables.erase(it);
    return owned;
}

}  // namespace standin
