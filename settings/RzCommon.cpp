#include "settings/RzCommon.h"

#include "common/Path.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "settings/IniFiles.h"
#include "settings/RegistryStore.h"

namespace {

// Position of the extension's dot in the last path component, or npos when it has none.
std::size_t ExtensionStart(const std::string& path) {
    for (std::size_t at = path.size(); at-- > 0;) {
        if (path[at] == '.') return at;
        if (IsPathDelimiter(path[at])) break;
    }
    return std::string::npos;
}

std::string ChangeExtension(const std::string& path, std::string_view extension) {
    return path.substr(0, ExtensionStart(path)).append(extension);
}

std::string FileNameWithoutExtension(const std::string& path) {
    std::string name(FileNameOf(path));
    return name.substr(0, ExtensionStart(name));
}

constexpr std::uint32_t AccessMaskOf(TRzRegAccessKey member) {
    switch (member) {
    case keyQueryValue: return 0x1;
    case keySetValue: return 0x2;
    case keyCreateSubKey: return 0x4;
    case keyEnumerateSubKeys: return 0x8;
    case keyNotify: return 0x10;
    case keyCreateLink: return 0x20;
    case keyRead: return 0x20019;
    case keyWrite: return 0x20006;
    case keyExecute: return 0x20019;
    case keyAllAccess: return 0xF003F;
    }
    return 0;
}

}  // namespace

TRzRegAccess::TRzRegAccess(std::initializer_list<TRzRegAccessKey> members) {
    for (TRzRegAccessKey member : members) Include(member);
}

std::uint32_t RegAccessMask(const TRzRegAccess& access) {
    std::uint32_t mask = 0;
    for (auto member = static_cast<int>(keyQueryValue); member <= static_cast<int>(keyAllAccess); ++member) {
        const auto key = static_cast<TRzRegAccessKey>(member);
        if (access.Contains(key)) mask |= AccessMaskOf(key);
    }
    return mask;
}

TRzProgramInfo ProcessProgramInfo() {
    return TRzProgramInfo{
        [] {
            std::error_code error;
            std::string exe = ProgramFile(error);
            if (error || exe.empty()) throw Exception("Cannot determine the program file's path: " + error.message());
            return exe;
        },
        [] { return std::string(); },
    };
}

TRzRegIniFile::TRzRegIniFile() : TRzRegIniFile(ProcessProgramInfo()) {}

TRzRegIniFile::TRzRegIniFile(TRzProgramInfo programInfo) : FProgramInfo(std::move(programInfo)) {}

TRzRegIniFile::~TRzRegIniFile() = default;

void TRzRegIniFile::SetPath(const std::string& value) {
    if (value == FPath) return;
    FPath = value;
    FOutOfDate = true;
}

void TRzRegIniFile::SetPathType(TRzPathType value) {
    if (value == FPathType) return;
    FPathType = value;
    FOutOfDate = true;
}

void TRzRegIniFile::SetRegKey(TRzRegKey value) {
    if (value == FRegKey) return;
    FRegKey = value;
    FOutOfDate = true;
}

void TRzRegIniFile::SetRegAccess(const TRzRegAccess& value) {
    if (value == FRegAccess) return;
    FRegAccess = value;
    FOutOfDate = true;
}

std::string TRzRegIniFile::DefaultIniPath() const { return ChangeExtension(FProgramInfo.ExeName(), ".ini"); }

std::string TRzRegIniFile::DefaultRegistryPath() const {
    std::string name = FProgramInfo.Title ? FProgramInfo.Title() : std::string();
    if (name.empty()) name = FileNameWithoutExtension(FProgramInfo.ExeName());
    return "\\Software\\Temp\\" + name;
}

void TRzRegIniFile::UpdateStore() {
    if (!FOutOfDate) return;
    FStore.reset();
    std::string path = FPath;
    if (FPathType == ptIniFile) {
        if (path.empty()) path = DefaultIniPath();
        FStore = std::make_unique<TIniFile>(path);
    } else {
        if (path.empty()) path = DefaultRegistryPath();
        FStore = std::make_unique<TRegIniFile>(FRegKey, path, RegAccessMask(FRegAccess));
    }
    FPath = std::move(path);
    FOutOfDate = false;
}

TCustomIniFile& TRzRegIniFile::Store() {
    UpdateStore();
    return *FStore;
}

bool TRzRegIniFile::GetBoolValue(std::string_view section, std::string_view key, bool defaultValue) {
    return Store().ReadBool(section, key, defaultValue);
}

void TRzRegIniFile::PutBoolValue(std::string_view section, std::string_view key, bool value) {
    Store().WriteBool(section, key, value);
}

std::string TRzRegIniFile::GetTextValue(std::string_view section, std::string_view key, std::string_view defaultValue) {
    return Store().ReadString(section, key, defaultValue);
}

void TRzRegIniFile::PutTextValue(std::string_view section, std::string_view key, std::string_view value) {
    Store().WriteString(section, key, value);
}
