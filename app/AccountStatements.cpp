#include "app/AccountStatements.h"

#include "app/SqlQuote.h"
#include "data/MSAccess.h"
#include "data/MSQuery.h"

namespace AccountSql {

namespace {

// The account name as it goes between single quotes.
std::string Quoted(std::string_view name) { return "'" + QuoteInner(name) + "'"; }

std::string Text(std::string_view piece) { return std::string(piece); }

}  // namespace

std::string ExistenceCheck(std::string_view login) {
    return "SELECT * FROM lin2db.dbo.user_auth WHERE account = " + Quoted(login);
}

std::string ReplacePassword(std::string_view hash, std::string_view login) {
    return "UPDATE lin2db.dbo.user_auth SET password = " + Text(hash) +
           ",quiz1 = '',answer1 = 0x0,quiz2 = '',answer2 = 0x0 WHERE account = " + Quoted(login);
}

std::string NewLoginRow(std::string_view login, std::string_view hash) {
    return "INSERT INTO lin2db.dbo.user_auth VALUES (" + Quoted(login) + "," + Text(hash) + ",'','',0x0,0x0)";
}

std::string NewAccountRow(std::string_view login) {
    return "INSERT INTO lin2db.dbo.user_account VALUES (" + Quoted(login) +
           ",1,0,0,0,0,null,null,null,0,null,null,null)";
}

std::string UidLookup(std::string_view account) {
    return "SELECT uid FROM lin2db.dbo.user_account WHERE account = " + Quoted(account);
}

std::string AddGameMaster(std::string_view account, std::string_view level, std::string_view uid) {
    return "INSERT INTO lin2world.dbo.builder_account VALUES (" + Quoted(account) + "," + Text(level) + "," +
           Text(uid) + ")";
}

std::string ListLoad() { return "SELECT account FROM lin2db.dbo.user_auth"; }

std::string BlockFlagsRead(std::string_view account) {
    return "SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = " + Quoted(account);
}

std::string GameMasterRead(std::string_view account) {
    return "SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = " + Quoted(account);
}

std::string RemoveGameMaster(std::string_view account) {
    return "DELETE FROM lin2world.dbo.builder_account WHERE account_name = " + Quoted(account);
}

std::string ChangeLevel(std::string_view level, std::string_view account) {
    return "UPDATE lin2world.dbo.builder_account SET default_builder = " + Text(level) +
           " WHERE account_name = " + Quoted(account);
}

std::string BlockFlagsWrite(bool flag1, bool flag2, std::string_view account) {
    return std::string("UPDATE lin2db.dbo.user_account SET block_flag = ") + (flag1 ? "1" : "0") +
           ",block_flag2 = " + (flag2 ? "1" : "0") + " WHERE account = " + Quoted(account);
}

void OpenQuery(TMSQuery& query, const std::string& sql) {
    query.SQL().SetText(sql);
    query.Open();
}

int RunStatement(TMSQuery& query, const std::string& sql) {
    query.SQL().SetText(sql);
    query.Execute();
    return query.AffectedRows();
}

std::optional<std::string> LookUpUid(TMSQuery& query, std::string_view account) {
    query.Close();
    OpenQuery(query, UidLookup(account));
    std::optional<std::string> uid;
    if (!query.EndOfData()) uid = query.Fields()[0].AsString();
    query.Close();
    return uid;
}

void RunAllOrNothing(TMSQuery& query, const std::function<void()>& action) {
    TMSConnection& connection = *query.Connection();
    // Connected on demand, as the query itself would be at its first statement.
    if (!connection.Connected()) connection.Connect();
    connection.StartTransaction();
    try {
        action();
    } catch (...) {
        // The action's own error is the one the operator is shown. A lost link has already closed the
        // connection (and the server rolls back what it held); otherwise the rollback is sent here,
        // and a failure of it cannot add anything the first error has not said.
        if (connection.InTransaction()) {
            try {
                connection.Rollback();
            } catch (const Exception&) {}
        }
        throw;
    }
    connection.Commit();
}

}  // namespace AccountSql
