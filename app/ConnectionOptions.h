#pragma once
// The "Options" page against the settings file and the connection: filled from the file when the
// window is created, written back when it closes, and tried with "Test".
#include <string>

class TMainForm;

// Sections and keys of the settings file.
inline constexpr const char* CommonSection = "Common";
inline constexpr const char* SavePassKey = "SavePass";
inline constexpr const char* CodePageKey = "CodePage";
inline constexpr const char* ConnectionSection = "DB Connection";
inline constexpr const char* HostNameKey = "HostName";
inline constexpr const char* UserKey = "User";
inline constexpr const char* PasswordKey = "Password";

inline constexpr const char* ConnectionSuccessfulText = "Connection successful.";
inline constexpr const char* ConnectionFailedText = "Connection failed.";

class TConnectionOptions {
public:
    explicit TConnectionOptions(TMainForm& form) : Form(form) {}

    // Points the settings component at the settings file, chooses the system code page (the file's
    // CodePage when it names a usable one, else the locale's) and fills the page from the file.
    void Load();
    // Writes the page to the settings file; the password only while "Save password" is checked. A
    // failed write raises EIniFileException and leaves the remaining values unwritten.
    void Save();
    // Reconnects with the page's current fields and says whether that worked.
    void Test();

private:
    void ChooseCodePage();

    TMainForm& Form;
};
