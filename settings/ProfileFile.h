#pragma once
// Our replacement for the platform's profile-file functions (read one value, write one value) on the
// INI dialect of ProfileText.h. Nothing is cached: every call reads the file again.
#include <cstddef>
#include <string>
#include <string_view>

namespace profile {

// The value of the key, or the default (without its trailing blanks) when the file, the section or the
// key is missing or the file cannot be read. At most bufferSize - 1 characters come back, as from a
// caller's buffer of bufferSize bytes that also holds the terminating NUL.
std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize, const std::string& fileName);

// Sets the key's value, creating the file, the section and the key as needed; everything else in the
// file stays byte for byte. False when the write failed: the file (or its folder) cannot be written,
// the file has no write permission at all, the path is not a regular file, or the names or the value
// cannot be stored (see TProfileText::SetValue). The file is replaced by renaming a complete new copy
// over it, so it is never left half written; the copy keeps the old file's permissions, and a new
// file is readable and writable by its owner only. A file the caller may write in a folder it may
// not (no copy can be made there) is rewritten in place instead. Copies left behind by a write that
// was interrupted (they may hold a password) are removed first.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& fileName);

// Files larger than this are not settings files (ours holds a few hundred bytes): reads give the
// default and writes fail; ProfileFileTooLarge tells the caller why.
inline constexpr std::size_t MaxProfileFileSize = 1024 * 1024;

// True when fileName names a regular file larger than MaxProfileFileSize.
bool ProfileFileTooLarge(const std::string& fileName);

}  // namespace profile
