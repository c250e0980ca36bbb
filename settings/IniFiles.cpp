#include "settings/IniFiles.h"

#include "settings/IntegerText.h"
#include "settings/ProfileFile.h"
#include "settings/RzCommon.h"

bool TCustomIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) {
    // Read as if empty, such a file would quietly give every default and then be refused at the write.
    if (profile::ProfileFileTooLarge(FileName()))
        throw EIniFileException("The settings file " + FileName() + " is larger than " +
                                std::to_string(profile::MaxProfileFileSize / 1024) + " KB and was not read.");
    return profile::ReadProfileString(section, key, defaultValue, ReadBufferSize, FileName());
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!profile::WriteProfileString(section, key, value, FileName()))
        throw EIniFileException("Unable to write to " + FileName());
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) {
    std::string text = ReadString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
    return ParseInt32(text).value_or(defaultValue);
}
