// Input the operator should not give but can: quotes, names too long for the column, letters beyond
// ASCII, long passwords, statements the server refuses. Each ends in the specified message or the
// server's error in the error box; no statement ever means something else; the program keeps running.
#include "app/PasswordHash.h"
#include "tests/accounts/AccountsFixture.h"

#include <QStringList>

namespace {

using Statements = std::vector<std::string>;
using BadInputTest = AccountsTest;

// A quote in a login is doubled inside the literal, so the login is stored and found as itself.
TEST_F(BadInputTest, LoginWithAQuoteIsStoredAndFoundAsItself) {
    Create("O'Brien", "abc", 2);
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_TRUE(Shown().empty());
    const Statements sent = Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], "SELECT * FROM lin2db.dbo.user_auth WHERE account = 'O''Brien'");
    EXPECT_EQ(sent[2],
              "INSERT INTO lin2db.dbo.user_account VALUES ('O''Brien',1,0,0,0,0,null,null,null,0,null,null,null)");
    EXPECT_EQ(Rows("SELECT account FROM lin2db.dbo.user_auth"), Statements{"O'Brien"});
    EXPECT_EQ(Rows("SELECT account_name,default_builder FROM lin2world.dbo.builder_account"), Statements{"O'Brien|2"});

    // Found again by "Create" ...
    Dialogs.Answers = {TDialogAnswer::No};
    Click(Form->SubmitButton);
    EXPECT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::YesNo);

    // ... and on the "Edit" page, by a lookup for a text with a quote.
    Form->MSConnection1.Disconnect();  // so that showing the page loads the list
    ShowEditPage();
    Type(Form->AccountsComboBox->lineEdit(), "'B");
    Click(Form->LookupButton);
    EXPECT_EQ(StatusLine(), "Match found");
    EXPECT_EQ(Form->AccountsComboBox->Text(), "O'Brien");
    EXPECT_TRUE(Form->GMCheck2->Checked());
    EXPECT_EQ(Form->GMLevelEdit2->Text(), "2");
    Form->BannedCheck2->SetChecked(true);
    Click(Form->ApplyEditButton);
    EXPECT_EQ(StatusLine(), "Account updated");
    EXPECT_EQ(Rows("SELECT block_flag2 FROM lin2db.dbo.user_account WHERE account = 'O''Brien'"), Statements{"1"});
    EXPECT_EQ(Shown().size(), 1u);
}

// Text written to end the literal and append a statement stays text.
TEST_F(BadInputTest, QuotesNeverChangeWhatAStatementDoes) {
    AddAccount("victim");
    const QString hostile = "x';DELETE FROM lin2db.dbo.user_auth--";
    // Too long for the account column: the server refuses the insert; nothing else happens.
    Create(hostile, "abc");
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);
    EXPECT_EQ(Rows("SELECT account FROM lin2db.dbo.user_auth"), Statements{"victim"});

    // Short enough to fit: stored as typed.
    Create("'--", "abc");
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_auth WHERE account = '''--'"), Statements{"1"});
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_auth"), Statements{"2"});
}

TEST_F(BadInputTest, LoginLongerThanTheColumnShowsTheServersError) {
    Create("abcdefghijklmno", "abc");  // 15 characters, the column holds 14
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);
    EXPECT_NE(Shown()[0].Text.find("String or binary data would be truncated"), std::string::npos) << Shown()[0].Text;
    EXPECT_EQ(StatusLine(), "");
    EXPECT_TRUE(Rows("SELECT account FROM lin2db.dbo.user_auth").empty());

    // The program goes on.
    Create("abcdefghijklmn", "abc");
    EXPECT_EQ(StatusLine(), "Account created");
}

// Letters of Windows-1252 (the default locale's code page) beyond ASCII reach the server as those letters and come back as them.
TEST_F(BadInputTest, LettersBeyondAsciiSurviveTheRoundTrip) {
    const QString login = QString::fromUtf8("J\u00FCrgen\u00E9\u00C5");
    Create(login, QString::fromUtf8("p\u00E4ss"));
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_EQ(Rows("SELECT account FROM lin2db.dbo.user_auth"), Statements{login.toStdString()});

    // The hash is of the Windows-1252 bytes: "ä" counts as the one byte 0xE4, not as its UTF-8 pair.
    EXPECT_EQ(Rows("SELECT password FROM lin2db.dbo.user_auth"), Statements{HashPassword("p\xE4ss")});
    EXPECT_NE(HashPassword("p\xE4ss"), HashPassword("p\xC3\xA4ss"));

    Form->MSConnection1.Disconnect();
    ShowEditPage();
    ASSERT_EQ(Form->AccountsComboBox->Count(), 1);
    EXPECT_EQ(Form->AccountsComboBox->Item(0), login);
    // Nothing is selected, so setting the text is what typing it does (key clicks are ASCII only).
    Form->AccountsComboBox->lineEdit()->setText(QString::fromUtf8("\u00FCrg"));
    Click(Form->LookupButton);
    EXPECT_EQ(StatusLine(), "Match found");
    EXPECT_TRUE(Shown().empty());
}

TEST_F(BadInputTest, ThousandCharacterPasswordHashesItsFirstSixteen) {
    Create("longpass", QString(1000, 'p'));
    EXPECT_EQ(StatusLine(), "Account created");
    Create("shortpass", QString(16, 'p'));
    const Statements hashes = Rows("SELECT password FROM lin2db.dbo.user_auth");
    ASSERT_EQ(hashes.size(), 2u);
    EXPECT_EQ(hashes[0], hashes[1]);
    EXPECT_EQ(hashes[0].size(), 34u);
}

// A statement the server refuses: its message in the error box, with the "." the box appends.
TEST_F(BadInputTest, RefusedStatementShowsTheServersMessage) {
    Create("alpha", "abc");
    server->failNextBatch({ServerError(50000, 16, "Accounts are read-only during maintenance")});
    Create("beta", "abc");

    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0], Error("Accounts are read-only during maintenance."));
    EXPECT_EQ(StatusLine(), "");

    Create("beta", "abc");
    EXPECT_EQ(StatusLine(), "Account created");
}

}  // namespace
