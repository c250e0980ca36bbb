// The "Edit" page through the real window against the stand-in: the reset on showing it, the account
// list, showing a picked account, the lookup and "Apply".
#include "tests/accounts/AccountsFixture.h"

#include <QLabel>
#include <QStringList>

namespace {

using Statements = std::vector<std::string>;

// What the page shows for the account, and IsGMAccount.
struct PageState {
    bool gmPower;
    int level;
    bool banned1;
    bool banned2;
    bool isGMAccount;
    bool levelEnabled;

    bool operator==(const PageState&) const = default;
};

void PrintTo(const PageState& s, std::ostream* out) {
    *out << "{gm=" << s.gmPower << " level=" << s.level << " banned=" << s.banned1 << "," << s.banned2
         << " IsGMAccount=" << s.isGMAccount << " levelEnabled=" << s.levelEnabled << "}";
}

class EditAccountTest : public AccountsTest {
protected:
    void TypeInList(const QString& text) { Type(Form->AccountsComboBox->lineEdit(), text); }

    PageState Page() const {
        return {Form->GMCheck2->Checked(),
                static_cast<int>(Form->GMLevelEdit2->IntegerValue()),
                Form->BannedCheck1->Checked(),
                Form->BannedCheck2->Checked(),
                Form->IsGMAccount,
                Form->GMLevelEdit2->isEnabled() && Form->GMLevelLabel2->isEnabled()};
    }
};

TEST_F(EditAccountTest, ShowingThePageConnectsAndListsEveryAccountSorted) {
    for (const char* name : {"bali", "Alice", "alien", "Zed", "carol"}) AddAccount(name);
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    ShowEditPage();

    EXPECT_EQ(Sent(), Statements{"SELECT account FROM lin2db.dbo.user_auth"});
    EXPECT_EQ(Items(), (QStringList{"Alice", "alien", "bali", "carol", "Zed"}));
    EXPECT_EQ(Form->AccountsComboBox->ItemIndex(), -1);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "");
    EXPECT_EQ(StatusLine(), "");
    EXPECT_TRUE(Shown().empty());

    // Shown again while connected: no reload, even though the server now has another account.
    AddAccount("dave");
    ShowCreatePage();
    ShowEditPage();
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Items().size(), 5);
}

TEST_F(EditAccountTest, ShowingThePageWhileConnectedKeepsAnEmptyList) {
    AddAccount("alice");
    Create("bob", "abc");  // connects
    ForgetSent();
    ShowEditPage();

    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Form->AccountsComboBox->Count(), 0);
    // Nothing selected, so "Apply" does nothing.
    Click(Form->ApplyEditButton);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(Shown().empty());
}

TEST_F(EditAccountTest, UnreachableServerLeavesTheListAsItWas) {
    AddAccount("alice");
    PointOptionsAtServer("wrong");
    ShowEditPage();

    EXPECT_EQ(Shown(), std::vector{Message("Unable to connect to SQL server.")});
    EXPECT_EQ(Form->AccountsComboBox->Count(), 0);
    EXPECT_FALSE(Form->MSConnection1.Connected());

    // Shown again with the options mended: the list loads.
    PointOptionsAtServer();
    ShowCreatePage();
    ShowEditPage();
    EXPECT_EQ(Items(), QStringList{"alice"});
}

TEST_F(EditAccountTest, ShowingThePageResetsItsState) {
    AddAccount("alice", "1,1", 6);
    AddAccount("bob");
    ShowEditPage();
    Pick("alice");
    ASSERT_EQ(Page(), (PageState{true, 6, true, true, true, true}));
    Form->LookupActive = true;
    Form->LookupText = "li";

    ShowCreatePage();
    ShowEditPage();
    EXPECT_EQ(Form->AccountsComboBox->ItemIndex(), -1);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "");
    // IsGMAccount is set only when an account is shown; the reset leaves it.
    EXPECT_EQ(Page(), (PageState{false, 1, false, false, true, false}));
    EXPECT_FALSE(Form->LookupActive);
    EXPECT_EQ(Form->LookupText, "");

    // A typed text (nothing selected) survives the reset.
    TypeInList("bo");
    ShowCreatePage();
    ShowEditPage();
    EXPECT_EQ(Form->AccountsComboBox->Text(), "bo");
}

