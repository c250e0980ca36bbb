// vac-settings: the program's settings file for scripts, through the program's own code, so where the
// file lives and how it is read and written follow one rule instead of a copy of it in shell.
//   vac-settings path PROGRAM                the settings file the program file PROGRAM uses (an
//                                            installed copy's per-user folder is created, as the
//                                            program creates it)
//   vac-settings get FILE SECTION KEY        the value as the program reads it; empty when absent
//   vac-settings set FILE SECTION KEY VALUE  writes the value as the program writes it
// Names and values are byte strings, passed on unchanged. Exit status: 0 done, 1 the file could not
// be read or written (the reason on standard error), 2 wrong usage.
#include "app/SettingsLocation.h"
#include "settings/RzCommon.h"

#include <exception>
#include <iostream>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int WrongUsage = 2;

constexpr std::string_view Usage =
    "usage: vac-settings path PROGRAM\n"
    "       vac-settings get FILE SECTION KEY\n"
    "       vac-settings set FILE SECTION KEY VALUE\n";

using TArguments = std::span<char* const>;

// One line, so that a script's $(...) gets the text back exactly (a value never holds a line break).
int PrintLine(std::string_view text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size())) << '\n';
    std::cout.flush();
    return std::cout ? Done : Failed;
}

int PrintPath(TArguments args) { return PrintLine(ChooseSettingsFile(args[0], UserSettingsFolder())); }

// The program's own component in the mode the program uses, an INI file at a given path.
void OpenFile(TRzRegIniFile& file, const char* path) {
    file.SetPathType(ptIniFile);
    file.SetPath(path);
}

int PrintValue(TArguments args) {
    TRzRegIniFile file;
    OpenFile(file, args[0]);
    return PrintLine(file.GetTextValue(args[1], args[2], ""));
}

int WriteValue(TArguments args) {
    TRzRegIniFile file;
    OpenFile(file, args[0]);
    file.PutTextValue(args[1], args[2], args[3]);
    return Done;
}

struct TCommand {
    std::string_view Name;
    std::size_t ArgumentCount;
    int (*Run)(TArguments);
};

constexpr TCommand Commands[] = {
    {"path", 1, PrintPath},
    {"get", 3, PrintValue},
    {"set", 4, WriteValue},
};

// The command the arguments after the tool's name ask for, with the right number of arguments.
const TCommand* FindCommand(TArguments args) {
    if (args.empty()) return nullptr;
    for (const TCommand& command : Commands) {
        if (args[0] == command.Name && args.size() == 1 + command.ArgumentCount) return &command;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const TArguments all(argv, static_cast<std::size_t>(argc));
    const TArguments args = all.size() > 1 ? all.subspan(1) : TArguments();
    const TCommand* command = FindCommand(args);
    // An empty path names no file (the component would fall back to one named after this tool).
    if (command == nullptr || std::string_view(args[1]).empty()) {
        std::cerr << Usage;
        return WrongUsage;
    }
    try {
        return command->Run(args.subspan(1));
    } catch (const std::exception& error) {
        std::cerr << "vac-settings: " << error.what() << '\n';
        return Failed;
    }
}
