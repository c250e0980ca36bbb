#pragma once
// The registry form of the settings store. Linux has no registry, so this store keeps what the
// component computed for it (root key, key path, access mask) and refuses every value operation with
// an Exception that says so; nothing is silently read as a default or dropped on write.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/IniFiles.h"
#include "settings/RzCommon.h"

class TRegIniFile : public TCustomIniFile {
public:
    TRegIniFile(TRzRegKey rootKey, std::string keyPath, std::uint32_t accessMask);

    TRzRegKey RootKey() const { return FRootKey; }
    std::uint32_t AccessMask() const { return FAccessMask; }

    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) override;
    void WriteString(std::string_view section, std::string_view key, std::string_view value) override;
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) override;

private:
    [[noreturn]] void Unavailable() const;

    TRzRegKey FRootKey;
    std::uint32_t FAccessMask;
};

// "HKEY_CURRENT_USER" and the like.
const char* RootKeyName(TRzRegKey key);
