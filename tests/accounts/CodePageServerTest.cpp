// The window against servers whose default collation keeps varchar text in another code page
// (Cyrillic_General_CI_AS: 1251, Korean_Wansung_CI_AS: 949), run in the locale their operators use,
// so the program's code page is the server's: names and passwords in that script are created,
// listed, looked up and edited as themselves, and the hash is of the code page's bytes. Text the code
// page cannot hold is refused before anything is sent, and a name read from the server that the code
// page did not keep is listed but never acted on.
#include "app/PasswordHash.h"
#include "tests/accounts/AccountsFixture.h"
#include "tests/common/ScopedCodePage.h"

#include <QComboBox>

namespace {

using Statements = std::vector<std::string>;

class CodePageServerTest : public AccountsTest {
protected:
    CodePageServerTest(std::string collation, std::string locale)
        : Collation(std::move(collation)), LocaleName(std::move(locale)) {}

    standin::ServerOptions ServerSetup() const override {
        standin::ServerOptions options;
        options.collation = Collation;
        return options;
    }
    void SetUp() override {
        Locale = std::make_unique<TScopedLocale>(LocaleName);
        AccountsTest::SetUp();
    }
    void TearDown() override {
        AccountsTest::TearDown();
        Locale.reset();
    }

    struct Account {
        QString Login;
        QString Password;
        std::string PasswordBytes;  // the password in the code page, as the hash must see it
        QString LookupPart;         // a part of the login to look it up by
    };

    // Creates the account as a game master, finds it on the "Edit" page by a part of its name, blocks
    // it and changes its level: each statement names it as itself and the rows say so.
    void CreateListLookUpAndEdit(const Account& account) {
        const std::string login = account.Login.toStdString();  // UTF-8, as the server logs and stores it
        ForgetSent();
        Create(account.Login, account.Password, 3);
        ASSERT_EQ(StatusLine(), "Account created");
        const Statements sent = Sent();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.front(), "SELECT * FROM lin2db.dbo.user_auth WHERE account = '" + login + "'");
        EXPECT_EQ(Rows("SELECT password FROM lin2db.dbo.user_auth WHERE account = N'" + login + "'"),
                  Statements{HashPassword(account.PasswordBytes)});
        EXPECT_EQ(
            Rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = N'" + login + "'"),
            Statements{"3"});

        Form->MSConnection1.Disconnect();
        ShowEditPage();
        EXPECT_TRUE(Items().contains(account.Login));
        ForgetSent();
        Form->AccountsComboBox->lineEdit()->setText(account.LookupPart);
        Click(Form->LookupButton);
        EXPECT_EQ(StatusLine(), "Match found");
        EXPECT_EQ(Form->AccountsComboBox->Text(), account.Login);
        EXPECT_EQ(Sent(),
                  (Statements{
                      "SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = '" + login + "'",
                      "SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '" + login + "'",
                  }));
        EXPECT_TRUE(Form->GMCheck2->Checked());

        Form->BannedCheck1->SetChecked(true);
        Form->GMLevelEdit2->SetValue(7);
        Click(Form->ApplyEditButton);
        EXPECT_EQ(StatusLine(), "Account updated");
        EXPECT_EQ(Rows("SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = N'" + login + "'"),
                  Statements{"1|0"});
        EXPECT_EQ(
            Rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = N'" + login + "'"),
            Statements{"7"});
        EXPECT_TRUE(Shown().empty());
    }

    std::string Collation;
    std::string LocaleName;
    std::unique_ptr<TScopedLocale> Locale;
};

class CyrillicServerTest : public CodePageServerTest {
protected:
    CyrillicServerTest() : CodePageServerTest("Cyrillic_General_CI_AS", "ru_RU.UTF-8") {}
};

class KoreanServerTest : public CodePageServerTest {
protected:
    KoreanServerTest() : CodePageServerTest("Korean_Wansung_CI_AS", "ko_KR.UTF-8") {}
};

// A Western operator (the default locale) in front of the Cyrillic server.
class WesternClientOfCyrillicServerTest : public CodePageServerTest {
protected:
    WesternClientOfCyrillicServerTest() : CodePageServerTest("Cyrillic_General_CI_AS", "en_US.UTF-8") {}
};

TEST_F(CyrillicServerTest, CyrillicAccountIsCreatedListedLookedUpAndEditedAsItself) {
    EXPECT_EQ(codepage::Active(), 1251u);
    CreateListLookUpAndEdit({QString::fromUtf8("\u0418\u0432\u0430\u043d"),
                             QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c"), "\xEF\xE0\xF0\xEE\xEB\xFC",
                             QString::fromUtf8("\u0432\u0430")});
    EXPECT_EQ(Rows("SELECT DATALENGTH(account) FROM lin2db.dbo.user_auth"), Statements{"4"});
}

