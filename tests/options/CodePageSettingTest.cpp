// The code page the program works in: the locale's, unless the settings file's "Common" section names
// one with its CodePage key; written back at close only when it was there.
#include "common/CodePage.h"
#include "tests/common/ScopedCodePage.h"
#include "tests/options/OptionsWindow.h"

namespace {

using namespace vactest;

class CodePageSettingTest : public OptionsWindowTest {
protected:
    // The desktop is Russian; the database may not be.
    TScopedLocale Locale{"ru_RU.UTF-8"};
};

TEST_F(CodePageSettingTest, TheKeyOverridesTheLocaleAndTextOfTheFileIsReadInIt) {
    struct Case {
        const char* Stored;  // nullptr: no CodePage key
        unsigned CodePage;
        std::string Password;  // the Password key's bytes
        QString Shown;         // as the field shows them
        std::vector<TShownDialog> Messages;
    };
    const std::string badText =
        "\", which is not a Windows ANSI code page (874, 932, 936, 949, 950, 1250 to 1258). The code page 1251 of "
        "the locale is used instead.";
    const Case cases[] = {
        {nullptr, 1251, "\xEF\xE0\xF0\xEE\xEB\xFC", QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c"), {}},
        {"949", 949, "\xBA\xF1\xB9\xD0", QString::fromUtf8("\ube44\ubc00"), {}},
        {" 1250 ", 1250, "\xB3\xF3", QString::fromUtf8("\u0142\u00f3"), {}},
        {"1252", 1252, "p\xE4ss", QString::fromUtf8("p\u00e4ss"), {}},
        {"65001",
         1251,
         "\xEF",
         QString::fromUtf8("\u043f"),
         {Message("The settings file names the code page \"65001" + badText)}},
        {"cyrillic",
         1251,
         "\xEF",
         QString::fromUtf8("\u043f"),
         {Message("The settings file names the code page \"cyrillic" + badText)}},
        {"", 1251, "\xEF", QString::fromUtf8("\u043f"), {}},  // names nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Stored ? c.Stored : "no CodePage key");
        std::string contents = "[Common]\n";
        if (c.Stored) contents += std::string("CodePage=") + c.Stored + "\n";
        contents += "[DB Connection]\nPassword=" + c.Password + "\n";
        WriteFile(SettingsFile(), contents);
        Start();
        EXPECT_EQ(codepage::Active(), c.CodePage);
        EXPECT_EQ(Form->DBPassEdit->text(), c.Shown);
        EXPECT_EQ(TakeShown(), c.Messages);
        Form.reset();
    }
}

TEST_F(CodePageSettingTest, TheKeyIsWrittenBackOnlyWhenItWasThere) {
    WriteFile(SettingsFile(), "[Common]\nSavePass=0\n");
    Start();
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadFile(SettingsFile()).find("CodePage"), std::string::npos);
    Form.reset();

    // A value the program could not use stays as written, to be corrected.
    for (const char* stored : {"949", "65001"}) {
        WriteFile(SettingsFile(), std::string("[Common]\nCodePage=") + stored + "\n");
        Start();
        TakeShown();
        // Something else rewrote the file meanwhile: closing puts the key back as it was read.
        WriteFile(SettingsFile(), "[Common]\n");
        ASSERT_TRUE(CloseWindow());
        EXPECT_NE(ReadFile(SettingsFile()).find(std::string("CodePage=") + stored), std::string::npos) << stored;
        Form.reset();
    }
}

}  // namespace
