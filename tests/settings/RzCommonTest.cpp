#include "settings/RzCommon.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ExpectThrows.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace vactest;

TRzProgramInfo Program(std::string exeName, std::string title = "") {
    return TRzProgramInfo{[exeName] { return exeName; }, [title] { return title; }};
}

// A component on a file in a fresh folder.
struct IniFixture {
    TempFolder Folder;
    std::string File = Folder.File("vnac.ini");
    TRzRegIniFile Ini{Program(Folder.File("vnac"))};
    IniFixture() { Ini.SetPath(File); }
};

struct BoolCase {
    const char* Stored;
    bool WithFalseDefault;
    bool WithTrueDefault;
};

class BooleanRead : public testing::TestWithParam<BoolCase> {};

TEST_P(BooleanRead, StoredTextReadsAsIntegerNotZero) {
    IniFixture f;
    WriteFile(f.File, std::string("[Common]\nSavePass=") + GetParam().Stored + "\n");
    EXPECT_EQ(f.Ini.GetBoolValue("Common", "SavePass", false), GetParam().WithFalseDefault);
    EXPECT_EQ(f.Ini.GetBoolValue("Common", "SavePass", true), GetParam().WithTrueDefault);
}

INSTANTIATE_TEST_SUITE_P(
    StoredTexts, BooleanRead,
    testing::Values(BoolCase{"1", true, true}, BoolCase{"0", false, false}, BoolCase{"2", true, true},
                    BoolCase{"-1", true, true}, BoolCase{"0x1F", true, true}, BoolCase{"0x0", false, false},
                    BoolCase{"0x10", true, true}, BoolCase{"0X0", false, false}, BoolCase{"$0", false, false},
                    BoolCase{"x0", false, false}, BoolCase{"$ff", true, true}, BoolCase{"-0", false, false},
                    BoolCase{"\" 7\"", true, true}, BoolCase{"  7  ", true, true}, BoolCase{"\"0\"", false, false},
                    BoolCase{"0000", false, false}, BoolCase{"$FFFFFFFF", true, true},
                    // texts that do not convert give the default
                    BoolCase{"", false, true}, BoolCase{"yes", false, true}, BoolCase{"true", false, true},
                    BoolCase{"1a", false, true}, BoolCase{"0x", false, true}, BoolCase{"0x0x1", false, true},
                    BoolCase{"4294967296", false, true}, BoolCase{"0x100000000", false, true},
                    BoolCase{"1.0", false, true}, BoolCase{"\xFF", false, true}));

TEST(BooleanRead, MissingFileSectionOrKeyGivesDefault) {
    IniFixture f;
    EXPECT_FALSE(f.Ini.GetBoolValue("Common", "SavePass", false));
    EXPECT_TRUE(f.Ini.GetBoolValue("Common", "SavePass", true));
    WriteFile(f.File, "[Other]\nSavePass=0\n[Common]\nOther=0\n");
    EXPECT_TRUE(f.Ini.GetBoolValue("Common", "SavePass", true));
}

TEST(BooleanWrite, ReadsBackWhatWasWrittenWithEitherDefault) {
    IniFixture f;
    for (bool value : {true, false}) {
        f.Ini.PutBoolValue("Common", "SavePass", value);
        EXPECT_EQ(f.Ini.GetBoolValue("Common", "SavePass", false), value);
        EXPECT_EQ(f.Ini.GetBoolValue("Common", "SavePass", true), value);
    }
    EXPECT_EQ(ReadFile(f.File), "[Common]\nSavePass=0\n");
}

TEST(TextValue, RoundTripAndDefaults) {
    IniFixture f;
    EXPECT_EQ(f.Ini.GetTextValue("DB Connection", "HostName", ""), "");
    EXPECT_EQ(f.Ini.GetTextValue("DB Connection", "HostName", "fallback"), "fallback");
    f.Ini.PutTextValue("DB Connection", "HostName", "db.example,1433");
    f.Ini.PutTextValue("DB Connection", "Password", " p@ss w\xF6rd ");
    EXPECT_EQ(f.Ini.GetTextValue("db connection", "hostname", ""), "db.example,1433");
    EXPECT_EQ(f.Ini.GetTextValue("DB Connection", "Password", ""), " p@ss w\xF6rd ");
}

TEST(TextValue, LongValueReadsAsItsFirst2047Characters) {
    IniFixture f;
    std::string value(3000, 'a');
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>('a' + i % 26);
    f.Ini.PutTextValue("DB Connection", "Password", value);
    EXPECT_EQ(f.Ini.GetTextValue("DB Connection", "Password", ""), value.substr(0, 2047));
    EXPECT_NE(ReadFile(f.File).find(value), std::string::npos) << "the whole value is stored";
}