TEST_F(CyrillicServerTest, NamesOfTheSameLengthAndTheirPasswordsStayApart) {
    // Once both were "??" and "??????": the second login offered to overwrite the first's password.
    Create(QString::fromUtf8("\u0416\u0416"), QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c"));
    Create(QString::fromUtf8("\u042e\u042e"), QString::fromUtf8("\u0441\u0435\u043a\u0440\u0435\u0442"));
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(Rows("SELECT password FROM lin2db.dbo.user_auth"),
              (Statements{HashPassword("\xEF\xE0\xF0\xEE\xEB\xFC"), HashPassword("\xF1\xE5\xEA\xF0\xE5\xF2")}));
}

TEST_F(CyrillicServerTest, TypedTextTheCodePageCannotHoldIsRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* Login;
        const char* Password;
        const char* Message;
    };
    const Case cases[] = {
        {"\u03a9mega", "abc", "The login contains characters that the code page 1251 cannot hold."},
        {"\u0418\u0432\u0430\u043d", "\ube44\ubc00",
         "The password contains characters that the code page 1251 cannot hold."},
        {"kim", "\U0001F600", "The password contains characters that the code page 1251 cannot hold."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Message);
        Dialogs.Shown.clear();
        ForgetSent();
        Create(QString::fromUtf8(c.Login), QString::fromUtf8(c.Password));
        EXPECT_EQ(Shown(), std::vector<TShownDialog>{Message(c.Message)});
        EXPECT_TRUE(server->statements().empty());
    }
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_auth"), Statements{"0"});

    // The same on the "Edit" page: a typed account name is looked up only when the code page holds it.
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES (N'\u0418\u0432\u0430\u043d',0x01,'','',0x0,0x0)");
    ShowEditPage();
    Dialogs.Shown.clear();
    ForgetSent();
    Form->AccountsComboBox->lineEdit()->setText(QString::fromUtf8("\uac00"));
    Click(Form->LookupButton);
    EXPECT_EQ(Shown(), std::vector<TShownDialog>{
                           Message("The account name contains characters that the code page 1251 cannot hold.")});
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(StatusLine(), "");
}

TEST_F(CyrillicServerTest, ConnectionFieldsTheCodePageCannotHoldAreRefused) {
    Form->DBLoginEdit->setText(QString::fromUtf8("\uc0ac\uc6a9\uc790"));
    Create("kim", "abc");
    EXPECT_EQ(Shown(), std::vector<TShownDialog>{Message(
                           "Unable to connect to SQL server.\nThe SQL login contains characters that the code page "
                           "1251 cannot hold.")});
    EXPECT_FALSE(Form->MSConnection1.Connected());
    EXPECT_TRUE(server->statements().empty());
}

TEST_F(KoreanServerTest, HangulAccountIsCreatedListedLookedUpAndEditedAsItself) {
    EXPECT_EQ(codepage::Active(), 949u);
    CreateListLookUpAndEdit({QString::fromUtf8("\ud64d\uae38\ub3d9"), QString::fromUtf8("\ube44\ubc00"),
                             "\xBA\xF1\xB9\xD0", QString::fromUtf8("\uae38")});
    // Two bytes a syllable, as the server's own tools store it.
    EXPECT_EQ(Rows("SELECT DATALENGTH(account) FROM lin2db.dbo.user_auth"), Statements{"6"});
    // Seven syllables are the fourteen bytes the column holds.
    Create(QString::fromUtf8("\uac00\ub098\ub2e4\ub77c\ub9c8\ubc14\uc0ac"), "abc");
    EXPECT_EQ(StatusLine(), "Account created");
}

TEST_F(WesternClientOfCyrillicServerTest, ANameTheCodePageCannotHoldIsListedButNotActedOn) {
    EXPECT_EQ(codepage::Active(), 1252u);
    // The driver gives the Cyrillic name in 1252 as question marks; "ivan" comes through whole.
    AddAccount("ivan");
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES (N'\u0418\u0432\u0430\u043d',0x01,'','',0x0,0x0)");
    Exec(
        "INSERT INTO lin2db.dbo.user_account VALUES (N'\u0418\u0432\u0430\u043d',1,0,0,0,0,null,null,null,0,null,null,"
        "null)");
    ShowEditPage();
    EXPECT_EQ(Items(), (QStringList{"????", "ivan"}));

    const std::vector<TShownDialog> refused{
        Message("The account name read from the server did not survive the conversion to the code page 1252 "
                "unchanged; nothing is done with it.")};
    ForgetSent();
    Pick("????");
    EXPECT_EQ(Shown(), refused);
    Dialogs.Shown.clear();
    Form->BannedCheck1->SetChecked(true);
    Click(Form->ApplyEditButton);
    EXPECT_EQ(Shown(), refused);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Rows("SELECT block_flag FROM lin2db.dbo.user_account WHERE account = N'\u0418\u0432\u0430\u043d'"),
              Statements{"0"});

    // The name that came through whole is acted on as before.
    Dialogs.Shown.clear();
    Pick("ivan");
    EXPECT_EQ(Sent().size(), 2u);
    EXPECT_TRUE(Shown().empty());
}

}  // namespace
