#pragma once
// Demo accounts for the stand-in: realistic login names, 16-byte password hashes, a mix of block
// flags and some game-master rows with levels 1 to 9.
#include "tools/standin/sql/Catalog.h"

namespace standin {

// Adds n accounts when user_auth and user_account are both empty; returns whether it added any.
// The same n always gives the same accounts.
bool seedDemoAccounts(Catalog& catalog, int n);

}  // namespace standin
