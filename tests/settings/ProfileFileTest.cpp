#include "settings/IniFiles.h"
#include "settings/ProfileFile.h"
#include "settings/RzCommon.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/settings/ProfileFixtures.h"
#include "tests/support/ExpectThrows.h"
#include "tests/support/TempFolder.h"

using profile::ReadProfileString;
using profile::WriteProfileString;

namespace {

using namespace vactest;

ino_t Inode(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

TEST(ProfileFileRead, DefaultWhenFileSectionOrKeyIsMissing) {
    TempFolder folder;
    const std::string file = folder.File("a.ini");
    WriteFile(file, "[A]\nx=1\n");
    EXPECT_EQ(ReadProfileString("A", "x", "d", 2048, file), "1");
    EXPECT_EQ(ReadProfileString("B", "x", "d", 2048, file), "d");
    EXPECT_EQ(ReadProfileString("A", "y", "d", 2048, file), "d");
    EXPECT_EQ(ReadProfileString("A", "x", "d", 2048, folder.File("missing.ini")), "d");
    EXPECT_EQ(ReadProfileString("A", "x", "d", 2048, folder.File("no/such/folder/a.ini")), "d");
    EXPECT_EQ(ReadProfileString("A", "x", "d", 2048, folder.Path().string()), "d") << "a folder is not a file";
    EXPECT_EQ(ReadProfileString("A", "x", "d", 2048, ""), "d");
}

TEST(ProfileFileRead, DefaultLosesTrailingBlanksLikeThePlatformFunction) {
    TempFolder folder;
    EXPECT_EQ(ReadProfileString("A", "x", " d \t ", 2048, folder.File("missing.ini")), " d");
}

TEST(ProfileFileRead, ResultFitsTheCallersBuffer) {
    TempFolder folder;
    const std::string file = folder.File("a.ini");
    const std::string longValue(3000, 'v');
    WriteFile(file, "[A]\nx=" + longValue + "\n");
    EXPECT_EQ(ReadProfileString("A", "x", "", 2048, file), longValue.substr(0, 2047));
    EXPECT_EQ(ReadProfileString("A", "x", "", 4, file), "vvv");
    EXPECT_EQ(ReadProfileString("A", "x", "", 1, file), "");
    EXPECT_EQ(ReadProfileString("A", "x", "", 0, file), "");
    EXPECT_EQ(ReadProfileString("A", "y", longValue, 2048, file), longValue.substr(0, 2047)) << "default too";
}

// Too large to be a settings file: the profile layer gives the default and refuses the write, and the
// INI store reports the file instead of reading it as if it were empty.
TEST(ProfileFileRead, OversizedFileGivesDefaultAndIsReportedByTheIniStore) {
    TempFolder folder;
    const std::string file = folder.File("big.ini");
    std::string text = "[A]\nx=1\n";
    text.resize(profile::MaxProfileFileSize + 1, ' ');
    WriteFile(file, text);
    EXPECT_TRUE(profile::ProfileFileTooLarge(file));
    EXPECT_EQ(ReadProfileString("A", "x", "d", 2048, file), "d");
    EXPECT_FALSE(WriteProfileString("A", "x", "2", file));
    EXPECT_EQ(ReadFile(file), text);
    TIniFile store(file);
    ExpectThrows<EIniFileException>([&] { store.ReadString("A", "x", "d"); },
                                    "The settings file " + file + " is larger than 1024 KB and was not read.");
    text.resize(profile::MaxProfileFileSize);
    WriteFile(file, text);
    EXPECT_FALSE(profile::ProfileFileTooLarge(file));
    EXPECT_EQ(store.ReadString("A", "x", "d"), "1");
}

class ProfileFileWrite : public testing::TestWithParam<fixtures::WriteCase> {};

TEST_P(ProfileFileWrite, RewritesFileWithOnlyTheOneValueChanged) {
    const fixtures::WriteCase& c = GetParam();
    TempFolder folder;
    const std::string file = folder.File("settings.ini");
    if (!c.Before.empty()) WriteFile(file, c.Before);
    ASSERT_TRUE(WriteProfileString(c.Section, c.Key, c.Value, file));
    EXPECT_EQ(ReadFile(file), c.After);
    EXPECT_EQ(ReadProfileString(c.Section, c.Key, "default", 4096, file), c.Value);
    EXPECT_EQ(folder.Listing(), std::vector<std::string>{"settings.ini"}) << "no temporary copy left behind";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProfileFileWrite, testing::ValuesIn(fixtures::WriteCases()),
                         [](const testing::TestParamInfo<fixtures::WriteCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(ProfileFileWrite, NewFileIsReadableByItsOwnerOnly) {
    TempFolder folder;
    const std::string file = folder.File("new.ini");
    const mode_t oldMask = ::umask(0);  // even a permissive umask must not widen it
    const bool written = WriteProfileString("DB Connection", "Password", "secret", file);
    ::umask(oldMask);
    ASSERT_TRUE(written);
    EXPECT_EQ(PermissionBits(file), 0600);
}

TEST(ProfileFileWrite, ExistingFileKeepsItsPermissions) {
    TempFolder folder;
    const std::string file = folder.File("shared.ini");
    WriteFile(file, "[A]\nx=1\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(WriteProfileString("A", "x", "2", file));
    EXPECT_EQ(PermissionBits(file), 0640);
    EXPECT_EQ(ReadFile(file), "[A]\nx=2\n");
}

TEST(ProfileFileWrite, ReplacesTheFileByRenameAndSkipsWritesThatChangeNothing) {
    TempFolder folder;
    const std::string file = folder.File("a.ini");
    WriteFile(file, "[A]\nx=1\n");
    const ino_t before = Inode(file);
    ASSERT_TRUE(WriteProfileString("A", "x", "1", file));
    EXPECT_EQ(Inode(file), before) << "an unchanged value leaves the file alone";
    ASSERT_TRUE(WriteProfileString("A", "x", "2", file));
    EXPECT_NE(Inode(file), before) << "a complete new copy was renamed over the old file";
}

TEST(ProfileFileWrite, SymbolicLinkStaysAndItsTargetIsUpdated) {
    TempFolder folder;
    const std::string target = folder.File("real.ini");
    const std::string link = folder.File("link.ini");
    WriteFile(target, "[A]\nx=1\n");
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(WriteProfileString("A", "x", "2", link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "[A]\nx=2\n");
}

TEST(ProfileFileWrite, FailuresAreReportedAndChangeNothing) {
    TempFolder folder;
    const std::string readOnly = folder.File("readonly.ini");
    WriteFile(readOnly, "[A]\nx=1\n");
    ::chmod(readOnly.c_str(), 0444);
    const std::string subfolder = folder.File("sub");
    std::filesystem::create_directory(subfolder);

    EXPECT_FALSE(WriteProfileString("A", "x", "2", readOnly)) << "a read-only file";
    EXPECT_EQ(ReadFile(readOnly), "[A]\nx=1\n");
    EXPECT_FALSE(WriteProfileString("A", "x", "2", folder.File("missing/a.ini"))) << "a missing folder";
    EXPECT_FALSE(WriteProfileString("A", "x", "2", subfolder)) << "a folder";
    EXPECT_FALSE(WriteProfileString("A", "x", "2", "")) << "no file name";
    EXPECT_FALSE(WriteProfileString("A", "x", "two\nlines", readOnly)) << "a value that cannot be stored";
    EXPECT_FALSE(WriteProfileString("A", "x", "two\nlines", folder.File("new.ini")));
    EXPECT_EQ(folder.Listing(), (std::vector<std::string>{"readonly.ini", "sub"}));
}

// No copy can be made beside a file in a folder the user cannot write: a file the user may write is
// rewritten in place; one the user may not write still fails.
TEST(ProfileFileWrite, WritableFileInAnUnwritableFolderIsWrittenInPlace) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser may write into any folder: settings_unwritable_folder_as_user runs it as an "
                        "ordinary user";
    TempFolder folder;
    const std::string file = folder.File("a.ini");
    const std::string locked = folder.File("locked.ini");
    WriteFile(file, "[A]\nx=1\n");
    WriteFile(locked, "[A]\nx=1\n");
    ::chmod(locked.c_str(), 0400);
    const ino_t before = Inode(file);
    ::chmod(folder.Path().c_str(), 0500);
    const bool written = WriteProfileString("A", "x", "2", file);
    const bool shorter = WriteProfileString("A", "x", "", file);
    const bool lockedWritten = WriteProfileString("A", "x", "2", locked);
    ::chmod(folder.Path().c_str(), 0700);
    EXPECT_TRUE(written);
    EXPECT_TRUE(shorter);
    EXPECT_EQ(ReadFile(file), "[A]\nx=\n") << "the old, longer text leaves nothing behind";
    EXPECT_EQ(Inode(file), before);
    EXPECT_FALSE(lockedWritten);
    EXPECT_EQ(ReadFile(locked), "[A]\nx=1\n");
}

// A write interrupted between making its copy and renaming it leaves the copy, password and all; the
// next write removes it (and only copies of this file).
TEST(ProfileFileWrite, CopiesLeftByAnInterruptedWriteAreRemovedAtTheNextWrite) {
    TempFolder folder;
    const std::string file = folder.File("s.ini");
    WriteFile(file, "[A]\nx=1\n");
    WriteFile(folder.File(".s.ini.Ab3xYz"), "[DB Connection]\nPassword=secret\n");
    WriteFile(folder.File(".s.ini.keep"), "not a copy");
    WriteFile(folder.File(".other.ini.Ab3xYz"), "another file's copy");
    ASSERT_TRUE(WriteProfileString("A", "x", "2", file));
    EXPECT_EQ(folder.Listing(), (std::vector<std::string>{".other.ini.Ab3xYz", ".s.ini.keep", "s.ini"}));
}

}  // namespace