// What a picked account shows, for the values the tables can hold.
TEST_F(EditAccountTest, PickingAnAccountShowsItsFlagsAndGameMasterState) {
    struct Case {
        const char* name;
        const char* flags;  // block_flag, block_flag2 as stored
        int gmLevel;        // 0: no builder_account row
        PageState expected;
    };
    const Case cases[] = {
        {"plain", "0,0", 0, {false, 1, false, false, false, false}},
        {"banned", "1,1", 0, {false, 1, true, true, false, false}},
        {"flagtwo", "2,1", 0, {false, 1, false, true, false, false}},  // only 1 counts as blocked
        {"gm", "0,1", 5, {true, 5, false, true, true, true}},
        {"highgm", "1,0", 12, {true, 9, true, false, true, true}},  // the level field's bounds apply
    };
    for (const Case& c : cases) AddAccount(c.name, c.flags, c.gmLevel);
    ShowEditPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSent();
        Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
        Pick(c.name);
        const std::string name = c.name;
        EXPECT_EQ(Sent(),
                  (Statements{
                      "SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = '" + name + "'",
                      "SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '" + name + "'",
                  }));
        EXPECT_EQ(Page(), c.expected);
        EXPECT_EQ(StatusLine(), "");
    }
    EXPECT_TRUE(Shown().empty());
}

// The game server's user_account keeps its block flags NOT NULL; on a table of an older layout that
// allows NULL there, a NULL flag shows as not blocked.
TEST_F(EditAccountTest, NullBlockFlagsOfAnOlderLayoutShowAsNotBlocked) {
    Exec("DROP TABLE lin2db.dbo.user_account");
    Exec(
        "CREATE TABLE lin2db.dbo.user_account (uid int IDENTITY(1,1) NOT NULL, account varchar(14) NOT NULL PRIMARY "
        "KEY,"
        " pay_stat int NULL, login_flag int NULL, warn_flag int NULL, block_flag int NULL, block_flag2 int NULL,"
        " block_end_date datetime NULL, last_login datetime NULL, last_logout datetime NULL,"
        " subscription_flag int NULL, last_world tinyint NULL, last_game int NULL, last_ip varchar(15) NULL)");
    AddAccount("nulls", "null,null");
    ShowEditPage();
    Pick("nulls");
    EXPECT_EQ(Page(), (PageState{false, 1, false, false, false, false}));
    EXPECT_EQ(StatusLine(), "");
    EXPECT_TRUE(Shown().empty());
}

// An account without its user_account row: the message, and the page keeps the previous account's
// state. "Apply" then reports that the account cannot be found instead of success: the game-master
// change it sent first is undone, and without a uid no game-master row is inserted at all.
TEST_F(EditAccountTest, AccountWithoutItsAccountRowKeepsThePreviousState) {
    AddAccount("gm", "1,0", 4);
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES ('orphan',0x01,'','',0x0,0x0)");
    Exec("INSERT INTO lin2world.dbo.builder_account VALUES ('orphan',2,999)");
    ShowEditPage();
    Pick("gm");
    const PageState gmState = Page();
    ForgetSent();

    Pick("orphan");
    EXPECT_EQ(Shown(), std::vector{Message("Unable to find corresponding account.")});
    EXPECT_EQ(Sent(),
              Statements{"SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = 'orphan'"});
    EXPECT_EQ(Page(), gmState);

    ForgetSent();
    Dialogs.Shown.clear();
    Click(Form->ApplyEditButton);
    EXPECT_EQ(Sent(), (Statements{
                          "UPDATE lin2world.dbo.builder_account SET default_builder = 4 WHERE account_name = 'orphan'",
                          "UPDATE lin2db.dbo.user_account SET block_flag = 1,block_flag2 = 0 WHERE account = 'orphan'",
                      }));
    EXPECT_EQ(Shown(), std::vector{Message("Unable to find corresponding account.")});
    EXPECT_EQ(Rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'orphan'"),
              Statements{"2"});
    EXPECT_EQ(StatusLine(), "");
}

