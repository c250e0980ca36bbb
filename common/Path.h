#pragma once
// File-name rules shared by the settings file and the connection defaults: where a path's last
// component starts, and the running program's own file.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

constexpr bool IsPathDelimiter(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

// The last component of a path ("dir/name.ext" -> "name.ext").
constexpr std::string_view FileNameOf(std::string_view path) {
    std::size_t start = path.size();
    while (start > 0 && !IsPathDelimiter(path[start - 1])) --start;
    return path.substr(start);
}

// The running program's file with its folder; empty, with error set, when the system cannot say.
inline std::string ProgramFile(std::error_code& error) {
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}
