#include "settings/ProfileText.h"

#include "common/CodePage.h"

#include <algorithm>
#include <cstddef>

namespace profile {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

enum class LineKind { Blank, Comment, Section, Entry, Stray };

struct Line {
    std::size_t Begin = 0;       // first byte of the line
    std::size_t ContentEnd = 0;  // end of the line without its LF or CRLF
    std::size_t End = 0;         // after the line break
    LineKind Kind = LineKind::Blank;
    std::string_view Name;       // section or key name, trimmed
    std::size_t RawValue = 0;    // entry: first byte after the "="
    std::size_t ValueBegin = 0;  // entry: first byte after the "=" and the blanks that follow it
};

class LineScanner {
public:
    explicit LineScanner(std::string_view text) : FText(text) {
        if (FText.starts_with("\xEF\xBB\xBF")) FPos = 3;
    }

    bool Next(Line& line) {
        if (FPos >= FText.size()) return false;
        line = Line{};
        line.Begin = FPos;
        const std::size_t lf = FText.find('\n', FPos);
        if (lf == std::string_view::npos) {
            line.ContentEnd = line.End = FText.size();
        } else {
            line.End = lf + 1;
            line.ContentEnd = (lf > FPos && FText[lf - 1] == '\r') ? lf - 1 : lf;
        }
        FPos = line.End;
        Classify(line);
        return true;
    }

private:
    void Classify(Line& line) const {
        const std::string_view content = FText.substr(line.Begin, line.ContentEnd - line.Begin);
        const auto lead = std::find_if_not(content.begin(), content.end(), IsBlank);
        if (lead == content.end()) {
            line.Kind = LineKind::Blank;
            return;
        }
        const std::size_t at = static_cast<std::size_t>(lead - content.begin());
        if (*lead == ';') {
            line.Kind = LineKind::Comment;
        } else if (*lead == '[') {
            line.Kind = LineKind::Section;
            const std::size_t close = content.find(']', at + 1);
            const std::size_t nameEnd = close == std::string_view::npos ? content.size() : close;
            line.Name = TrimBlanks(content.substr(at + 1, nameEnd - at - 1));
        } else if (const std::size_t eq = content.find('='); eq != std::string_view::npos) {
            line.Kind = LineKind::Entry;
            line.Name = TrimBlanks(content.substr(0, eq));
            line.RawValue = line.Begin + eq + 1;
            line.ValueBegin = line.RawValue;
            while (line.ValueBegin < line.ContentEnd && IsBlank(FText[line.ValueBegin])) ++line.ValueBegin;
        } else {
            line.Kind = LineKind::Stray;
        }
    }

    std::string_view FText;
    std::size_t FPos = 0;
};

bool StorableSection(std::string_view name) {
    return !name.empty() && !HasLineBreakOrNul(name) && name.find(']') == std::string_view::npos;
}

bool StorableKey(std::string_view name) {
    return !name.empty() && !HasLineBreakOrNul(name) && name.find('=') == std::string_view::npos &&
           name.front() != '[' && name.front() != ';';
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) { return codepage::SameText(a, b); }

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    text = TrimTrailingBlanks(text);
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string DecodeValue(std::string_view raw) {
    std::string_view value = TrimBlanks(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, value.find('\0')));
}

std::optional<std::string> EncodeValue(std::string_view value) {
    if (HasLineBreakOrNul(value)) return std::nullopt;
    // Blanks at either end, or quotes around the whole value, would be stripped by a reader: quote it.
    const bool needsQuotes =
        !value.empty() &&
        (IsBlank(value.front()) || IsBlank(value.back()) ||
         (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()));
    if (!needsQuotes) return std::string(value);
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted.append(1, '"').append(value).append(1, '"');
    return quoted;
}

std::optional<std::string> TProfileText::Value(std::string_view section, std::string_view key) const {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (section.empty() || key.empty()) return std::nullopt;
    LineScanner scanner(FText);
    Line line;
    bool inSection = false;
    while (scanner.Next(line)) {
        if (line.Kind == LineKind::Section) {
            inSection = SameName(line.Name, section);
        } else if (inSection && line.Kind == LineKind::Entry && SameName(line.Name, key)) {
            return DecodeValue(std::string_view(FText).substr(line.RawValue, line.ContentEnd - line.RawValue));
        }
    }
    return std::nullopt;
}

bool TProfileText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (!StorableSection(section) || !StorableKey(key)) return false;
    const std::optional<std::string> encoded = EncodeValue(value);
    if (!encoded) return false;

    LineScanner scanner(FText);
    Line line;
    bool inSection = false;
    bool inFirstSection = false;
    bool anyLine = false;
    LineKind lastKind = LineKind::Blank;
    std::optional<Line> insertAfter;  // header or last entry of the first section of that name
    std::string eol;                  // the file's own line break, taken from its first line
    while (scanner.Next(line)) {
        if (!anyLine && line.End > line.ContentEnd) eol = FText.substr(line.ContentEnd, line.End - line.ContentEnd);
        anyLine = true;
        lastKind = line.Kind;
        if (line.Kind == LineKind::Section) {
            inSection = SameName(line.Name, section);
            inFirstSection = inSection && !insertAfter;
            if (inFirstSection) insertAfter = line;
        } else if (inSection && line.Kind == LineKind::Entry) {
            if (SameName(line.Name, key)) {
                FText.replace(line.ValueBegin, line.ContentEnd - line.ValueBegin, *encoded);
                return true;
            }
            if (inFirstSection) insertAfter = line;
        }
    }
    if (eol.empty()) eol = "\n";

    const std::string entry = std::string(key) + "=" + *encoded;
    if (insertAfter) {
        if (insertAfter->End > insertAfter->ContentEnd) {
            const std::string lineBreak =
                FText.substr(insertAfter->ContentEnd, insertAfter->End - insertAfter->ContentEnd);
            FText.insert(insertAfter->End, entry + lineBreak);
        } else {
            FText.insert(insertAfter->End, eol + entry);  // the file's last line had no line break
        }
        return true;
    }
    std::string added;
    if (anyLine) {
        if (FText.back() != '\n') added += eol;
        if (lastKind != LineKind::Blank) added += eol;  // a blank line before the new section
    }
    added.append("[").append(section).append("]").append(eol).append(entry).append(eol);
    FText += added;
    return true;
}

std::vector<std::pair<std::string, std::string>> TProfileText::Entries() const {
    std::vector<std::pair<std::string, std::string>> entries;
    LineScanner scanner(FText);
    Line line;
    std::optional<std::string_view> section;
    while (scanner.Next(line)) {
        if (line.Kind == LineKind::Section) {
            section = line.Name;
        } else if (section && !section->empty() && line.Kind == LineKind::Entry && !line.Name.empty()) {
            entries.emplace_back(std::string(*section), std::string(line.Name));
        }
    }
    return entries;
}

}  // namespace profile