TEST_F(EditAccountTest, NewGameMasterWithoutAccountRowSendsNoInsert) {
    AddAccount("plain");
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES ('orphan',0x01,'','',0x0,0x0)");
    ShowEditPage();
    Pick("plain");
    Pick("orphan");
    Dialogs.Shown.clear();
    Form->GMCheck2->SetChecked(true);
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    ForgetSent();
    Click(Form->ApplyEditButton);

    EXPECT_EQ(Sent(), Statements{"SELECT uid FROM lin2db.dbo.user_account WHERE account = 'orphan'"});
    EXPECT_EQ(Shown(), std::vector{Message("Unable to find corresponding account.")});
    EXPECT_EQ(StatusLine(), "earlier");
    EXPECT_TRUE(Rows("SELECT * FROM lin2world.dbo.builder_account").empty());
}

TEST_F(EditAccountTest, LookupWalksThroughTheMatchesCaseSensitivelyWithoutWrapping) {
    for (const char* name : {"Alice", "alien", "bali"}) AddAccount(name);
    ShowEditPage();
    ASSERT_EQ(Items(), (QStringList{"Alice", "alien", "bali"}));

    TypeInList("ali");
    Click(Form->LookupButton);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "alien");
    EXPECT_EQ(Form->AccountsComboBox->ItemIndex(), 1);
    EXPECT_EQ(StatusLine(), "Match found");
    EXPECT_TRUE(Form->LookupActive);
    EXPECT_EQ(Form->LookupText, "ali");
    EXPECT_EQ(Form->LookupIndex, 1);
    // The match is shown like a picked account.
    EXPECT_EQ(Sent().back(), "SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'alien'");

    Click(Form->LookupButton);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "bali");
    EXPECT_EQ(StatusLine(), "Match found");
    EXPECT_EQ(Form->LookupIndex, 2);

    Click(Form->LookupButton);
    EXPECT_EQ(StatusLine(), "No matches found");
    EXPECT_EQ(Form->AccountsComboBox->Text(), "bali");  // the last match stays selected
    EXPECT_FALSE(Form->LookupActive);
    EXPECT_EQ(Form->LookupText, "");

    // Nothing typed and no lookup: the press does nothing at all.
    const size_t sentBefore = Sent().size();
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "kept");
    Click(Form->LookupButton);
    EXPECT_EQ(StatusLine(), "kept");
    EXPECT_EQ(Sent().size(), sentBefore);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(EditAccountTest, TypingWhileALookupIsActiveStartsANewOneFromTheTop) {
    for (const char* name : {"anna", "bella", "carla", "dana"}) AddAccount(name);
    ShowEditPage();
    TypeInList("a");
    Click(Form->LookupButton);
    Click(Form->LookupButton);
    ASSERT_EQ(Form->AccountsComboBox->Text(), "bella");

    TypeInList("na");
    Click(Form->LookupButton);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "anna");
    EXPECT_EQ(Form->LookupText, "na");
    EXPECT_EQ(Form->LookupIndex, 0);

    TypeInList("zz");
    Click(Form->LookupButton);
    EXPECT_EQ(StatusLine(), "No matches found");
    EXPECT_FALSE(Form->LookupActive);
    EXPECT_EQ(Form->AccountsComboBox->ItemIndex(), -1);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "zz");
}

TEST_F(EditAccountTest, LookupMatchWithoutAccountRowShowsTheMessageAndStillReportsTheMatch) {
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES ('orphan',0x01,'','',0x0,0x0)");
    ShowEditPage();
    TypeInList("pha");
    Click(Form->LookupButton);

    EXPECT_EQ(Shown(), std::vector{Message("Unable to find corresponding account.")});
    EXPECT_EQ(StatusLine(), "Match found");
    EXPECT_EQ(Form->AccountsComboBox->Text(), "orphan");
}

