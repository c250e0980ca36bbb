#include "app/AccountEditing.h"

#include "app/AccountStatements.h"
#include "app/CodePageChecks.h"
#include "app/mUnit.h"
#include "framework/Ansi.h"
#include "framework/BusyCursor.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* ConnectFailedMessage = "Unable to connect to SQL server.";
constexpr const char* NoAccountMessage = "Unable to find corresponding account.";
constexpr const char* MatchFoundStatus = "Match found";
constexpr const char* NoMatchStatus = "No matches found";
constexpr const char* UpdatedStatus = "Account updated";

constexpr long double FirstLevel = 1;

void SetStatusLine(TMainForm& form, const char* text) {
    form.StatusBar1->SetPanelText(TMainForm::StatusLinePanel, QString::fromLatin1(text));
}

// Every statement of the page names the account by the list's text.
std::string AccountName(const TMainForm& form) { return ToAnsi(form.AccountsComboBox->Text()); }

// Whether the list's text names an account the page may act on; otherwise says why.
bool AccountNameUsable(TMainForm& form) {
    const QString name = form.AccountsComboBox->Text();
    if (!CodePageHolds(form.Dialogs(), {{"account name", name}})) return false;
    if (form.ChangedAccountNames.contains(name)) {
        form.Dialogs().ShowMessage(ChangedNameMessage());
        return false;
    }
    return true;
}

}  // namespace

void TAccountEditing::ResetPage() {
    Form.LookupActive = false;
    Form.LookupText.clear();
    // Empties the text only when an item was selected; a typed text stays.
    Form.AccountsComboBox->SetItemIndex(-1);
    // Unchecking a checked "GM Power" disables its level field through its click handler.
    Form.GMCheck2->SetChecked(false);
    Form.BannedCheck1->SetChecked(false);
    Form.BannedCheck2->SetChecked(false);
    Form.GMLevelEdit2->SetValue(FirstLevel);
    Form.LoadAccountList();
}

void TAccountEditing::LoadAccountList() {
    // Once connected the list is kept as it is, even when it is empty.
    if (Form.MSConnection1.Connected()) return;
    if (!Form.ConnectWithOptions(ConnectFailedMessage)) return;

    TBusyCursor busy;
    Form.AccountsComboBox->ClearItems();
    Form.ChangedAccountNames.clear();
    try {
        FillAccountList();
    } catch (...) {
        // A list that failed to load is not kept: with the connection closed, the next showing of the
        // page loads it again. The load's own error is the one the operator is shown.
        try {
            Form.MSConnection1.Disconnect();
        } catch (const Exception&) {}
        throw;
    }
}

void TAccountEditing::FillAccountList() {
    TMSQuery& query = Form.MSQuery1;
    AccountSql::OpenQuery(query, AccountSql::ListLoad());
    // Gathered first and handed to the list in one go: the list sorts once instead of once per name.
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(std::max(query.RecordCount(), 0)));
    while (!query.EndOfData()) {
        names.push_back(query.Fields()[0].AsString());
        // Listed all the same, so the operator sees the account exists.
        if (!ServerNameKept(names.back())) Form.ChangedAccountNames.insert(FromAnsi(names.back()));
        query.Next();
    }
    Form.AccountsComboBox->AddAnsiItems(std::move(names));
}

