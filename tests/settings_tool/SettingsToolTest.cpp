// vac-settings, through which scripts find, read and write the settings file: run as its own process
// with arguments passed byte for byte, over a settings file in a test folder, and checked against
// the file the program's window reads.
#include "app/mUnit.h"
#include "settings/ProfileFile.h"
#include "tests/framework/support/ApplicationEnvironment.h"
#include "tests/framework/support/RecordingDialogs.h"
#include "tests/support/TempFolder.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

VAC_USE_APPLICATION_ENVIRONMENT();

namespace {

using namespace vactest;

struct TToolRun {
    int Status;
    std::string Out;
    std::string Err;
};

// The file "FILE" stands for in the cases' commands.
constexpr const char* FileMark = "FILE";

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

class SettingsToolTest : public ::testing::Test {
protected:
    // A per-user folder inside the test folder, for the tool and the window alike.
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", Folder.File("config").c_str(), 1); }
    void TearDown() override {
        if (OldConfigHome)
            ::setenv("XDG_CONFIG_HOME", OldConfigHome->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    std::string File() const { return Folder.File("accounts.ini"); }

    // Runs the tool; its output goes to files beside the settings file.
    TToolRun Run(std::vector<std::string> arguments) const {
        for (std::string& argument : arguments)
            if (argument == FileMark) argument = File();
        std::string program = VAC_SETTINGS_BINARY;
        std::vector<char*> argv{program.data()};
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);

        const std::string out = Folder.File("tool.out");
        const std::string err = Folder.File("tool.err");
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) {
            ADD_FAILURE() << "cannot run " << program;
            return {-1, {}, {}};
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    }

    std::optional<std::string> FileContents() const {
        if (!std::filesystem::exists(File())) return std::nullopt;
        return ReadFile(File());
    }

    vactest::TempFolder Folder;

private:
    std::optional<std::string> OldConfigHome = Environment("XDG_CONFIG_HOME");
};

TEST_F(SettingsToolTest, ReadsValuesAsTheProgramDoes) {
    struct Case {
        const char* Name;
        std::optional<std::string> Contents;  // nullopt: no file
        const char* Section;
        const char* Key;
        std::string Out;
    };
    const Case cases[] = {
        {"a missing file reads as empty and is not created", std::nullopt, "DB Connection", "HostName", "\n"},
        {"an absent key reads as empty", "[DB Connection]\nUser=sa\n", "DB Connection", "HostName", "\n"},
        {"a key of another section is not read", "[Common]\nHostName=x\n", "DB Connection", "HostName", "\n"},
        {"names match without regard to case; blanks around the value go",
         "[db connection]\r\n  hostname =  10.0.0.5,1433 \r\n", "DB Connection", "HostName", "10.0.0.5,1433\n"},
        {"spaces and '=' inside a value stay", "[S]\nK=a b = c\n", "S", "K", "a b = c\n"},
        {"quotes keep the blanks they hold", "[S]\nK=\" padded \"\n", "S", "K", " padded \n"},
        {"bytes beyond ASCII pass unchanged; Windows-1252 names match by case", "[Caf\xE9]\nK=na\xEFve \xE2\x82\xAC\n",
         "CAF\xC9", "k", "na\xEFve \xE2\x82\xAC\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(File());
        if (c.Contents) WriteFile(File(), *c.Contents);
        const TToolRun run = Run({"get", FileMark, c.Section, c.Key});
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, c.Out);
        EXPECT_EQ(run.Err, "");
        EXPECT_EQ(FileContents(), c.Contents) << "reading never writes";
    }
}

TEST_F(SettingsToolTest, AFileTooLargeToBeASettingsFileIsNotRead) {
    WriteFile(File(), "[S]\nK=v\n" + std::string(profile::MaxProfileFileSize, ';'));
    const TToolRun run = Run({"get", FileMark, "S", "K"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("was not read"), std::string::npos) << run.Err;
}

TEST_F(SettingsToolTest, WritesValuesAsTheProgramDoes) {
    struct Case {
        const char* Name;
        std::optional<std::string> Before;  // nullopt: no file
        const char* Key;
        std::string Value;
        std::string After;
    };
    const std::string demo = "[Common]\nSavePass=1\n\n[DB Connection]\nHostName=127.0.0.1,14330\n";
    const Case cases[] = {
        {"a missing file is created", std::nullopt, "HostName", "127.0.0.1,14330",
         "[DB Connection]\nHostName=127.0.0.1,14330\n"},
        {"only the value changes, every other byte stays",
         "; demo\r\n[Common]\r\nSavePass=1\r\n[DB Connection]\r\nHostName = 127.0.0.1,14330\r\nUser=sa\r\n", "hostname",
         "127.0.0.1,40000",
         "; demo\r\n[Common]\r\nSavePass=1\r\n[DB Connection]\r\nHostName = 127.0.0.1,40000\r\nUser=sa\r\n"},
        {"a missing key joins its section", demo, "User", "sa", demo + "User=sa\n"},
        {"spaces, '=' and bytes beyond ASCII are written as given", std::nullopt, "Password", "a = b caf\xE9",
         "[DB Connection]\nPassword=a = b caf\xE9\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(File());
        if (c.Before) WriteFile(File(), *c.Before);
        const TToolRun run = Run({"set", FileMark, "DB Connection", c.Key, c.Value});
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out + run.Err, "");
        EXPECT_EQ(FileContents(), c.After);
    }
}

TEST_F(SettingsToolTest, AValueThatCannotStandOnOneLineIsRefusedAndTheFileStays) {
    WriteFile(File(), "[S]\nK=old\n");
    const TToolRun run = Run({"set", FileMark, "S", "K", "new\nX=1"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Unable to write to " + File()), std::string::npos) << run.Err;
    EXPECT_EQ(FileContents(), "[S]\nK=old\n");
}

// The demo's first run writes its settings file with four writes: the same bytes it always wrote, and
// private, since the file holds a password.
TEST_F(SettingsToolTest, FourWritesMakeTheDemoSettingsFile) {
    const std::vector<std::string> writes[] = {
        {"set", FileMark, "Common", "SavePass", "1"},
        {"set", FileMark, "DB Connection", "HostName", "127.0.0.1,14330"},
        {"set", FileMark, "DB Connection", "User", "sa"},
        {"set", FileMark, "DB Connection", "Password", "standin"},
    };
    for (const std::vector<std::string>& write : writes) ASSERT_EQ(Run(write).Status, 0) << write[3];
    EXPECT_EQ(FileContents(),
              "[Common]\nSavePass=1\n\n[DB Connection]\nHostName=127.0.0.1,14330\nUser=sa\nPassword=standin\n");
    EXPECT_EQ(PermissionBits(File()), 0600u);
}

TEST_F(SettingsToolTest, EveryValueWrittenReadsBackAsWritten) {
    const std::string values[] = {
        "",
        "two  spaces",
        "a=b=c",
        " leading and trailing ",
        "\"quoted\"",
        "'single'",
        "caf\xE9",
        "\xE2\x82\xAC and \xC3\xA9",
        "; not a comment",
        "[not a section]",
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        ASSERT_EQ(Run({"set", FileMark, "DB Connection", "Password", value}).Status, 0);
        const TToolRun run = Run({"get", FileMark, "DB Connection", "Password"});
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, value + "\n");
    }
}

TEST_F(SettingsToolTest, WrongUsageIsRefusedWithoutTouchingAFile) {
    const std::vector<std::string> commands[] = {
        {},
        {"path"},
        {"path", ""},
        {"get", FileMark, "S"},
        {"get", "", "S", "K"},
        {"set", FileMark, "S", "K"},
        {"set", FileMark, "S", "K", "V", "extra"},
        {"remove", FileMark, "S", "K"},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command.empty() ? "(no arguments)" : command[0] + " with " + std::to_string(command.size()));
        const TToolRun run = Run(command);
        EXPECT_EQ(run.Status, 2);
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err.rfind("usage: vac-settings", 0), 0u) << run.Err;
        EXPECT_FALSE(std::filesystem::exists(File()));
    }
}

// What the tool names is the file the program's window reads at start, beside a program in a folder
// that can be written and in the per-user folder for one in a folder that cannot (a missing one).
TEST_F(SettingsToolTest, PathIsTheFileTheProgramReads) {
    struct Case {
        const char* ProgramFolder;
        const char* SettingsFile;
    };
    const Case cases[] = {
        {"bin", "bin/vantor-account-creator.ini"},
        {"missing", "config/vantor-account-creator/vantor-account-creator.ini"},
    };
    std::filesystem::create_directories(Folder.File("bin"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ProgramFolder);
        const std::string program = Folder.File(std::string(c.ProgramFolder) + "/vantor-account-creator");
        const TToolRun path = Run({"path", program});
        ASSERT_EQ(path.Status, 0) << path.Err;
        EXPECT_EQ(path.Out, Folder.File(c.SettingsFile) + "\n");
        const std::string settings = path.Out.substr(0, path.Out.size() - 1);
        ASSERT_EQ(Run({"set", settings, "DB Connection", "HostName", "db.example,1433"}).Status, 0);

        TRecordingDialogs dialogs;
        TMainForm form(dialogs);
        form.ExeName = program;
        form.DoCreate();
        EXPECT_EQ(form.IniFile.Path(), settings);
        EXPECT_EQ(form.DBHostEdit->text().toStdString(), "db.example,1433");
    }
}

}  // namespace