// An error while the match is shown leaves the lookup where it was: still active, the old index.
TEST_F(EditAccountTest, LookupErrorWhileShowingTheMatchKeepsTheLookupWhereItWas) {
    for (const char* name : {"xa", "xb", "xc"}) AddAccount(name);
    ShowEditPage();
    TypeInList("x");
    Click(Form->LookupButton);
    ASSERT_EQ(Form->LookupIndex, 0);

    server->failNextBatch({ServerError(1205, 13, "Transaction (Process ID 51) was deadlocked.")});
    Click(Form->LookupButton);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);
    EXPECT_TRUE(Form->LookupActive);
    EXPECT_EQ(Form->LookupIndex, 0);
    EXPECT_EQ(StatusLine(), "");

    // The next press continues after the old match again.
    Click(Form->LookupButton);
    EXPECT_EQ(Form->AccountsComboBox->Text(), "xb");
    EXPECT_EQ(Form->LookupIndex, 1);
}

// "Apply": the three game-master branches, then the block flags write.
TEST_F(EditAccountTest, ApplyWritesTheGameMasterStateAndTheBlockFlags) {
    struct Case {
        const char* name;
        int storedLevel;  // 0: not a game master when picked
        bool gmPower;     // "GM Power" as the operator leaves it
        int level;
        bool banned1, banned2;
        std::vector<std::string> gmStatements;  // before the block flags write; "UID" stands for the uid
        std::vector<std::string> builderRow;
    };
    const Case cases[] = {
        {"remove",
         3,
         false,
         1,
         true,
         false,
         {"DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'remove'"},
         {}},
        {"never",
         0,
         false,
         1,
         false,
         true,
         {"DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'never'"},
         {}},
        {"change",
         3,
         true,
         8,
         false,
         false,
         {"UPDATE lin2world.dbo.builder_account SET default_builder = 8 WHERE account_name = 'change'"},
         {"8"}},
        {"beta",
         0,
         true,
         4,
         true,
         false,
         {"SELECT uid FROM lin2db.dbo.user_account WHERE account = 'beta'",
          "INSERT INTO lin2world.dbo.builder_account VALUES ('beta',4,UID)"},
         {"4|UID"}},
    };
    for (const Case& c : cases) AddAccount(c.name, "0,0", c.storedLevel);
    ShowEditPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pick(c.name);
        Form->GMCheck2->SetChecked(c.gmPower);
        Form->GMLevelEdit2->SetValue(c.level);
        Form->BannedCheck1->SetChecked(c.banned1);
        Form->BannedCheck2->SetChecked(c.banned2);
        ForgetSent();
        Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
        Click(Form->ApplyEditButton);

        const std::string name = c.name;
        const std::string uid = Uid(name);
        auto withUid = [&uid](std::string text) {
            if (const size_t at = text.find("UID"); at != std::string::npos) text.replace(at, 3, uid);
            return text;
        };
        Statements expected;
        for (const std::string& s : c.gmStatements) expected.push_back(withUid(s));
        expected.push_back(std::string("UPDATE lin2db.dbo.user_account SET block_flag = ") + (c.banned1 ? "1" : "0") +
                           ",block_flag2 = " + (c.banned2 ? "1" : "0") + " WHERE account = '" + name + "'");
        EXPECT_EQ(Sent(), expected);
        Statements builderRow;
        for (const std::string& s : c.builderRow) builderRow.push_back(withUid(s));
        EXPECT_EQ(Rows("SELECT default_builder,account_id FROM lin2world.dbo.builder_account WHERE account_name = '" +
                       name + "'")
                      .size(),
                  builderRow.size());
        if (!builderRow.empty()) {
            const std::string columns = c.storedLevel > 0 ? "default_builder" : "default_builder,account_id";
            EXPECT_EQ(
                Rows("SELECT " + columns + " FROM lin2world.dbo.builder_account WHERE account_name = '" + name + "'"),
                builderRow);
        }
        EXPECT_EQ(Rows("SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = '" + name + "'"),
                  Statements{std::string(c.banned1 ? "1" : "0") + "|" + (c.banned2 ? "1" : "0")});
        EXPECT_EQ(StatusLine(), "Account updated");
    }
    EXPECT_TRUE(Shown().empty());
}

