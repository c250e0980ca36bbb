// The "Create" page through the real window against the stand-in: what the operator sees and what
// reached the server.
#include "tests/accounts/AccountsFixture.h"
#include "tests/framework/support/ApplicationEnvironment.h"

#include <QCursor>
#include <QGuiApplication>

VAC_USE_APPLICATION_ENVIRONMENT();

namespace {

using Statements = std::vector<std::string>;

const std::string AbcHash = "0x35F2BE8FCE597F7F4AD3F5F538A28484";    // the hash of "abc"
const std::string EmptyHash = "0x35A28484C552747441D8FEFE33A98F8F";  // the hash of ""
// 0x0 in a binary(32) answer column, padded with zero bytes as SQL Server pads fixed-length binary.
const std::string ZeroAnswer = "0x" + std::string(64, '0');

using CreateAccountTest = AccountsTest;

TEST_F(CreateAccountTest, EmptyLoginShowsItsMessageWithoutContactingTheServer) {
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    Create("", "abc");

    EXPECT_EQ(Shown(), std::vector{Message("Login field could not empty.")});
    EXPECT_TRUE(server->statements().empty());
    EXPECT_EQ(server->openConnections(), 0);
    EXPECT_FALSE(Form->MSConnection1.Connected());
    EXPECT_EQ(StatusLine(), "earlier");
}

// Without and with "GM Account": two inserts, or the uid lookup and a third insert carrying the level
// field's text; all in the fixed order.
TEST_F(CreateAccountTest, NewLoginInsertsItsRowsInOrder) {
    struct Case {
        const char* login;
        int gmLevel;
        bool expectBuilderRow;
    };
    for (const Case& c : {Case{"alpha", 0, false}, Case{"gamma", 3, true}, Case{"delta", 9, true}}) {
        SCOPED_TRACE(c.login);
        ForgetSent();
        Create(c.login, "abc", c.gmLevel);

        const std::string login = c.login;
        Statements expected = {
            "SELECT * FROM lin2db.dbo.user_auth WHERE account = '" + login + "'",
            "INSERT INTO lin2db.dbo.user_auth VALUES ('" + login + "'," + AbcHash + ",'','',0x0,0x0)",
            "INSERT INTO lin2db.dbo.user_account VALUES ('" + login + "',1,0,0,0,0,null,null,null,0,null,null,null)",
        };
        const std::string uid = Uid(login);
        if (c.expectBuilderRow) {
            expected.push_back("SELECT uid FROM lin2db.dbo.user_account WHERE account = '" + login + "'");
            expected.push_back("INSERT INTO lin2world.dbo.builder_account VALUES ('" + login + "'," +
                               std::to_string(c.gmLevel) + "," + uid + ")");
        }
        EXPECT_EQ(Sent(), expected);
        EXPECT_EQ(StatusLine(), "Account created");
        EXPECT_TRUE(Shown().empty());

        EXPECT_EQ(Rows("SELECT account,password,quiz1,quiz2 FROM lin2db.dbo.user_auth WHERE account = '" + login + "'"),
                  Statements{login + "|" + AbcHash + "||"});
        EXPECT_EQ(Rows("SELECT pay_stat,login_flag,warn_flag,block_flag,block_flag2,last_login FROM "
                       "lin2db.dbo.user_account WHERE account = '" +
                       login + "'"),
                  Statements{"1|0|0|0|0|NULL"});
        EXPECT_EQ(Rows("SELECT default_builder,account_id FROM lin2world.dbo.builder_account WHERE account_name = '" +
                       login + "'"),
                  c.expectBuilderRow ? Statements{std::to_string(c.gmLevel) + "|" + uid} : Statements{});
    }
    // The page keeps its fields and the connection stays open for the next press.
    EXPECT_EQ(Form->LoginEdit->text(), "delta");
    EXPECT_EQ(Form->PassEdit->text(), "abc");
    EXPECT_TRUE(Form->MSConnection1.Connected());
}

TEST_F(CreateAccountTest, EmptyPasswordIsStoredAsTheHashOfTheEmptyText) {
    Create("nopass", "");
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_EQ(Rows("SELECT password FROM lin2db.dbo.user_auth WHERE account = 'nopass'"), Statements{EmptyHash});
}

TEST_F(CreateAccountTest, ExistingLoginAnsweredNoChangesNothing) {
    AddAccount("beta", "0,0", 2);
    const auto authBefore = Rows("SELECT * FROM lin2db.dbo.user_auth");
    Dialogs.Answers = {TDialogAnswer::No};
    Create("beta", "abc", 5);

    EXPECT_EQ(Shown(), (std::vector<TShownDialog>{{TShownKind::YesNo,
                                                   "Account already exists. Would you like to overwrite password?",
                                                   "Comfirmation"}}));
    EXPECT_EQ(Sent(), Statements{"SELECT * FROM lin2db.dbo.user_auth WHERE account = 'beta'"});
    EXPECT_EQ(Rows("SELECT * FROM lin2db.dbo.user_auth"), authBefore);
    EXPECT_EQ(StatusLine(), "");
    // The existence check's result stays open.
    EXPECT_TRUE(Form->MSQuery1.Active());
}

TEST_F(CreateAccountTest, ExistingLoginAnsweredYesReplacesThePasswordOnly) {
    AddAccount("beta", "1,0", 2);
    const auto accountBefore = Rows("SELECT * FROM lin2db.dbo.user_account");
    const auto builderBefore = Rows("SELECT * FROM lin2world.dbo.builder_account");
    Dialogs.Answers = {TDialogAnswer::Yes};
    Create("beta", "abc", 7);  // "GM Account" and the level play no part here

    EXPECT_EQ(Sent(), (Statements{
                          "SELECT * FROM lin2db.dbo.user_auth WHERE account = 'beta'",
                          "UPDATE lin2db.dbo.user_auth SET password = " + AbcHash +
                              ",quiz1 = '',answer1 = 0x0,quiz2 = '',answer2 = 0x0 WHERE account = 'beta'",
                      }));
    EXPECT_EQ(StatusLine(), "Account updated");
    EXPECT_EQ(Rows("SELECT password,quiz1,quiz2,answer1,answer2 FROM lin2db.dbo.user_auth WHERE account = 'beta'"),
              Statements{AbcHash + "|||" + ZeroAnswer + "|" + ZeroAnswer});
    EXPECT_EQ(Rows("SELECT * FROM lin2db.dbo.user_account"), accountBefore);
    EXPECT_EQ(Rows("SELECT * FROM lin2world.dbo.builder_account"), builderBefore);
    EXPECT_FALSE(Form->MSQuery1.Active());
}

TEST_F(CreateAccountTest, PressingCreateAgainAsksToOverwrite) {
    Create("alpha", "abc");
    ASSERT_EQ(StatusLine(), "Account created");
    Dialogs.Answers = {TDialogAnswer::Yes};
    Form->PassEdit->setText("");
    Click(Form->SubmitButton);

    EXPECT_EQ(Shown().size(), 1u);
    EXPECT_EQ(StatusLine(), "Account updated");
    EXPECT_EQ(Rows("SELECT password FROM lin2db.dbo.user_auth WHERE account = 'alpha'"), Statements{EmptyHash});
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_account WHERE account = 'alpha'"), Statements{"1"});
}

TEST_F(CreateAccountTest, UnreachableServerShowsItsMessageAndTheNextPressTriesAgain) {
    PointOptionsAtServer("wrong password");
    Create("alpha", "abc");

    EXPECT_EQ(Shown(), std::vector{Message("Unable to connect to SQL server.")});
    EXPECT_FALSE(Form->MSConnection1.Connected());
    EXPECT_EQ(StatusLine(), "");
    EXPECT_TRUE(Sent().empty());

    // The next press reads the then current "Options" page.
    PointOptionsAtServer();
    Click(Form->SubmitButton);
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(CreateAccountTest, OptionsChangedWhileConnectedAreNotReadAgain) {
    Create("alpha", "abc");
    ASSERT_TRUE(Form->MSConnection1.Connected());
    Form->DBHostEdit->setText("no-such-host");
    Form->DBPassEdit->setText("wrong");
    Create("beta", "abc");

    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_auth"), Statements{"2"});
}

// One transaction: when the account row is refused, the login row inserted before it is undone.
TEST_F(CreateAccountTest, FailingSecondInsertLeavesNoRow) {
    Form->MSQuery1.AfterExecute = [this, executed = 0](TDataSet*, bool) mutable {
        if (++executed == 1)
            server->failNextBatch({ServerError(
                229, 14,
                "The INSERT permission was denied on the object 'user_account', database 'lin2db', schema 'dbo'.")});
    };
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    Create("alpha", "abc", 4);

    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);
    EXPECT_NE(Shown()[0].Text.find("The INSERT permission was denied"), std::string::npos) << Shown()[0].Text;
    EXPECT_EQ(StatusLine(), "");
    EXPECT_EQ(Sent().size(), 3u);  // the handler stopped at the refused statement
    EXPECT_TRUE(Rows("SELECT account FROM lin2db.dbo.user_auth").empty());
    EXPECT_TRUE(Rows("SELECT account FROM lin2db.dbo.user_account").empty());
    EXPECT_TRUE(Rows("SELECT account_name FROM lin2world.dbo.builder_account").empty());
}

// A connection lost in the middle of a press: the error box, the program goes on, and the next press
// connects anew.
TEST_F(CreateAccountTest, LostConnectionMidHandlerShowsTheErrorAndTheNextPressReconnects) {
    Create("alpha", "abc");
    ASSERT_EQ(StatusLine(), "Account created");
    Form->MSQuery1.AfterExecute = [this, executed = 0](TDataSet*, bool) mutable {
        if (++executed == 1) server->dropNextBatch();
    };
    Create("beta", "abc");

    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);
    EXPECT_EQ(StatusLine(), "");
    EXPECT_TRUE(Rows("SELECT account FROM lin2db.dbo.user_auth WHERE account = 'beta'").empty());
    EXPECT_TRUE(Rows("SELECT account FROM lin2db.dbo.user_account WHERE account = 'beta'").empty());

