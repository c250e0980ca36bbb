#pragma once
// Settings-file fixtures shared by the in-memory and on-disk tests: odd files as operators and editors
// leave them, each with one write and the exact bytes expected after it.
#include <cstddef>
#include <string>
#include <vector>

namespace fixtures {

struct WriteCase {
    const char* Name;
    std::string Before;
    std::string Section;
    std::string Key;
    std::string Value;
    std::string After;
};

// A string literal with the NUL bytes inside it.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// True when the bytes of before that after no longer holds lie within one line: a write replaced one
// value or inserted lines, and left every other line as it was.
inline bool OnlyOneLineChanged(const std::string& before, const std::string& after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return before.substr(prefix, before.size() - prefix - suffix).find('\n') == std::string::npos;
}

inline const std::vector<WriteCase>& WriteCases() {
    static const std::vector<WriteCase> cases = {
        {"NewFile", "", "Common", "SavePass", "1", "[Common]\nSavePass=1\n"},
        {"ReplaceKeepsSpacingAndKeySpelling", "[a]\nHOST = old  \n", "A", "host", "new", "[a]\nHOST = new\n"},
        {"ReplaceKeepsCrLfAndComments", "; note\r\n[A]\r\nx=old\r\ny=2\r\n", "A", "x", "new",
         "; note\r\n[A]\r\nx=new\r\ny=2\r\n"},
        {"ReplaceLastLineWithoutNewline", "[A]\nx=1", "A", "x", "22", "[A]\nx=22"},
        {"ReplaceEmptyValue", "[A]\nx=\ny=2\n", "A", "x", "v", "[A]\nx=v\ny=2\n"},
        {"AddKeyAfterLastEntryOfSection", "[A]\nx=1\n\n[B]\ny=2\n", "A", "z", "3", "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
        {"AddKeyBeforeCommentOfNextSection", "[A]\nx=1\n; about B\n[B]\n", "A", "z", "3",
         "[A]\nx=1\nz=3\n; about B\n[B]\n"},
        {"AddKeyToEmptySection", "[A]\n[B]\n", "a", "z", "3", "[A]\nz=3\n[B]\n"},
        {"AddKeyNoTrailingNewline", "[A]\nx=1", "A", "z", "3", "[A]\nx=1\nz=3"},
        {"AddKeyCrLf", "[A]\r\nx=1\r\n", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n"},
        {"AddSection", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
        {"AddSectionNoTrailingNewline", "[A]\nx=1", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
        {"AddSectionAfterBlankLine", "[A]\nx=1\n\n", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
        {"AddSectionCrLf", "[A]\r\nx=1\r\n", "B", "k", "v", "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
        {"AddSectionToGarbageOnly", "garbage", "B", "k", "v", "garbage\n\n[B]\nk=v\n"},
        {"DuplicateSectionsReplaceFirst", "[A]\nx=1\n[a]\nx=2\n", "A", "x", "9", "[A]\nx=9\n[a]\nx=2\n"},
        {"DuplicateKeysReplaceFirst", "[A]\nx=1\nX=2\n", "A", "x", "9", "[A]\nx=9\nX=2\n"},
        {"KeyOnlyInSecondDuplicateSection", "[A]\ny=1\n[A]\nx=2\n", "A", "x", "9", "[A]\ny=1\n[A]\nx=9\n"},
        {"NewKeyGoesToFirstDuplicateSection", "[A]\ny=1\n[A]\nw=2\n", "A", "x", "9", "[A]\ny=1\nx=9\n[A]\nw=2\n"},
        {"GarbageLinesKept", "garbage\n[A]\n???\nx=1\n\x01\xff\xfe\n", "A", "x", "2",
         "garbage\n[A]\n???\nx=2\n\x01\xff\xfe\n"},
        {"EntriesBeforeFirstSectionIgnored", "x=0\n[A]\n", "A", "x", "1", "x=0\n[A]\nx=1\n"},
        {"CommentedKeyIsNotAKey", "[A]\n;x=old\n", "A", "x", "1", "[A]\nx=1\n;x=old\n"},
        {"ByteOrderMarkSkipped", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2", "\xEF\xBB\xBF[A]\nx=2\n"},
        {"ValueWithOuterBlanksQuoted", "[A]\nx=1\n", "A", "x", " pass ", "[A]\nx=\" pass \"\n"},
        {"QuotedValueQuotedAgain", "[A]\n", "A", "x", "\"q\"", "[A]\nx=\"\"q\"\"\n"},
        {"NamesTrimmed", "", " Common ", " SavePass ", "0", "[Common]\nSavePass=0\n"},
        {"InvalidTextBytesKept", Bytes("[A]\nbin=\x80\x00\x81\nx=1\n"), "A", "x", "\xE9t\xE9",
         Bytes("[A]\nbin=\x80\x00\x81\nx=\xE9t\xE9\n")},
    };
    return cases;
}

}  // namespace fixtures