TEST_F(EditAccountTest, BlockFlagTwoShowsUncheckedAndApplyWritesZero) {
    AddAccount("two", "2,2");
    ShowEditPage();
    Pick("two");
    Click(Form->ApplyEditButton);
    EXPECT_EQ(Rows("SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = 'two'"),
              Statements{"0|0"});
}

// IsGMAccount is not changed by "Apply": a second press inserts the game-master row again, which the
// server refuses; the block flags write then does not run.
TEST_F(EditAccountTest, ApplyingANewGameMasterTwiceRunsTheInsertAgain) {
    AddAccount("beta");
    ShowEditPage();
    Pick("beta");
    Form->GMCheck2->SetChecked(true);
    Click(Form->ApplyEditButton);
    ASSERT_EQ(StatusLine(), "Account updated");
    ForgetSent();

    Form->BannedCheck1->SetChecked(true);
    Click(Form->ApplyEditButton);
    EXPECT_EQ(Sent(), (Statements{"SELECT uid FROM lin2db.dbo.user_account WHERE account = 'beta'",
                                  "INSERT INTO lin2world.dbo.builder_account VALUES ('beta',1," + Uid("beta") + ")"}));
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);
    EXPECT_NE(Shown()[0].Text.find("PRIMARY KEY"), std::string::npos) << Shown()[0].Text;
    EXPECT_EQ(StatusLine(), "Account updated");  // "Apply" does not clear it first
    EXPECT_EQ(Rows("SELECT block_flag FROM lin2db.dbo.user_account WHERE account = 'beta'"), Statements{"0"});
}

TEST_F(EditAccountTest, ApplyWithNothingSelectedDoesNothing) {
    AddAccount("alice");
    ShowEditPage();
    TypeInList("alice");  // typed, not picked
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "kept");
    ForgetSent();
    Click(Form->ApplyEditButton);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(StatusLine(), "kept");
    EXPECT_TRUE(Shown().empty());
}

// One transaction: the game-master change is undone when the block flags write is refused.
TEST_F(EditAccountTest, GameMasterChangeIsUndoneWhenTheBlockFlagsWriteFails) {
    AddAccount("gm", "0,0", 5);
    ShowEditPage();
    Pick("gm");
    Form->GMCheck2->SetChecked(false);
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    Form->MSQuery1.AfterExecute = [this](TDataSet*, bool) {
        server->failNextBatch({ServerError(
            229, 14,
            "The UPDATE permission was denied on the object 'user_account', database 'lin2db', schema 'dbo'.")});
    };
    Click(Form->ApplyEditButton);
    Form->MSQuery1.AfterExecute = nullptr;

    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_NE(Shown()[0].Text.find("The UPDATE permission was denied"), std::string::npos) << Shown()[0].Text;
    EXPECT_EQ(StatusLine(), "earlier");
    EXPECT_EQ(Rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'gm'"),
              Statements{"5"});
}

TEST_F(EditAccountTest, LostConnectionWhilePickingShowsTheErrorAndTheNextPickReconnects) {
    AddAccount("alice", "1,0");
    AddAccount("bob");
    ShowEditPage();
    server->dropNextBatch();
    Pick("alice");
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].Kind, TShownKind::Error);

    // The program goes on: the next action gets through on a new connection.
    Pick("alice");
    EXPECT_TRUE(Form->BannedCheck1->Checked());
    EXPECT_EQ(Shown().size(), 1u);
}

}  // namespace
