#include "tools/standin/tds/ControlStatement.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace standin {

const char* const kControlStatementUsage =
    "  STANDIN DROP NEXT BATCH\n"
    "  STANDIN DELAY <milliseconds>\n"
    "  STANDIN FAIL NEXT BATCH <number> <class> <state> ['text'] [, <number> <class> <state> ['text']]...\n"
    "  STANDIN REFUSE LOGINS <count>\n"
    "  STANDIN CLEAR\n";

namespace {

constexpr std::string_view kKeyword = "STANDIN";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Splits the statement into words, quoted texts and commas.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    enum class Kind { End, Word, Text, Comma };
    struct Item {
        Kind kind = Kind::End;
        std::string value;
    };

    Item next() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
        if (pos_ < text_.size() && text_[pos_] == ';') {
            // Only a trailing semicolon is allowed.
            size_t p = pos_ + 1;
            while (p < text_.size() && isSpace(text_[p])) ++p;
            if (p == text_.size()) pos_ = p;
        }
        if (pos_ >= text_.size()) return {Kind::End, {}};
        const char c = text_[pos_];
        if (c == ',') {
            ++pos_;
            return {Kind::Comma, ","};
        }
        if (c == '\'') {
            std::string value;
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) throw ControlSyntaxError("'" + value);
                if (text_[pos_] == '\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
                        value.push_back('\'');
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    return {Kind::Text, value};
                }
                value.push_back(text_[pos_++]);
            }
        }
        const size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_]) && text_[pos_] != ',' && text_[pos_] != '\'' &&
               text_[pos_] != ';')
            ++pos_;
        if (pos_ == start) ++pos_;  // a lone ';' in the middle
        return {Kind::Word, std::string(text_.substr(start, pos_ - start))};
    }

    Item peek() {
        const size_t saved = pos_;
        Item item = next();
        pos_ = saved;
        return item;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

void expectWord(Scanner& s, std::string_view word) {
    const auto item = s.next();
    if (item.kind != Scanner::Kind::Word || !equalsIgnoreCase(item.value, word))
        throw ControlSyntaxError(item.kind == Scanner::Kind::End ? std::string(word) : item.value);
}

int64_t expectNumber(Scanner& s, int64_t min, int64_t max) {
    const auto item = s.next();
    int64_t value = 0;
    if (item.kind != Scanner::Kind::Word)
        throw ControlSyntaxError(item.kind == Scanner::Kind::End ? "end of statement" : item.value);
    const auto* first = item.value.data();
    const auto* last = first + item.value.size();
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || value < min || value > max) throw ControlSyntaxError(item.value);
    return value;
}

void expectEnd(Scanner& s) {
    const auto item = s.next();
    if (item.kind != Scanner::Kind::End) throw ControlSyntaxError(item.value);
}

}  // namespace

bool isControlStatement(std::string_view batch) {
    size_t p = 0;
    while (p < batch.size() && isSpace(batch[p])) ++p;
    if (batch.size() - p < kKeyword.size()) return false;
    if (!equalsIgnoreCase(batch.substr(p, kKeyword.size()), kKeyword)) return false;
    const size_t after = p + kKeyword.size();
    return after == batch.size() || isSpace(batch[after]) || batch[after] == ';';
}

ControlCommand parseControlStatement(std::string_view batch) {
    Scanner s(batch);
    expectWord(s, kKeyword);
    const auto verb = s.next();
    if (verb.kind != Scanner::Kind::Word)
        throw ControlSyntaxError(verb.kind == Scanner::Kind::End ? "STANDIN" : verb.value);
    if (equalsIgnoreCase(verb.value, "DROP")) {
        expectWord(s, "NEXT");
        expectWord(s, "BATCH");
        expectEnd(s);
        return ControlDropNextBatch{};
    }
    if (equalsIgnoreCase(verb.value, "DELAY")) {
        const auto ms = expectNumber(s, 0, 3600 * 1000);
        expectEnd(s);
        return ControlDelay{std::chrono::milliseconds(ms)};
    }
    if (equalsIgnoreCase(verb.value, "FAIL")) {
        expectWord(s, "NEXT");
        expectWord(s, "BATCH");
        ControlFailNextBatch fail;
        for (;;) {
            Message m;
            m.number = static_cast<int32_t>(expectNumber(s, 1, std::numeric_limits<int32_t>::max()));
            m.severity = static_cast<uint8_t>(expectNumber(s, 0, 25));
            m.state = static_cast<uint8_t>(expectNumber(s, 0, 255));
            if (s.peek().kind == Scanner::Kind::Text) {
                m.text = s.next().value;
            } else {
                m.text = "Error " + std::to_string(m.number) + " injected by the stand-in.";
            }
            fail.errors.push_back(std::move(m));
            const auto item = s.next();
            if (item.kind == Scanner::Kind::End) break;
            if (item.kind != Scanner::Kind::Comma) throw ControlSyntaxError(item.value);
        }
        return fail;
    }
    if (equalsIgnoreCase(verb.value, "REFUSE")) {
        expectWord(s, "LOGINS");
        const auto count = expectNumber(s, 0, 1000000);
        expectEnd(s);
        return ControlRefuseLogins{static_cast<int>(count)};
    }
    if (equalsIgnoreCase(verb.value, "CLEAR")) {
        expectEnd(s);
        return ControlClear{};
    }
    throw ControlSyntaxError(verb.value);
}

std::string describeControlCommand(const ControlCommand& command) {
    struct Describe {
        std::string operator()(const ControlDropNextBatch&) const {
            return "Stand-in: the next batch closes its connection.";
        }
        std::string operator()(const ControlDelay& d) const {
            return "Stand-in: answers are delayed by " + std::to_string(d.delay.count()) + " ms.";
        }
        std::string operator()(const ControlFailNextBatch& f) const {
            return "Stand-in: the next batch is answered with " + std::to_string(f.errors.size()) + " error record(s).";
        }
        std::string operator()(const ControlRefuseLogins& r) const {
            return "Stand-in: the next " + std::to_string(r.count) + " login(s) are refused.";
        }
        std::string operator()(const ControlClear&) const { return "Stand-in: all faults cleared."; }
    };
    return std::visit(Describe{}, command);
}

}  // namespace standin
