#pragma once
// The INI dialect of the settings file, on the file's bytes in memory. Stands in for the platform's
// profile functions together with ProfileFile.h.
//
// Lines end with LF or CRLF; a UTF-8 byte-order mark before the first line is skipped. After leading
// blanks (space, tab, CR, VT, FF) a line is
//   - empty: blank line;
//   - ";...": comment;
//   - "[name]...": section header; the name is the text up to the first "]" (or the line's end), trimmed;
//   - "key=value": an entry of the current section; the key is the text before the first "=", trimmed;
//   - anything else: a stray line, ignored.
// Entries before the first section header belong to no section. Section and key names match without
// regard to letter case (the letters of the system code page). A name that occurs twice: the first occurrence in the
// file counts, for reading and for replacing.
// A value reads with its surrounding blanks removed, then one pair of matching quotes (" or ') around
// it removed, then cut at a NUL byte.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace profile {

// Letters of the system code page compared without regard to case; everything else byte for byte.
bool SameName(std::string_view a, std::string_view b);

std::string_view TrimBlanks(std::string_view text);
std::string_view TrimTrailingBlanks(std::string_view text);

// The value as a reader sees it, from the raw text after the "=".
std::string DecodeValue(std::string_view raw);

// The text to put after the "=" so that DecodeValue gives the value back; nullopt when the value
// cannot be stored on one line (it holds CR, LF or NUL).
std::optional<std::string> EncodeValue(std::string_view value);

class TProfileText {
public:
    explicit TProfileText(std::string text) : FText(std::move(text)) {}

    const std::string& Text() const { return FText; }

    // The first value of the key in a section of that name; nullopt when there is none.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Replaces the first value of the key in place, or adds the key to the first section of that name,
    // or adds the section at the end; every other byte stays as it was. False, with the text unchanged,
    // when the names or the value cannot be stored (empty name, a line break or NUL in any of them,
    // "]" in the section name, "=" in the key, a key starting with "[" or ";").
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);

    // Every (section, key) pair that a read can reach, in file order, duplicates included, names as written.
    std::vector<std::pair<std::string, std::string>> Entries() const;

private:
    std::string FText;
};

}  // namespace profile