    Form->MSQuery1.AfterExecute = nullptr;
    Create("gamma", "abc");
    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_account WHERE account = 'gamma'"), Statements{"1"});
}

// The account row just inserted is not found again (another tool renamed it meanwhile): no
// game-master row with an empty uid is sent, the operator is told, and nothing of the press stays.
TEST_F(CreateAccountTest, AccountRowNotFoundAgainSendsNoGameMasterRow) {
    // Another client, as the other tool would be.
    TMSConnection other;
    other.SetServer(Address());
    other.SetUsername("sa");
    other.SetPassword("standin");
    TMSQuery rename;
    rename.SetConnection(&other);
    Form->MSQuery1.AfterExecute = [&rename, executed = 0](TDataSet*, bool) mutable {
        if (++executed == 2) {
            rename.SQL().SetText("UPDATE lin2db.dbo.user_account SET account = 'renamed' WHERE account = 'alpha'");
            rename.Execute();
        }
    };
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    Create("alpha", "abc", 4);
    Form->MSQuery1.AfterExecute = nullptr;

    EXPECT_EQ(Shown(), std::vector{Message("Unable to find corresponding account.")});
    // The last statements: the other client's rename, then the press's lookup, and nothing after it.
    ASSERT_EQ(Sent().size(), 5u);
    EXPECT_EQ(Sent().back(), "SELECT uid FROM lin2db.dbo.user_account WHERE account = 'alpha'");
    EXPECT_EQ(StatusLine(), "");
    EXPECT_TRUE(Rows("SELECT account FROM lin2db.dbo.user_auth").empty());
    EXPECT_TRUE(Rows("SELECT account_name FROM lin2world.dbo.builder_account").empty());
}

TEST_F(CreateAccountTest, ShowsTheWaitCursorWhileWaitingOnTheServer) {
    std::vector<bool> busyDuringStatements;
    Form->MSQuery1.AfterExecute = [&busyDuringStatements](TDataSet*, bool) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        busyDuringStatements.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    };
    Create("alpha", "abc", 2);

    EXPECT_EQ(busyDuringStatements, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
