// Every statement of every handler, with the server dropping the connection there or being killed
// there, and with the server refusing it: the operator sees the driver's or the server's own text, the
// tables of an all-or-nothing action are exactly as before the press, and the next press (and the next
// switch to "Edit") works.
#include "tests/accounts/AccountsFixture.h"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <ostream>

namespace {

using Statements = std::vector<std::string>;

enum class Fault { Drop, Kill, Refuse };

enum class Kind { CreateNew, ReplacePassword, LoadList, PickAccount, ApplyNewGameMaster, ApplyLevel, ApplyRemoval };

// One action of the window, as the operator starts it.
struct Action {
    Kind kind;
    const char* name;
    int statements;       // how many statements it sends when nothing goes wrong
    bool allOrNothing;    // runs in one transaction
    const char* success;  // the status line it leaves
};

const Action CreateNew{Kind::CreateNew, "create a game-master account", 5, true, "Account created"};
const Action ReplacePassword{Kind::ReplacePassword, "replace a password", 2, false, "Account updated"};
const Action LoadList{Kind::LoadList, "show the Edit page", 1, false, ""};
const Action PickAccount{Kind::PickAccount, "pick an account", 2, false, ""};
const Action ApplyNewGameMaster{Kind::ApplyNewGameMaster, "apply a new game master", 3, true, "Account updated"};
const Action ApplyLevel{Kind::ApplyLevel, "apply a level change", 2, true, "Account updated"};
const Action ApplyRemoval{Kind::ApplyRemoval, "apply a game-master removal", 2, true, "Account updated"};

struct Case {
    Action action;
    int position;  // 1-based statement that suffers the fault
    Fault fault;
};

void PrintTo(const Case& c, std::ostream* out) {
    static constexpr const char* Faults[] = {"drop", "kill", "refuse"};
    *out << c.action.name << ", " << Faults[static_cast<int>(c.fault)] << " at statement " << c.position;
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const Action& action :
         {CreateNew, ReplacePassword, LoadList, PickAccount, ApplyNewGameMaster, ApplyLevel, ApplyRemoval}) {
        for (int position = 1; position <= action.statements; ++position) {
            for (Fault fault : {Fault::Drop, Fault::Kill, Fault::Refuse}) cases.push_back({action, position, fault});
        }
    }
    return cases;
}

// Everything an action may change, one line per row.
const char* const TableDump[] = {
    "SELECT account, password FROM lin2db.dbo.user_auth",
    "SELECT account, uid, block_flag, block_flag2 FROM lin2db.dbo.user_account",
    "SELECT account_name, default_builder, account_id FROM lin2world.dbo.builder_account",
};

