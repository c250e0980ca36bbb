#include "app/SettingsLocation.h"

#include "common/AsciiText.h"
#include "common/Path.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view ProgramFolderName = "vantor-account-creator";

std::string Folder(const std::string& file) {
    const std::string folder = std::filesystem::path(file).parent_path().string();
    return folder.empty() ? "." : folder;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found && !error;
}

bool WritableFolder(const std::string& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// Creates the folder (and its parents) when missing; the folder itself is made private, since the
// settings file in it may hold a password. A folder that already exists keeps its permissions.
bool EnsurePrivateFolder(const std::string& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return true;
    const std::filesystem::path parent = std::filesystem::path(folder).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, error);
    if (::mkdir(folder.c_str(), S_IRWXU) == 0) return true;
    return errno == EEXIST && std::filesystem::is_directory(folder, error);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

}  // namespace

std::string SettingsFileBesideProgram(std::string_view programFile) {
    const std::string_view name = FileNameOf(programFile);
    const bool threeLetterExtension = name.size() >= 4 && name[name.size() - 4] == '.' &&
                                      name.substr(name.size() - 3).find('.') == std::string_view::npos;
    // A program file that itself ends in "ini" would otherwise be its own settings file and be
    // overwritten at the first close.
    if (threeLetterExtension && !AsciiSameText(name.substr(name.size() - 3), "ini"))
        return std::string(programFile.substr(0, programFile.size() - 3)).append("ini");
    return std::string(programFile).append(".ini");
}

std::string UserSettingsFolder() {
    // The XDG rule: a relative XDG_CONFIG_HOME is invalid and is ignored.
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        base = config;
    else if (const std::string home = HomeFolder(); !home.empty())
        base = home + "/.config";
    if (base.empty()) return {};
    return (std::filesystem::path(base) / ProgramFolderName).string();
}

std::string ChooseSettingsFile(std::string_view programFile, const std::string& userFolder) {
    const std::string beside = SettingsFileBesideProgram(programFile);
    if (Exists(beside) || WritableFolder(Folder(beside)) || userFolder.empty()) return beside;
    if (!EnsurePrivateFolder(userFolder)) return beside;
    return (std::filesystem::path(userFolder) / std::string(FileNameOf(beside))).string();
}
