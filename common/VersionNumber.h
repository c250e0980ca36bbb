#pragma once
// The major number of a version text ("16.00.1000" -> 16). Two readings, for two kinds of source:
#include <charconv>
#include <string_view>

// A version in ODBC's "##.##.####" form (SQL_DRIVER_VER): the number the text starts with, up to its
// first "."; 0 when the text does not start with a number or the number does not fit.
inline int MajorVersionNumber(std::string_view version) {
    const std::string_view digits = version.substr(0, version.find('.'));
    int value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return result.ec == std::errc() ? value : 0;
}

// A version as a provider reports it, possibly with words in front ("v7.0" -> 7): the first run of
// digits before the first "."; 0 without one. Stops growing past 100000, so any text gives a number.
constexpr int MajorVersionNumberAfterText(std::string_view version) {
    int value = 0;
    bool any = false;
    for (char c : version) {
        if (c == '.') break;
        if (c < '0' || c > '9') {
            if (any) break;
            continue;
        }
        any = true;
        value = value * 10 + (c - '0');
        if (value > 100000) break;
    }
    return value;
}