void TAccountEditing::ShowSelectedAccount() {
    SetStatusLine(Form, "");
    if (!AccountNameUsable(Form)) return;
    TMSQuery& query = Form.MSQuery1;
    {
        TBusyCursor busy;
        AccountSql::OpenQuery(query, AccountSql::BlockFlagsRead(AccountName(Form)));
    }
    if (query.EndOfData()) {
        // The page keeps showing what it showed, IsGMAccount included.
        Form.Dialogs().ShowMessage(NoAccountMessage);
        return;
    }
    TBusyCursor busy;
    // Only 1 counts as blocked; 0, 2 and NULL (read as 0) show unchecked.
    Form.BannedCheck1->SetChecked(query.Fields()[0].AsInteger() == 1);
    Form.BannedCheck2->SetChecked(query.Fields()[1].AsInteger() == 1);

    AccountSql::OpenQuery(query, AccountSql::GameMasterRead(AccountName(Form)));
    if (query.EndOfData()) {
        Form.GMCheck2->SetChecked(false);
        Form.GMLevelEdit2->SetValue(FirstLevel);
        Form.IsGMAccount = false;
    } else {
        Form.GMCheck2->SetChecked(true);
        // The level field clamps a stored level outside 1..9 to its bounds.
        Form.GMLevelEdit2->SetValue(query.Fields()[0].AsInteger());
        Form.IsGMAccount = true;
    }
}

void TAccountEditing::Lookup() {
    TComboBox& list = *Form.AccountsComboBox;
    const QString typed = list.Text();
    const bool textTyped = !typed.isEmpty() && list.ItemIndex() == -1;
    if (!textTyped && Form.LookupText.empty()) return;
    SetStatusLine(Form, "");

    int start = Form.LookupIndex + 1;
    if (textTyped || !Form.LookupActive) {
        if (!CodePageHolds(Form.Dialogs(), {{"account name", typed}})) return;
        // A typed text always starts a new lookup from the top.
        Form.LookupText = ToAnsi(typed);
        Form.LookupActive = true;
        start = 0;
    }
    // Items hold the names decoded from the code page, and decoding keeps every difference between
    // the bytes it keeps, so a case-sensitive search for the decoded text is the substring test.
    const int match = list.FindContaining(FromAnsi(Form.LookupText), start);
    if (match < 0) {
        SetStatusLine(Form, NoMatchStatus);
        Form.LookupText.clear();
        Form.LookupActive = false;
        return;
    }
    list.SetItemIndex(match);
    // Selecting from code raises no select event, so the account is shown here.
    Form.AccountsComboBoxSelect();
    SetStatusLine(Form, MatchFoundStatus);
    // Set last: an error while the match is shown leaves the lookup where it was.
    Form.LookupIndex = match;
}

void TAccountEditing::Apply() {
    if (Form.AccountsComboBox->ItemIndex() < 0) return;
    if (!AccountNameUsable(Form)) return;
    TMSQuery& query = Form.MSQuery1;
    // One transaction: the game-master change and the block flags write take effect together or not
    // at all.
    try {
        TBusyCursor busy;
        AccountSql::RunAllOrNothing(query, [this, &query] { WriteAccountState(query); });
    } catch (const AccountSql::ENoAccount&) {
        Form.Dialogs().ShowMessage(NoAccountMessage);
        return;
    }
    SetStatusLine(Form, UpdatedStatus);
}

void TAccountEditing::WriteAccountState(TMSQuery& query) {
    if (!Form.GMCheck2->Checked()) {
        AccountSql::RunStatement(query, AccountSql::RemoveGameMaster(AccountName(Form)));
    } else if (Form.IsGMAccount) {
        AccountSql::RunStatement(query, AccountSql::ChangeLevel(Form.GMLevelEdit2->Text(), AccountName(Form)));
    } else {
        // Without an account row there is no uid to give the game-master row.
        const std::optional<std::string> uid = AccountSql::LookUpUid(query, AccountName(Form));
        if (!uid) throw AccountSql::ENoAccount();
        AccountSql::RunStatement(query, AccountSql::AddGameMaster(AccountName(Form), Form.GMLevelEdit2->Text(), *uid));
    }
    // The account row is the one the flags live in: changing none means there is no such account.
    const int changed = AccountSql::RunStatement(
        query,
        AccountSql::BlockFlagsWrite(Form.BannedCheck1->Checked(), Form.BannedCheck2->Checked(), AccountName(Form)));
    if (changed == 0) throw AccountSql::ENoAccount();
}
