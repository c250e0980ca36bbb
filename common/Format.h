#pragma once
// printf-style formatting into a std::string, for the message table's texts with placeholders.
#include <algorithm>
#include <cstdio>
#include <string>

template <typename... Args>
std::string Format(const char* format, Args... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<size_t>(std::max(size, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}
