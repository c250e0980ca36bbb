// The "Create" and "Edit" pages against the server under test: the in-process stand-in, or the server
// VAC_TEST_SERVER names, which may hold other people's accounts. Only accounts of the tests' own, made
// and removed here; what reached the server is read back with queries, not from a statement log.
#include "tests/accounts/AccountsFixture.h"

namespace {

using Statements = std::vector<std::string>;

const std::string AbcHash = "0x35F2BE8FCE597F7F4AD3F5F538A28484";  // the hash of "abc"

class ServerAccountsTest : public AccountsTest {
protected:
    void SetUp() override {
        target = std::make_unique<vactest::ServerUnderTest>();
        scratch = std::make_unique<vactest::Scratch>(*target);
        Form = std::make_unique<TMainForm>(Dialogs);
        const vactest::ServerLogin& login = target->Login();
        Form->DBHostEdit->setText(QString::fromStdString(login.address));
        Form->DBLoginEdit->setText(QString::fromStdString(login.user));
        Form->DBPassEdit->setText(QString::fromStdString(login.password));
        Form->ShowCentred();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }

    void TearDown() override {
        Form.reset();
        scratch.reset();
        target.reset();
    }

    // A name of this test's own, removed with its rows when the test ends.
    std::string OwnAccount() {
        const std::string name = vactest::ScratchName("va");
        scratch->UndoAccount(name);
        return name;
    }

    Statements Column(const std::string& sql) { return scratch->Column(sql); }

    std::unique_ptr<vactest::ServerUnderTest> target;
    std::unique_ptr<vactest::Scratch> scratch;
};

TEST_F(ServerAccountsTest, CreateMakesTheThreeRowsAndASecondPressReplacesThePassword) {
    const std::string name = OwnAccount();
    Create(QString::fromStdString(name), "abc", 3);
    ASSERT_EQ(StatusLine(), "Account created");
    EXPECT_TRUE(Shown().empty());
    const std::string where = " WHERE account = '" + name + "'";
    // Compared on the server: drivers write binary as text in different cases.
    const std::string withAbc = "SELECT COUNT(*) FROM lin2db.dbo.user_auth" + where + " AND password = " + AbcHash;
    EXPECT_EQ(Column(withAbc), Statements{"1"});
    const Statements uid = Column("SELECT uid FROM lin2db.dbo.user_account" + where);
    ASSERT_EQ(uid.size(), 1u);
    const std::string builder = " FROM lin2world.dbo.builder_account WHERE account_name = '" + name + "'";
    EXPECT_EQ(Column("SELECT default_builder" + builder), Statements{"3"});
    EXPECT_EQ(Column("SELECT account_id" + builder), uid);

    Dialogs.Answers = {TDialogAnswer::Yes};
    Form->PassEdit->setText("other");
    Click(Form->SubmitButton);
    EXPECT_EQ(Shown().size(), 1u) << "asked to overwrite";
    EXPECT_EQ(StatusLine(), "Account updated");
    EXPECT_EQ(Column(withAbc), Statements{"0"});
    EXPECT_EQ(Column("SELECT COUNT(*) FROM lin2db.dbo.user_auth" + where), Statements{"1"});
    EXPECT_EQ(Column("SELECT COUNT(*) FROM lin2db.dbo.user_account" + where), Statements{"1"});
}

TEST_F(ServerAccountsTest, EditListsTheAccountAndApplyWritesItsFlagsAndLevel) {
    const std::string name = OwnAccount();
    Create(QString::fromStdString(name), "abc", 2);
    ASSERT_EQ(StatusLine(), "Account created");
    // The list loads when the page is shown with the connection closed.
    Form->MSConnection1.Disconnect();
    ShowEditPage();
    TComboBox& box = *Form->AccountsComboBox;
    const int index = box.findText(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
    ASSERT_GE(index, 0) << "listed";
    box.SetItemIndex(index);
    emit box.activated(index);
    EXPECT_TRUE(Form->GMCheck2->Checked());
    EXPECT_EQ(Form->GMLevelEdit2->IntegerValue(), 2);
    EXPECT_FALSE(Form->BannedCheck1->Checked());

    Form->GMLevelEdit2->SetValue(7);
    Form->BannedCheck1->SetChecked(true);
    Click(Form->ApplyEditButton);
    EXPECT_EQ(StatusLine(), "Account updated");
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(Column("SELECT block_flag FROM lin2db.dbo.user_account WHERE account = '" + name + "'"), Statements{"1"});
    EXPECT_EQ(Column("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '" + name + "'"),
              Statements{"7"});
}

}  // namespace
