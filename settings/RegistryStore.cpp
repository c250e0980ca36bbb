#include "settings/RegistryStore.h"

#include <utility>

TRegIniFile::TRegIniFile(TRzRegKey rootKey, std::string keyPath, std::uint32_t accessMask)
    : TCustomIniFile(std::move(keyPath)), FRootKey(rootKey), FAccessMask(accessMask) {}

std::string TRegIniFile::ReadString(std::string_view, std::string_view, std::string_view) { Unavailable(); }

void TRegIniFile::WriteString(std::string_view, std::string_view, std::string_view) { Unavailable(); }

std::int32_t TRegIniFile::ReadInteger(std::string_view, std::string_view, std::int32_t) { Unavailable(); }

void TRegIniFile::Unavailable() const {
    std::string key = RootKeyName(FRootKey);
    if (!FileName().starts_with('\\')) key += '\\';
    key += FileName();
    throw Exception("The registry is not available on this platform: cannot use the key " + key +
                    "; store settings in an INI file instead.");
}

const char* RootKeyName(TRzRegKey key) {
    switch (key) {
    case hkeyClassesRoot: return "HKEY_CLASSES_ROOT";
    case hkeyCurrentUser: return "HKEY_CURRENT_USER";
    case hkeyLocalMachine: return "HKEY_LOCAL_MACHINE";
    case hkeyUsers: return "HKEY_USERS";
    case hkeyPerformanceData: return "HKEY_PERFORMANCE_DATA";
    case hkeyCurrentConfig: return "HKEY_CURRENT_CONFIG";
    case hkeyDynData: return "HKEY_DYN_DATA";
    }
    return "HKEY_UNKNOWN";
}