TEST(SettingsFile, WrittenFromScratchHoldsTwoSectionsOwnerOnly) {
    IniFixture f;
    f.Ini.PutBoolValue("Common", "SavePass", true);
    f.Ini.PutTextValue("DB Connection", "HostName", "host");
    f.Ini.PutTextValue("DB Connection", "User", "sa");
    f.Ini.PutTextValue("DB Connection", "Password", "pw");
    EXPECT_EQ(ReadFile(f.File), "[Common]\nSavePass=1\n\n[DB Connection]\nHostName=host\nUser=sa\nPassword=pw\n");
    EXPECT_EQ(PermissionBits(f.File), 0600);
}

TEST(WriteFailure, UnwritableFileRaisesWithItsPathAndKeepsEarlierWrites) {
    IniFixture f;
    f.Ini.PutTextValue("DB Connection", "HostName", "first");
    ::chmod(f.File.c_str(), 0444);
    const auto e = ExpectThrows<EIniFileException>([&] { f.Ini.PutTextValue("DB Connection", "User", "second"); },
                                                   "Unable to write to " + f.File);
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->what(), e->Message.c_str());
    EXPECT_THROW(f.Ini.PutBoolValue("Common", "SavePass", true), Exception);
    EXPECT_EQ(ReadFile(f.File), "[DB Connection]\nHostName=first\n");
    EXPECT_EQ(f.Ini.GetTextValue("DB Connection", "HostName", ""), "first");
}

TEST(WriteFailure, MissingFolderRaisesWithThePath) {
    TempFolder folder;
    TRzRegIniFile ini(Program(folder.File("vnac")));
    const std::string file = folder.File("gone/vnac.ini");
    ini.SetPath(file);
    EXPECT_EQ(ini.GetTextValue("A", "x", "d"), "d");
    ExpectThrows<EIniFileException>([&] { ini.PutTextValue("A", "x", "1"); }, "Unable to write to " + file);
}

TEST(PathProperty, SameValueKeepsStoreAndNewValueOpensNewFile) {
    TempFolder folder;
    WriteFile(folder.File("one.ini"), "[A]\nx=one\n");
    WriteFile(folder.File("two.ini"), "[A]\nx=two\n");
    TRzRegIniFile ini(Program(folder.File("vnac")));
    EXPECT_TRUE(ini.OutOfDate()) << "out of date after construction";
    ini.SetPath(folder.File("one.ini"));
    EXPECT_EQ(ini.GetTextValue("A", "x", ""), "one");
    EXPECT_FALSE(ini.OutOfDate());
    ini.SetPath(folder.File("one.ini"));
    EXPECT_FALSE(ini.OutOfDate()) << "setting the same path keeps the store";
    ini.SetPath(folder.File("two.ini"));
    EXPECT_TRUE(ini.OutOfDate());
    EXPECT_EQ(ini.Path(), folder.File("two.ini")) << "nothing opened before the next value operation";
    EXPECT_EQ(ini.GetTextValue("A", "x", ""), "two");
    EXPECT_FALSE(ini.OutOfDate());
}

TEST(PathProperty, EveryPropertyChangeMarksTheStoreOutOfDateAndSameValueDoesNot) {
    TempFolder folder;
    TRzRegIniFile ini(Program(folder.File("vnac")));
    ini.SetPath(folder.File("a.ini"));
    auto refreshed = [&] {
        ini.SetPathType(ptIniFile);
        ini.GetTextValue("A", "x", "");
        return !ini.OutOfDate();
    };
    ASSERT_TRUE(refreshed());
    ini.SetRegKey(hkeyCurrentUser);
    ini.SetRegAccess({keyAllAccess});
    ini.SetPathType(ptIniFile);
    EXPECT_FALSE(ini.OutOfDate()) << "defaults set again";
    ini.SetRegKey(hkeyLocalMachine);
    EXPECT_TRUE(ini.OutOfDate());
    ASSERT_TRUE(refreshed());
    ini.SetRegAccess({keyRead});
    EXPECT_TRUE(ini.OutOfDate());
    ASSERT_TRUE(refreshed());
    ini.SetPathType(ptRegistry);
    EXPECT_TRUE(ini.OutOfDate());
}

struct DefaultPathCase {
    const char* ExeName;
    const char* IniPath;
};

class DefaultIniPath : public testing::TestWithParam<DefaultPathCase> {};

