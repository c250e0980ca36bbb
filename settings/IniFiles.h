#pragma once
// The stores behind TRzRegIniFile: an abstract named-value store and its INI-file form.
#include <cstdint>
#include <string>
#include <string_view>

class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
    virtual ~TCustomIniFile() = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    // INI store: the file's path; registry store: the key's path.
    const std::string& FileName() const { return FFileName; }

    virtual std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) = 0;
    virtual void WriteString(std::string_view section, std::string_view key, std::string_view value) = 0;
    virtual std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) = 0;

    // True exactly when the stored integer (or the default, 1 or 0) is not 0.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);
    // Stored as "1" or "0".
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    std::string FFileName;
};

// Values in an INI file, through the profile layer; keeps no copy of the file.
class TIniFile : public TCustomIniFile {
public:
    using TCustomIniFile::TCustomIniFile;

    // Longer values come back cut to their first 2047 characters.
    static constexpr std::size_t ReadBufferSize = 2048;

    // Raises EIniFileException for a file larger than profile::MaxProfileFileSize.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) override;
    // Raises EIniFileException "Unable to write to <file name>" when the write fails.
    void WriteString(std::string_view section, std::string_view key, std::string_view value) override;
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) override;
};
