#include "framework/ItemOrder.h"

#include "framework/Ansi.h"

#include "common/CodePage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t NoRank = 0xFFFF;

// The characters that one byte of the code page in use stands for: all 256 in a single-byte code
// page, ASCII in a double-byte one (a byte above 127 there starts a character of two).
std::vector<char16_t> SingleByteCharacters(bool singleByte) {
    const TAnsiDecoder decode;
    std::vector<char16_t> characters;
    for (int byte = 0; byte < (singleByte ? 256 : 128); ++byte) {
        const char ansi = static_cast<char>(byte);
        const QString character = decode(std::string_view(&ansi, 1));
        characters.push_back(character.size() == 1 ? character.at(0).unicode() : u'\uFFFD');
    }
    return characters;
}

// For each UTF-16 code unit that one byte of the code page stands for (the names the program lists):
// the place of its case-folded form among the case-folded forms of all of them, so that comparing
// places compares folded characters. NoRank for every other code unit. Then the rank of each byte of
// a single-byte code page: that of the character it decodes to.
struct TRankTables {
    std::array<std::uint16_t, 0x10000> Characters;
    std::array<std::uint16_t, 256> Bytes;
    bool SingleByte = true;
};

std::unique_ptr<TRankTables> BuildRankTables() {
    auto tables = std::make_unique<TRankTables>();
    tables->SingleByte = !codepage::IsDoubleByte(codepage::Active());
    tables->Characters.fill(NoRank);
    tables->Bytes.fill(NoRank);
    const std::vector<char16_t> characters = SingleByteCharacters(tables->SingleByte);
    std::vector<char16_t> folded;
    for (const char16_t character : characters) folded.push_back(static_cast<char16_t>(QChar::toCaseFolded(character)));
    std::vector<char16_t> order = folded;
    std::sort(order.begin(), order.end());
    order.erase(std::unique(order.begin(), order.end()), order.end());
    // A rank plus one has to fit a byte; otherwise every name takes the slow path.
    if (order.size() > 255) return tables;
    for (size_t i = 0; i < characters.size(); ++i)
        tables->Characters[characters[i]] =
            static_cast<std::uint16_t>(std::lower_bound(order.begin(), order.end(), folded[i]) - order.begin());
    if (tables->SingleByte)
        for (size_t byte = 0; byte < characters.size(); ++byte)
            tables->Bytes[byte] = tables->Characters[characters[byte]];
    return tables;
}

// The tables of the code page in use, worked out once per code page.
const TRankTables& RankTables() {
    static std::mutex mutex;
    static std::map<unsigned, std::unique_ptr<const TRankTables>> tables;
    const std::lock_guard lock(mutex);
    auto& entry = tables[codepage::Active()];
    if (!entry) entry = BuildRankTables();
    return *entry;
}

// Names up to this long (the account column holds 14) are sorted by a fixed-size key.
constexpr qsizetype KeyLength = 16;

// The key of a name: one byte per character, its rank plus one (there are fewer than 255 distinct
// folded forms), then zero bytes. A zero sorts before every character, so a name sorts after its own
// beginning, as the texts do. Compared as two big-endian numbers: a sort of a million names moves and
// compares small plain values and never follows a pointer.
struct TRankKey {
    std::uint64_t High = 0;
    std::uint64_t Low = 0;
    qsizetype Index = 0;

    bool operator<(const TRankKey& other) const {
        if (High != other.High) return High < other.High;
        if (Low != other.Low) return Low < other.Low;
        return Index < other.Index;  // equal names keep their order
    }
};

// Builds the key from the rank of each character (given by rankOf), or returns false when the name is
// too long for a key or holds a character without a rank.
template <typename Name, typename RankOf>
bool MakeRankKey(const Name& name, qsizetype index, RankOf rankOf, TRankKey& key) {
    if (static_cast<qsizetype>(name.size()) > KeyLength) return false;
    std::uint64_t words[2] = {0, 0};
    for (qsizetype i = 0; i < static_cast<qsizetype>(name.size()); ++i) {
        const std::uint16_t rank = rankOf(name[i]);
        if (rank == NoRank) return false;
        words[i / 8] |= static_cast<std::uint64_t>(rank + 1) << (8 * (7 - i % 8));
    }
    key = {words[0], words[1], index};
    return true;
}

// Sorts the keys and moves the items into their order.
template <typename List>
void ApplyKeyOrder(std::vector<TRankKey>& keys, List& items) {
    // Keys are unique (the position breaks ties), so an unstable sort gives the stable order.
    std::sort(keys.begin(), keys.end());
    List sorted;
    sorted.reserve(items.size());
    for (const TRankKey& key : keys) sorted.push_back(std::move(items[key.Index]));
    items = std::move(sorted);
}

}  // namespace

bool ItemSortsBefore(const QString& left, const QString& right) {
    return QString::compare(left, right, Qt::CaseInsensitive) < 0;
}

void SortItems(QStringList& items) {
    const auto& ranks = RankTables().Characters;
    const auto rankOf = [&ranks](QChar character) { return ranks[character.unicode()]; };
    std::vector<TRankKey> keys(static_cast<size_t>(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!MakeRankKey(items.at(i), i, rankOf, keys[static_cast<size_t>(i)])) {
            // A long name or a character without a rank: compare the texts themselves.
            std::stable_sort(items.begin(), items.end(), ItemSortsBefore);
            return;
        }
    }
    ApplyKeyOrder(keys, items);
}

void SortAnsiItems(std::vector<std::string>& names) {
    const TRankTables& tables = RankTables();
    const auto& ranks = tables.Bytes;
    const auto rankOf = [&ranks](char byte) { return ranks[static_cast<unsigned char>(byte)]; };
    std::vector<TRankKey> keys(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        // In a double-byte code page a byte is not a character: the texts are compared.
        if (!tables.SingleByte || !MakeRankKey(names[i], static_cast<qsizetype>(i), rankOf, keys[i])) {
            // A long name: compare the decoded texts themselves.
            const TAnsiDecoder decode;
            std::vector<QString> texts;
            texts.reserve(names.size());
            for (const std::string& name : names) texts.push_back(decode(name));
            std::vector<size_t> order(names.size());
            std::iota(order.begin(), order.end(), size_t{0});
            std::stable_sort(order.begin(), order.end(), [&texts](size_t left, size_t right) {
                return ItemSortsBefore(texts[left], texts[right]);
            });
            std::vector<std::string> sorted;
            sorted.reserve(names.size());
            for (size_t index : order) sorted.push_back(std::move(names[index]));
            names = std::move(sorted);
            return;
        }
    }
    ApplyKeyOrder(keys, names);
}