TEST_P(DefaultIniPath, EmptyPathUsesProgramPathWithIniExtension) {
    TRzRegIniFile ini(Program(GetParam().ExeName));
    EXPECT_EQ(ini.Path(), "");
    EXPECT_EQ(ini.GetTextValue("A", "x", "d"), "d");
    EXPECT_EQ(ini.Path(), GetParam().IniPath);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFiles, DefaultIniPath,
    testing::Values(DefaultPathCase{"/nonexistent/tools/accounts.exe", "/nonexistent/tools/accounts.ini"},
                    DefaultPathCase{"/nonexistent/tools/ACCOUNTS.EXE", "/nonexistent/tools/ACCOUNTS.ini"},
                    DefaultPathCase{"/nonexistent/tools/vantor-account-creator",
                                    "/nonexistent/tools/vantor-account-creator.ini"},
                    DefaultPathCase{"/nonexistent/v1.2/tool", "/nonexistent/v1.2/tool.ini"},
                    DefaultPathCase{"/nonexistent/tool.tar.gz", "/nonexistent/tool.tar.ini"}));

TEST(DefaultIniPath, ReadsTheFileBesideTheProgram) {
    TempFolder folder;
    WriteFile(folder.File("tool.ini"), "[A]\nx=beside\n");
    TRzRegIniFile ini(Program(folder.File("tool")));
    EXPECT_EQ(ini.GetTextValue("A", "x", ""), "beside");
    EXPECT_EQ(ini.Path(), folder.File("tool.ini"));
}

TEST(DefaultIniPath, ProcessProgramInfoNamesThisTestProgram) {
    TRzRegIniFile ini;
    ini.GetTextValue("A", "x", "");
    EXPECT_TRUE(ini.Path().ends_with("/test_settings.ini")) << ini.Path();
}

TEST(RegistryMode, ValueOperationsRaiseThatTheRegistryIsUnavailable) {
    TRzRegIniFile ini(Program("/opt/tools/accounts.exe", "Vantor Account Creator"));
    ini.SetPathType(ptRegistry);
    // Not a write failure: the plain error.
    ExpectThrows<Exception, Not<EIniFileException>>(
        [&] { ini.GetTextValue("DB Connection", "HostName", ""); },
        "The registry is not available on this platform: cannot use the key "
        "HKEY_CURRENT_USER\\Software\\Temp\\Vantor Account Creator; store settings in an INI file instead.");
    EXPECT_EQ(ini.Path(), "\\Software\\Temp\\Vantor Account Creator") << "default key path stored back";
    EXPECT_THROW(ini.GetBoolValue("Common", "SavePass", false), Exception);
    EXPECT_THROW(ini.PutBoolValue("Common", "SavePass", true), Exception);
    EXPECT_THROW(ini.PutTextValue("Common", "SavePass", "1"), Exception);
}

TEST(RegistryMode, DefaultKeyPathUsesProgramNameWithoutTitle) {
    TRzRegIniFile ini(Program("/opt/tools/accounts.exe"));
    ini.SetPathType(ptRegistry);
    ini.SetRegKey(hkeyLocalMachine);
    ExpectThrows<Exception>([&] { ini.GetTextValue("A", "x", ""); },
                            ::testing::HasSubstr("HKEY_LOCAL_MACHINE\\Software\\Temp\\accounts;"));
    EXPECT_EQ(ini.Path(), "\\Software\\Temp\\accounts");
}

TEST(RegistryMode, SwitchingBackToIniFileUsesTheFileAgain) {
    IniFixture f;
    f.Ini.PutTextValue("A", "x", "1");
    f.Ini.SetPathType(ptRegistry);
    EXPECT_THROW(f.Ini.GetTextValue("A", "x", ""), Exception);
    f.Ini.SetPathType(ptIniFile);
    EXPECT_EQ(f.Ini.GetTextValue("A", "x", ""), "1");
}

TEST(RegistryAccess, MaskIsTheUnionOfTheMembersMasks) {
    const struct {
        TRzRegAccess Access;
        std::uint32_t Mask;
    } cases[] = {
        {{}, 0},
        {{keyQueryValue}, 1},
        {{keySetValue}, 2},
        {{keyCreateSubKey}, 4},
        {{keyEnumerateSubKeys}, 8},
        {{keyNotify}, 16},
        {{keyCreateLink}, 32},
        {{keyRead}, 0x20019},
        {{keyWrite}, 0x20006},
        {{keyExecute}, 0x20019},
        {{keyAllAccess}, 983103},
        {{keyRead, keyWrite}, 0x2001F},
        {{keyQueryValue, keySetValue, keyNotify}, 19},
    };
    for (const auto& c : cases) EXPECT_EQ(RegAccessMask(c.Access), c.Mask);
    EXPECT_EQ(RegAccessMask(TRzRegIniFile(Program("/x")).RegAccess()), 983103u) << "the default set";
}

}  // namespace
