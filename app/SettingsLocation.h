#pragma once
// Where the program keeps its settings file. The file lives beside the program, named after the
// program file with its three-letter extension replaced by "ini" (ACCOUNTS.EXE -> ACCOUNTS.ini); a
// program file without such an extension, the usual case on Linux, gets ".ini" appended. An installed
// copy, whose folder the user cannot write and that has no settings file beside it yet, keeps its
// settings in the per-user configuration folder instead, so closing the window never fails for want
// of a writable place. Paths are byte strings as the file system takes them.
#include <string>
#include <string_view>

// The settings file beside the program file.
std::string SettingsFileBesideProgram(std::string_view programFile);

// The per-user folder for the settings of an installed copy: $XDG_CONFIG_HOME/vantor-account-creator,
// or ~/.config/vantor-account-creator when XDG_CONFIG_HOME is unset or not absolute. Empty when
// neither that variable nor HOME gives a place.
std::string UserSettingsFolder();

// The settings file the program uses: the one beside the program file when it exists or when the
// program's folder can be written; otherwise the file of the same name in userFolder, which is created
// (readable by its owner only) when missing. When userFolder is empty or cannot be created the file
// beside the program is used all the same, and writing it at close reports the failure.
std::string ChooseSettingsFile(std::string_view programFile, const std::string& userFolder);
