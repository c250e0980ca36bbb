#include "tools/standin/Catalog.h"

#include "tools/standin/Collation.h"
#include "tools/standin/SqlValue.h"

namespace standin {

bool NameLess::operator()(std::string_view a, std::string_view b) const { return compareText(a, b) < 0; }

TableColumn makeColumn(std::string name, ColumnType type, bool nullable, bool identity) {
    TableColumn c;
    c.column.name = std::move(name);
    c.column.type = type;
    c.column.nullable = nullable;
    c.column.identity = identity;
    return c;
}

Catalog::Catalog() {
    for (const char* name : {"master", "lin2db", "lin2world"}) databases_[name].name = name;
}

Catalog Catalog::withAccountTables() {
    Catalog catalog;
    const ColumnType intType = makeType(SqlType::Int);
    {
        std::vector<TableColumn> cols = {
            makeColumn("account", makeType(SqlType::VarChar, 14), false),
            makeColumn("password", makeType(SqlType::Binary, 16), false),
            makeColumn("quiz1", makeType(SqlType::VarChar, 255), false),
            makeColumn("quiz2", makeType(SqlType::VarChar, 255), false),
            makeColumn("answer1", makeType(SqlType::Binary, 32), false),
            makeColumn("answer2", makeType(SqlType::Binary, 32), false),
        };
        auto t = std::make_unique<Table>("lin2db", "user_auth", std::move(cols));
        t->addIndex("PK_user_auth", true, {0});
        catalog.addTable(std::move(t));
    }
    {
        std::vector<TableColumn> cols = {
            makeColumn("uid", intType, false, true),
            makeColumn("account", makeType(SqlType::VarChar, 14), false),
            makeColumn("pay_stat", intType, true),
            makeColumn("login_flag", intType, true),
            makeColumn("warn_flag", intType, true),
            makeColumn("block_flag", intType, true),
            makeColumn("block_flag2", intType, true),
            makeColumn("last_login", makeType(SqlType::DateTime), true),
            makeColumn("last_logout", makeType(SqlType::DateTime), true),
            makeColumn("last_world", makeType(SqlType::TinyInt), true),
            makeColumn("subscription_flag", intType, true),
            makeColumn("last_ip", makeType(SqlType::VarChar, 15), true),
            makeColumn("last_game", intType, true),
            makeColumn("block_end_date", makeType(SqlType::DateTime), true),
        };
        auto t = std::make_unique<Table>("lin2db", "user_account", std::move(cols));
        t->addIndex("UQ_user_account_account", false, {1});
        catalog.addTable(std::move(t));
    }
    {
        std::vector<TableColumn> cols = {
            makeColumn("account_name", makeType(SqlType::VarChar, 50), false),
            makeColumn("default_builder", intType, true),
            makeColumn("account_id", intType, true),
        };
        auto t = std::make_unique<Table>("lin2world", "builder_account", std::move(cols));
        t->addIndex("PK_builder_account", true, {0});
        catalog.addTable(std::move(t));
    }
    return catalog;
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
