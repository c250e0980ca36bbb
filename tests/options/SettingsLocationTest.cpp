// Where the settings file lives: named after the program file, beside it, or in the per-user folder
// for an installed copy whose folder cannot be written.
#include "app/SettingsLocation.h"
#include "app/Startup.h"
#include "tests/framework/support/ApplicationEnvironment.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include <unistd.h>

VAC_USE_APPLICATION_ENVIRONMENT();

namespace {

using namespace vactest;

TEST(SettingsFileName, ThreeLetterExtensionReplacedOtherwiseIniAppended) {
    struct Case {
        const char* Program;
        const char* Settings;
    };
    const Case cases[] = {
        {"/opt/tools/accounts.exe", "/opt/tools/accounts.ini"},
        // The extension's case does not matter; the new one is "ini" as written.
        {"/opt/tools/ACCOUNTS.EXE", "/opt/tools/ACCOUNTS.ini"},
        {"/opt/tools/vantor.bin", "/opt/tools/vantor.ini"},
        // No extension, the usual case here.
        {"/opt/vac/vantor-account-creator", "/opt/vac/vantor-account-creator.ini"},
        // A dot in a folder name is no extension of the file.
        {"/opt/v1.2.3/accounts", "/opt/v1.2.3/accounts.ini"},
        {"/opt/v1.exe/accounts", "/opt/v1.exe/accounts.ini"},
        // Extensions of another length would lose part of the name if three characters were cut.
        {"/opt/tools/run.sh", "/opt/tools/run.sh.ini"},
        {"/opt/tools/accounts.appimage", "/opt/tools/accounts.appimage.ini"},
        {"/opt/tools/accounts.", "/opt/tools/accounts..ini"},
        // A program named *.ini must not take itself for its settings file.
        {"/opt/tools/accounts.ini", "/opt/tools/accounts.ini.ini"},
        {"/opt/tools/ACCOUNTS.INI", "/opt/tools/ACCOUNTS.INI.ini"},
        {"accounts.exe", "accounts.ini"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SettingsFileBesideProgram(c.Program), c.Settings) << c.Program;
    }
}

// Sets an environment variable for one test and puts the old value back.
class TScopedEnvironment {
public:
    TScopedEnvironment(const char* name, const char* value) : Name(name) {
        if (const char* old = std::getenv(name)) Old = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TScopedEnvironment() {
        if (Old)
            ::setenv(Name, Old->c_str(), 1);
        else
            ::unsetenv(Name);
    }

private:
    const char* Name;
    std::optional<std::string> Old;
};

TEST(UserSettingsFolder, XdgConfigHomeThenHomeConfig) {
    {
        TScopedEnvironment config("XDG_CONFIG_HOME", "/srv/conf");
        TScopedEnvironment home("HOME", "/home/op");
        EXPECT_EQ(UserSettingsFolder(), "/srv/conf/vantor-account-creator");
    }
    {
        TScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
        TScopedEnvironment home("HOME", "/home/op");
        EXPECT_EQ(UserSettingsFolder(), "/home/op/.config/vantor-account-creator");
    }
    {
        // A relative XDG_CONFIG_HOME is not valid and is ignored.
        TScopedEnvironment config("XDG_CONFIG_HOME", "conf");
        TScopedEnvironment home("HOME", "/home/op");
        EXPECT_EQ(UserSettingsFolder(), "/home/op/.config/vantor-account-creator");
    }
}

class ChooseSettingsFileTest : public ::testing::Test {
protected:
    vactest::TempFolder Folder;
    std::string UserFolder() const { return Folder.File("home/.config/vantor-account-creator"); }
};

TEST_F(ChooseSettingsFileTest, WritableProgramFolderKeepsTheFileBesideTheProgram) {
    std::filesystem::create_directories(Folder.File("bin"));
    EXPECT_EQ(ChooseSettingsFile(Folder.File("bin/ACCOUNTS.EXE"), UserFolder()), Folder.File("bin/ACCOUNTS.ini"));
    EXPECT_FALSE(std::filesystem::exists(UserFolder()))
        << "nothing is created for a copy that keeps its file beside it";
}

TEST_F(ChooseSettingsFileTest, ProgramFolderThatCannotBeWrittenUsesAPrivatePerUserFolder) {
    // Folders that cannot be written by anyone, the superuser included: one that does not exist and a
    // path through a regular file.
    WriteFile(Folder.File("file"), "");
    for (const std::string& program :
         {Folder.File("missing/vantor-account-creator"), Folder.File("file/vantor-account-creator")}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(ChooseSettingsFile(program, UserFolder()), UserFolder() + "/vantor-account-creator.ini");
        ASSERT_TRUE(std::filesystem::is_directory(UserFolder())) << "the folder is created for the settings component";
        EXPECT_EQ(PermissionBits(UserFolder()), 0700u);
    }
}

TEST_F(ChooseSettingsFileTest, ExistingPerUserFolderKeepsItsPermissions) {
    std::filesystem::create_directories(UserFolder());
    std::filesystem::permissions(UserFolder(), std::filesystem::perms(0750));
    EXPECT_EQ(ChooseSettingsFile(Folder.File("missing/accounts"), UserFolder()), UserFolder() + "/accounts.ini");
    EXPECT_EQ(PermissionBits(UserFolder()), 0750u);
}

TEST_F(ChooseSettingsFileTest, NoPlaceForThePerUserFolderFallsBackToTheFileBesideTheProgram) {
    // The close then reports that this file cannot be written, instead of failing silently.
    WriteFile(Folder.File("home"), "not a folder");
    EXPECT_EQ(ChooseSettingsFile(Folder.File("missing/accounts"), UserFolder()), Folder.File("missing/accounts.ini"));
    EXPECT_EQ(ChooseSettingsFile(Folder.File("missing/accounts"), ""), Folder.File("missing/accounts.ini"));
}

TEST_F(ChooseSettingsFileTest, ReadOnlyProgramFolderKeepsAnExistingFileBesideTheProgram) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes into every folder: options_read_only_program_folder_as_user runs it as "
                        "an ordinary user";
    std::filesystem::create_directories(Folder.File("with"));
    std::filesystem::create_directories(Folder.File("without"));
    WriteFile(Folder.File("with/accounts.ini"), "[Common]\nSavePass=1\n");
    for (const char* folder : {"with", "without"})
        std::filesystem::permissions(Folder.File(folder), std::filesystem::perms(0555));
    EXPECT_EQ(ChooseSettingsFile(Folder.File("with/accounts"), UserFolder()), Folder.File("with/accounts.ini"));
    EXPECT_EQ(ChooseSettingsFile(Folder.File("without/accounts"), UserFolder()), UserFolder() + "/accounts.ini");
}

TEST(StartUp, CreatingTheMainWindowReadsTheSettingsFileNamedAfterTheRunningProgram) {
    TMainForm& form = CreateMainWindow(TApplicationEnvironment::App());
    const std::string program = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    EXPECT_EQ(form.ExeName, program);
    EXPECT_EQ(form.IniFile.Path(), ChooseSettingsFile(program, UserSettingsFolder()));
    EXPECT_EQ(form.PageControl1->ActivePageIndex(), TMainForm::CreatePageIndex);
    EXPECT_FALSE(form.isVisible()) << "the create handler runs before the window is shown";
    EXPECT_FALSE(form.MSConnection1.Connected()) << "no connection is opened at start";
}

}  // namespace