class LostConnectionTest : public AccountsTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        // Killed servers come back from this file, as a restarted server does.
        dataFile = testing::TempDir() + "lost_connection_" + std::to_string(::getpid()) + ".dat";
        std::remove(dataFile.c_str());
        AccountsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Restart();
    }

    void TearDown() override {
        AccountsTest::TearDown();
        std::remove(dataFile.c_str());
    }

    // A server keeping its tables in dataFile, on the same port as before once there was one.
    void Restart() {
        standin::ServerOptions options;
        options.dataFile = dataFile;
        options.port = port;
        server.reset();
        server = std::make_unique<standin::Server>(options);
        server->start();
        port = server->port();
        PointOptionsAtServer();
    }

    Statements Tables() {
        Statements rows;
        for (const char* sql : TableDump) {
            for (const std::string& row : Rows(sql)) rows.push_back(row);
        }
        return rows;
    }

    // Before the statement at position: 1 is the first statement the action sends.
    void ArmFault(const Case& c) {
        int completed = 0;
        auto arm = [this, c, &completed, armed = false]() mutable {
            if (armed || completed != c.position - 1) return;
            armed = true;
            switch (c.fault) {
            case Fault::Drop: server->dropNextBatch(); break;
            case Fault::Refuse:
                server->failNextBatch({ServerError(229, 14, "The permission was denied on the object.")});
                break;
            case Fault::Kill: server->stop(); break;
            }
        };
        // The statements are counted as they finish; a query's own start is the other place to arm it.
        armAction = arm;
        completedCount = &completed;
        Form->MSQuery1.BeforeOpen = [this](TDataSet*) { armAction(); };
        Form->MSQuery1.AfterOpen = [this](TDataSet*) {
            ++*completedCount;
            armAction();
        };
        Form->MSQuery1.AfterExecute = [this](TDataSet*, bool ok) {
            if (!ok) return;
            ++*completedCount;
            armAction();
        };
        if (Form->MSConnection1.Connected()) armAction();
        Perform(c.action);
        Form->MSQuery1.BeforeOpen = nullptr;
        Form->MSQuery1.AfterOpen = nullptr;
        Form->MSQuery1.AfterExecute = nullptr;
        completedCount = nullptr;
    }

    // Brings the window to where the action starts: the accounts exist, the page shows what it needs.
    void Prepare(const Action& action) {
        AddAccount("alice", "0,0", 5);
        AddAccount("bob");
        if (action.kind == Kind::CreateNew) {
            ASSERT_TRUE(Form->ConnectWithOptions("Unable to connect to SQL server."));
        } else if (action.kind == Kind::ReplacePassword) {
            ASSERT_TRUE(Form->ConnectWithOptions("Unable to connect to SQL server."));
            Form->LoginEdit->setText("bob");
            Form->PassEdit->setText("abc");
        } else if (action.kind == Kind::LoadList) {
            ShowOptionsPage();
        } else {
            ShowEditPage();
            if (action.kind != Kind::PickAccount) Pick(action.kind == Kind::ApplyNewGameMaster ? "bob" : "alice");
            if (action.kind == Kind::ApplyNewGameMaster) {
                Form->GMCheck2->SetChecked(true);
                Form->GMLevelEdit2->SetValue(4);
            } else if (action.kind == Kind::ApplyLevel) {
                Form->GMLevelEdit2->SetValue(8);
            } else if (action.kind == Kind::ApplyRemoval) {
                Form->GMCheck2->SetChecked(false);
            }
            Form->BannedCheck1->SetChecked(true);
        }
        Dialogs.Shown.clear();
        Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    }

    void Perform(const Action& action) {
        if (action.kind == Kind::CreateNew) {
            Create("carol", "abc", 3);
        } else if (action.kind == Kind::ReplacePassword) {
            Dialogs.Answers.push_back(TDialogAnswer::Yes);
            Click(Form->SubmitButton);
        } else if (action.kind == Kind::LoadList) {
            ShowEditPage();
        } else if (action.kind == Kind::PickAccount) {
            Pick("alice");
        } else {
            Click(Form->ApplyEditButton);
        }
    }

    void ShowOptionsPage() { ClickTab(TMainForm::OptionsPageIndex); }

    // The boxes shown, without the Yes/No question that replacing a password asks.
    std::vector<TShownDialog> Boxes() const {
        std::vector<TShownDialog> boxes;
        for (const TShownDialog& shown : Shown()) {
            if (shown.Kind != TShownKind::YesNo) boxes.push_back(shown);
        }
        return boxes;
    }

    std::string dataFile;
    uint16_t port = 0;
    std::function<void()> armAction;
    int* completedCount = nullptr;
};

TEST_P(LostConnectionTest, OperatorSeesTheReasonAndTheNextPressWorks) {
    const Case c = GetParam();
    Prepare(c.action);
    const Statements before = Tables();

    ArmFault(c);
    if (c.fault == Fault::Kill) {
        // The press found the server gone; it is back for the next one.
        Restart();
    }

    // One box, with the driver's or the server's own words.
    ASSERT_EQ(Boxes().size(), 1u) << ::testing::PrintToString(Shown());
    const TShownDialog shown = Boxes()[0];
    EXPECT_EQ(shown.Kind, TShownKind::Error) << shown.Text;
    EXPECT_NE(shown.Text, "Unknown error.");
    EXPECT_FALSE(shown.Text.empty());
    if (c.fault == Fault::Refuse) {
        EXPECT_NE(shown.Text.find("The permission was denied"), std::string::npos) << shown.Text;
    }
    if (*c.action.success != '\0') {
        EXPECT_NE(StatusLine().toStdString(), c.action.success) << "reported success after a failure";
    }
    if (c.action.allOrNothing) {
        EXPECT_EQ(Tables(), before) << "the press left part of its work behind";
    }

    // The next press works: the same action once more, with nothing in the way.
    Dialogs.Shown.clear();
    Dialogs.Answers.clear();
    Form->StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "earlier");
    if (c.action.kind == Kind::LoadList) ShowOptionsPage();
    Perform(c.action);
    EXPECT_TRUE(Boxes().empty()) << ::testing::PrintToString(Shown());
    if (*c.action.success != '\0') {
        EXPECT_EQ(StatusLine().toStdString(), c.action.success);
    }

    // And the next switch to "Edit" shows a list: reloaded when the connection was closed, the one
    // already loaded otherwise.
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES ('zed',0x01,'','',0x0,0x0)");
    const bool wasConnected = Form->MSConnection1.Connected();
    ShowOptionsPage();
    ShowEditPage();
    EXPECT_TRUE(Boxes().empty()) << ::testing::PrintToString(Shown());
    if (!wasConnected) {
        EXPECT_TRUE(Items().contains("zed")) << Items().join(',').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStatement, LostConnectionTest, ::testing::ValuesIn(AllCases()));

}  // namespace
