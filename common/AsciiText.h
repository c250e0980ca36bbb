#pragma once
// ASCII case rules for names the program and its peers define in ASCII (provider classes, connection
// keywords, driver names): only 'a'..'z' and 'A'..'Z' change case, whatever the process locale says.
// Text in the user's code page follows that code page's own rules instead.
#include <cstddef>
#include <string>
#include <string_view>

constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

constexpr bool AsciiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}
