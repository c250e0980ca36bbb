#include "tools/standin/sql/DemoData.h"

#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/Utf.h"

#include <random>
#include <unordered_set>

namespace standin {

namespace {

const char* kStems[] = {"alice",  "bob",    "carol",   "dave",   "erin",    "frank",  "grace", "heidi",
                        "ivan",   "judy",   "mallory", "nika",   "oscar",   "peggy",  "quinn", "rupert",
                        "sybil",  "trent",  "ursula",  "victor", "wendy",   "xena",   "yuri",  "zelda",
                        "dragon", "shadow", "knight",  "hunter", "mage",    "archer", "storm", "raven",
                        "wolf",   "elf",    "dwarf",   "orc",    "paladin", "rogue",  "sage",  "titan"};

std::string loginFor(int i, std::mt19937& rng) {
    const std::string stem = kStems[rng() % (sizeof kStems / sizeof kStems[0])];
    std::string name;
    switch (rng() % 4) {
    case 0: name = stem + std::to_string(i); break;
    case 1: name = stem + "_" + std::to_string(i); break;
    case 2: name = "x" + stem + std::to_string(i % 1000) + "x" + std::to_string(i / 1000); break;
    default: name = stem + std::to_string(1970 + (i % 50)) + std::to_string(i / 50); break;
    }
    if (name.size() > 14) name = stem.substr(0, 4) + std::to_string(i);
    return name.substr(0, 14);
}

}  // namespace

bool seedDemoAccounts(Catalog& catalog, int n) {
    Table* auth = catalog.findTable("lin2db", "user_auth");
    Table* account = catalog.findTable("lin2db", "user_account");
    Table* builder = catalog.findTable("lin2world", "builder_account");
    if (!auth || !account || !builder || n <= 0) return false;
    if (auth->rowCount() != 0 || account->rowCount() != 0) return false;

    std::mt19937 rng(20240601u);
    std::unordered_set<std::string> used;
    used.reserve(static_cast<size_t>(n));
    std::vector<std::vector<Value>> authRows, accountRows, builderRows;
    authRows.reserve(n);
    accountRows.reserve(n);
    const std::vector<uint8_t> emptyAnswer(32, 0);
    for (int i = 1; i <= n; ++i) {
        std::string login = loginFor(i, rng);
        while (used.count(login))
            login = ("u" + std::to_string(i) + "_" + std::to_string(rng() % 100000)).substr(0, 14);
        used.insert(login);

        std::vector<uint8_t> hash(16);
        for (auto& b : hash) b = static_cast<uint8_t>(1 + rng() % 255);  // password hashes never hold a zero byte
        authRows.push_back({login, hash, std::string(), std::string(), emptyAnswer, emptyAnswer});

        const int64_t uid = account->nextIdentity();
        const bool blocked = rng() % 7 == 0;
        const bool blocked2 = rng() % 11 == 0;
        const bool loggedIn = rng() % 3 != 0;
        Value lastLogin, lastLogout, lastWorld, lastIp, lastGame, blockEnd;
        if (loggedIn) {
            const int day = static_cast<int>(rng() % 28) + 1, month = static_cast<int>(rng() % 12) + 1;
            lastLogin = makeDateTime(2023, month, day, static_cast<int>(rng() % 24), static_cast<int>(rng() % 60));
            DateTimeValue out = std::get<DateTimeValue>(lastLogin);
            out.ticks =
                std::min<uint32_t>(out.ticks + 300u * 60u * static_cast<uint32_t>(1 + rng() % 240), 300u * 86400u - 1);
            lastLogout = out;
            lastWorld = int64_t(1 + rng() % 3);
            lastIp = "10." + std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) + "." +
                     std::to_string(1 + rng() % 254);
            lastGame = int64_t(rng() % 2);
        }
        if (blocked && rng() % 2 == 0) blockEnd = makeDateTime(2030, 1 + static_cast<int>(rng() % 12), 1);
        // In the game server's column order.
        accountRows.push_back({uid, login, int64_t(rng() % 5 == 0 ? 0 : 1), int64_t(0),
                               int64_t(rng() % 13 == 0 ? 1 : 0), int64_t(blocked ? 1 : 0), int64_t(blocked2 ? 1 : 0),
                               blockEnd, lastLogin, lastLogout, int64_t(0), lastWorld, lastGame, lastIp});
        if (i % 20 == 1) builderRows.push_back({utf8ToUtf16(login), int64_t(1 + rng() % 9), uid});
    }
    auth->insertRows(std::move(authRows));
    account->insertRows(std::move(accountRows));
    if (builder->rowCount() == 0) builder->insertRows(std::move(builderRows));
    return true;
}

}  // namespace standin
