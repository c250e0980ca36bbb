// The "Options" page against the settings file, through the real window: what a start reads, what a
// close writes, the kept old password, odd boolean texts, and a settings file that cannot be written.
#include "tests/framework/support/QtPrinters.h"
#include "tests/options/OptionsWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace vactest;

using Lines = std::vector<std::string>;

TEST_F(OptionsWindowTest, FirstStartWithoutASettingsFileShowsEmptyFieldsAndAnUncheckedBox) {
    Start();
    EXPECT_EQ(Form->PageControl1->ActivePageIndex(), TMainForm::CreatePageIndex);
    EXPECT_EQ(Form->IniFile.Path(), SettingsFile());
    EXPECT_EQ(Form->DBHostEdit->text(), "");
    EXPECT_EQ(Form->DBLoginEdit->text(), "");
    EXPECT_EQ(Form->DBPassEdit->text(), "");
    EXPECT_FALSE(Form->SavePassCheckBox->isChecked()) << "the form's checked box is overridden by the missing value";
    EXPECT_FALSE(Form->MSConnection1.Connected());
    EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "reading creates nothing";
    EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(OptionsWindowTest, CloseWritesAFileFromScratchReadableByItsOwnerOnlyAndTheNextStartReadsItBack) {
    Start();
    FillOptions(QString::fromUtf8("db-h\u00f4te\\SQL2019"), "sa", "s3cret;pwd=x");
    SetSavePassword(true);
    ASSERT_TRUE(CloseWindow());
    EXPECT_TRUE(Dialogs.Shown.empty());

    // Two sections; the texts stored as the program keeps them (Windows-1252 bytes).
    EXPECT_EQ(NonBlankLines(SettingsFile()),
              (Lines{"[Common]", "SavePass=1", "[DB Connection]", "HostName=db-h\xf4te\\SQL2019", "User=sa",
                     "Password=s3cret;pwd=x"}));
    EXPECT_EQ(PermissionBits(SettingsFile()), 0600u) << "the file may hold a password";

    Form.reset();
    Start();
    EXPECT_EQ(Form->DBHostEdit->text(), QString::fromUtf8("db-h\u00f4te\\SQL2019"));
    EXPECT_EQ(Form->DBLoginEdit->text(), "sa");
    EXPECT_EQ(Form->DBPassEdit->text(), "s3cret;pwd=x");
    EXPECT_TRUE(Form->SavePassCheckBox->isChecked());
}

TEST_F(OptionsWindowTest, SavePasswordSurvivesARestartEitherWay) {
    for (const bool savePassword : {true, false, true}) {
        SCOPED_TRACE(savePassword);
        Start();
        SetSavePassword(savePassword);
        Restart();
        EXPECT_EQ(Form->SavePassCheckBox->isChecked(), savePassword);
        EXPECT_EQ(Form->IniFile.GetTextValue("Common", "SavePass", "?"), savePassword ? "1" : "0");
        Form.reset();
    }
}

TEST_F(OptionsWindowTest, WithSavePasswordUncheckedTheOldPasswordStaysInTheFileAndComesBack) {
    WriteFile(SettingsFile(),
              "[Common]\nSavePass=1\n[DB Connection]\nHostName=old-host\nUser=old-user\nPassword=old-pass\n");
    Start();
    EXPECT_TRUE(Form->SavePassCheckBox->isChecked());
    EXPECT_EQ(Form->DBPassEdit->text(), "old-pass");

    FillOptions("new-host", "new-user", "new-pass");
    SetSavePassword(false);
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(NonBlankLines(SettingsFile()), (Lines{"[Common]", "SavePass=0", "[DB Connection]", "HostName=new-host",
                                                    "User=new-user", "Password=old-pass"}));

    Form.reset();
    Start();
    EXPECT_FALSE(Form->SavePassCheckBox->isChecked());
    EXPECT_EQ(Form->DBHostEdit->text(), "new-host");
    EXPECT_EQ(Form->DBLoginEdit->text(), "new-user");
    EXPECT_EQ(Form->DBPassEdit->text(), "old-pass") << "the password is read whatever \"Save password\" says";
}

TEST_F(OptionsWindowTest, ClosingWithoutAnyPasswordInTheFileWritesNoPasswordKey) {
    Start();
    FillOptions("host", "user", "typed but not saved");
    SetSavePassword(false);
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(NonBlankLines(SettingsFile()),
              (Lines{"[Common]", "SavePass=0", "[DB Connection]", "HostName=host", "User=user"}));
    Form.reset();
    Start();
    EXPECT_EQ(Form->DBPassEdit->text(), "");
}

TEST_F(OptionsWindowTest, SavePassTextsReadByTheIntegerSyntax) {
    struct Case {
        const char* Stored;  // nullptr: no SavePass key at all
        bool Checked;
    };
    const Case cases[] = {
        {"1", true},
        {"0", false},
        {"2", true},
        {"-1", true},
        {"-0", false},
        {" 7", true},
        {"0x1F", true},
        {"0X1f", true},
        {"0x0", false},
        {"0x10", true},
        {"$A", true},
        {"$0", false},
        {"x10", true},
        {"  0x1", true},
        {"2147483647", true},
        {"-2147483648", true},
        // Texts that do not convert give the default, which is unchecked.
        {"", false},
        {"yes", false},
        {"true", false},
        {"1a", false},
        {"0x", false},
        {"$", false},
        {"2147483648", false},
        {"0x100000000", false},
        {"1.0", false},
        {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Stored ? std::string("SavePass=") + c.Stored : std::string("no SavePass key"));
        std::string contents = "[Common]\n";
        if (c.Stored) contents += std::string("SavePass=") + c.Stored + "\n";
        contents += "[DB Connection]\nPassword=kept\n";
        WriteFile(SettingsFile(), contents);
        Start();
        EXPECT_EQ(Form->SavePassCheckBox->isChecked(), c.Checked);
        EXPECT_EQ(Form->DBPassEdit->text(), "kept");
        Form.reset();
    }
}

TEST_F(OptionsWindowTest, ReadOnlySettingsFileAtCloseShowsTheErrorKeepsTheWindowOpenAndTheNextCloseTriesAgain) {
    const std::string before = "[Common]\nSavePass=0\n[DB Connection]\nHostName=old\n";
    WriteFile(SettingsFile(), before);
    std::filesystem::permissions(SettingsFile(), std::filesystem::perms(0444));
    Start();
    FillOptions("new", "user", "pass");

    EXPECT_FALSE(CloseWindow());
    EXPECT_TRUE(Form->isVisible()) << "the window stays open";
    EXPECT_EQ(TakeShown(), std::vector{Error("Unable to write to " + SettingsFile() + ".")});
    EXPECT_EQ(ReadFile(SettingsFile()), before) << "nothing was written";

    // The operator makes the file writable and closes again.
    std::filesystem::permissions(SettingsFile(), std::filesystem::perms(0644));
    EXPECT_TRUE(CloseWindow());
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(NonBlankLines(SettingsFile()),
              (Lines{"[Common]", "SavePass=0", "[DB Connection]", "HostName=new", "User=user"}));
}

TEST_F(OptionsWindowTest, AThreeLetterExtensionInAnyCaseGivesAnIniFileBesideTheProgram) {
    ProgramName = "ACCOUNTS.EXE";
    WriteFile(Folder.File("ACCOUNTS.ini"), "[db connection]\nhostname=from-ini\n");
    Start();
    EXPECT_EQ(Form->IniFile.Path(), Folder.File("ACCOUNTS.ini"));
    EXPECT_EQ(Form->DBHostEdit->text(), "from-ini") << "section and key names match without regard to case";
}

TEST_F(OptionsWindowTest, InstalledCopyInAFolderThatCannotBeWrittenKeepsItsSettingsInThePerUserFolder) {
    // A program folder nobody can write into, the superuser included: a path through a regular file.
    WriteFile(Folder.File("installed"), "");
    ProgramName = "installed/vantor-account-creator";
    Start();
    const std::string perUser = Folder.File("user/vantor-account-creator.ini");
    EXPECT_EQ(Form->IniFile.Path(), perUser);
    FillOptions("host", "user", "pass");
    SetSavePassword(true);
    ASSERT_TRUE(CloseWindow());
    EXPECT_TRUE(Dialogs.Shown.empty()) << "closing does not fail for want of a writable place";
    EXPECT_EQ(PermissionBits(Folder.File("user")), 0700u);
    EXPECT_EQ(PermissionBits(perUser), 0600u);

    Form.reset();
    Start();
    EXPECT_EQ(Form->DBHostEdit->text(), "host");
    EXPECT_EQ(Form->DBPassEdit->text(), "pass");
}

// Every edit field of the window holds one line: a pasted text keeps its first line, and a line break
// or NUL typed (as a key whose text it is) never gets in. A password ending in a line break would
// otherwise reach the settings file and make it unwritable.
TEST_F(OptionsWindowTest, EditFieldsHoldASingleLine) {
    Start();
    const std::vector<std::pair<const char*, QLineEdit*>> edits = {
        {"LoginEdit", Form->LoginEdit},   {"PassEdit", Form->PassEdit},
        {"DBHostEdit", Form->DBHostEdit}, {"DBLoginEdit", Form->DBLoginEdit},
        {"DBPassEdit", Form->DBPassEdit}, {"AccountsComboBox", Form->AccountsComboBox->lineEdit()}};
    struct Paste {
        QString clipboard;
        QString expected;
    };
    const std::vector<Paste> pastes = {{"first\r\nsecond", "abfirstcd"},
                                       {"first\nsecond\nthird", "abfirstcd"},
                                       {"\nsecond", "abcd"},
                                       {"line\r", "ablinecd"},
                                       {QString("nul") + QChar(0) + "after", "abnulcd"},
                                       {QString("para") + QChar(QChar::ParagraphSeparator) + "x", "abparacd"},
                                       {"plain", "abplaincd"}};
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        for (const Paste& p : pastes) {
            SCOPED_TRACE(p.clipboard.toStdString());
            edit->setText("abcd");
            edit->setCursorPosition(2);
            QGuiApplication::clipboard()->setText(p.clipboard);
            edit->paste();
            EXPECT_EQ(edit->text(), p.expected);
        }
        edit->setText("ab");
        for (const QString& typed : {QString("\n"), QString("\r"), QString(QChar(0))}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
            QCoreApplication::sendEvent(edit, &press);
        }
        EXPECT_EQ(edit->text(), "ab");
        edit->setText("set\nfrom code");
        EXPECT_EQ(edit->text(), "set");
    }
}

}  // namespace
