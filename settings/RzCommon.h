#pragma once
// TRzRegIniFile: named values grouped in sections, kept either in an INI file or under a registry
// key, behind one small interface. The main window owns one and uses it in INI-file mode.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "common/Exception.h"

class TCustomIniFile;

// A write to the INI file failed: "Unable to write to <file name>".
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

enum TRzPathType : std::uint8_t { ptIniFile, ptRegistry };

enum TRzRegKey : std::uint8_t {
    hkeyClassesRoot,
    hkeyCurrentUser,
    hkeyLocalMachine,
    hkeyUsers,
    hkeyPerformanceData,
    hkeyCurrentConfig,
    hkeyDynData
};

enum TRzRegAccessKey : std::uint8_t {
    keyQueryValue,
    keySetValue,
    keyCreateSubKey,
    keyEnumerateSubKeys,
    keyNotify,
    keyCreateLink,
    keyRead,
    keyWrite,
    keyExecute,
    keyAllAccess
};

// A set of TRzRegAccessKey members.
class TRzRegAccess {
public:
    TRzRegAccess() = default;
    TRzRegAccess(std::initializer_list<TRzRegAccessKey> members);

    bool Contains(TRzRegAccessKey member) const { return (Bits & Bit(member)) != 0; }
    void Include(TRzRegAccessKey member) { Bits |= Bit(member); }
    void Exclude(TRzRegAccessKey member) { Bits &= static_cast<std::uint16_t>(~Bit(member)); }
    bool operator==(const TRzRegAccess&) const = default;

private:
    static std::uint16_t Bit(TRzRegAccessKey member) { return static_cast<std::uint16_t>(1u << member); }
    std::uint16_t Bits = 0;
};

// The registry access mask requested for a set of access rights (OR of each member's mask).
std::uint32_t RegAccessMask(const TRzRegAccess& access);

// Where the component learns the program's identity for its default paths.
struct TRzProgramInfo {
    std::function<std::string()> ExeName;  // full path of the running program file
    std::function<std::string()> Title;    // the application title; may be empty
};

// The running program's identity as the process knows it: its executable's path, no title.
TRzProgramInfo ProcessProgramInfo();

class TRzRegIniFile {
public:
    TRzRegIniFile();
    explicit TRzRegIniFile(TRzProgramInfo programInfo);
    ~TRzRegIniFile();
    TRzRegIniFile(const TRzRegIniFile&) = delete;
    TRzRegIniFile& operator=(const TRzRegIniFile&) = delete;

    // INI mode: the file's path; registry mode: the key's path below the root key.
    // Empty means the default path, which the first value operation stores back here.
    const std::string& Path() const { return FPath; }
    void SetPath(const std::string& value);

    TRzPathType PathType() const { return FPathType; }
    void SetPathType(TRzPathType value);

    TRzRegKey RegKey() const { return FRegKey; }
    void SetRegKey(TRzRegKey value);

    const TRzRegAccess& RegAccess() const { return FRegAccess; }
    void SetRegAccess(const TRzRegAccess& value);

    // True until the next value operation after construction or after a property changed.
    bool OutOfDate() const { return FOutOfDate; }

    // Each value operation brings the store up to date first. Missing file, section or key: the
    // default. A failed INI write raises EIniFileException.
    bool GetBoolValue(std::string_view section, std::string_view key, bool defaultValue);
    void PutBoolValue(std::string_view section, std::string_view key, bool value);
    std::string GetTextValue(std::string_view section, std::string_view key, std::string_view defaultValue);
    void PutTextValue(std::string_view section, std::string_view key, std::string_view value);

private:
    TCustomIniFile& Store();
    void UpdateStore();
    std::string DefaultIniPath() const;
    std::string DefaultRegistryPath() const;

    TRzProgramInfo FProgramInfo;
    std::string FPath;
    TRzPathType FPathType = ptIniFile;
    TRzRegKey FRegKey = hkeyCurrentUser;
    TRzRegAccess FRegAccess{keyAllAccess};
    bool FOutOfDate = true;
    std::unique_ptr<TCustomIniFile> FStore;
};
