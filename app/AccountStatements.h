#pragma once
// The SQL text of every statement the "Create" and "Edit" pages send, built by concatenation exactly as
// the game server's tools have always sent it. Account names are the only text pasted between single
// quotes; each single quote in them is doubled (QuoteInner), so a name such as O'Brien is stored and
// found as itself while statements for ordinary names stay byte for byte the same. Hashes, levels,
// flags and uids go in unquoted: they come from the hash, the level field, the check boxes and the
// server, never from free text.
#include "common/Exception.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class TMSQuery;

namespace AccountSql {

// "Create" page.
std::string ExistenceCheck(std::string_view login);
std::string ReplacePassword(std::string_view hash, std::string_view login);
std::string NewLoginRow(std::string_view login, std::string_view hash);
std::string NewAccountRow(std::string_view login);

// Both pages.
std::string UidLookup(std::string_view account);
std::string AddGameMaster(std::string_view account, std::string_view level, std::string_view uid);

// "Edit" page.
std::string ListLoad();
std::string BlockFlagsRead(std::string_view account);
std::string GameMasterRead(std::string_view account);
std::string RemoveGameMaster(std::string_view account);
std::string ChangeLevel(std::string_view level, std::string_view account);
std::string BlockFlagsWrite(bool flag1, bool flag2, std::string_view account);

// The two ways a statement reaches the server through the window's one query component.
// A query: set the text (which closes the previous result) and open it.
void OpenQuery(TMSQuery& query, const std::string& sql);
// The run statement step: set the text and execute it without opening a result; returns the rows it
// changed.
int RunStatement(TMSQuery& query, const std::string& sql);

// The uid of the account's user_account row; nullopt when there is none.
std::optional<std::string> LookUpUid(TMSQuery& query, std::string_view account);

// Raised when an action finds that its account has no row to act on; the action's transaction is
// rolled back and the operator is told "Unable to find corresponding account.".
class ENoAccount : public Exception {
public:
    ENoAccount() : Exception("Unable to find corresponding account.") {}
};

// Runs action inside one transaction on the query's connection: committed when it returns, rolled back
// when it raises (the error then goes on as it was).
void RunAllOrNothing(TMSQuery& query, const std::function<void()>& action);

}  // namespace AccountSql
