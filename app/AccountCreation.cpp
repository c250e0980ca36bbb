#include "app/AccountCreation.h"

#include "app/AccountStatements.h"
#include "app/CodePageChecks.h"
#include "app/PasswordHash.h"
#include "app/mUnit.h"
#include "framework/Ansi.h"
#include "framework/BusyCursor.h"

#include <QLineEdit>

#include <optional>
#include <string>

namespace {

constexpr const char* EmptyLoginMessage = "Login field could not empty.";
constexpr const char* ConnectFailedMessage = "Unable to connect to SQL server.";
constexpr const char* OverwriteQuestion = "Account already exists. Would you like to overwrite password?";
constexpr const char* OverwriteCaption = "Comfirmation";
constexpr const char* CreatedStatus = "Account created";
constexpr const char* NoAccountMessage = "Unable to find corresponding account.";
constexpr const char* UpdatedStatus = "Account updated";

void SetStatusLine(TMainForm& form, const char* text) {
    form.StatusBar1->SetPanelText(TMainForm::StatusLinePanel, QString::fromLatin1(text));
}

// Read at the moment each statement needs it, as the page's fields are.
std::string Login(const TMainForm& form) { return ToAnsi(form.LoginEdit->text()); }

std::string PasswordHashText(const TMainForm& form) { return HashPassword(ToAnsi(form.PassEdit->text())); }

}  // namespace

void TAccountCreation::Submit() {
    if (Form.LoginEdit->text().isEmpty()) {
        Form.Dialogs().ShowMessage(EmptyLoginMessage);
        return;
    }
    // Both reach the server (the login in SQL, the password as its hash): text the code page would
    // change is refused before anything is sent.
    if (!CodePageHolds(Form.Dialogs(), {{"login", Form.LoginEdit->text()}, {"password", Form.PassEdit->text()}}))
        return;
    // An open connection is used as it is: the "Options" page is read only when connecting.
    if (!Form.MSConnection1.Connected() && !Form.ConnectWithOptions(ConnectFailedMessage)) return;
    SetStatusLine(Form, "");

    TMSQuery& query = Form.MSQuery1;
    int recordCount = 0;
    {
        TBusyCursor busy;
        query.Close();
        query.SQL().Clear();
        AccountSql::OpenQuery(query, AccountSql::ExistenceCheck(Login(Form)));
        recordCount = query.RecordCount();
    }
    if (recordCount <= 0)
        CreateAccount();
    else
        ReplacePasswordAfterConfirmation();
}

void TAccountCreation::CreateAccount() {
    // One transaction: a statement that fails (or an account row that cannot be found again) leaves
    // the tables as they were, so a half-made account never blocks the login; the error reaches the
    // error box.
    TMSQuery& query = Form.MSQuery1;
    try {
        TBusyCursor busy;
        query.Close();
        AccountSql::RunAllOrNothing(query, [this, &query] { InsertAccountRows(query); });
    } catch (const AccountSql::ENoAccount&) {
        Form.Dialogs().ShowMessage(NoAccountMessage);
        return;
    }
    SetStatusLine(Form, CreatedStatus);
}

void TAccountCreation::InsertAccountRows(TMSQuery& query) {
    const std::string login = Login(Form);
    const std::string hash = PasswordHashText(Form);
    AccountSql::RunStatement(query, AccountSql::NewLoginRow(login, hash));

    query.Close();
    AccountSql::RunStatement(query, AccountSql::NewAccountRow(Login(Form)));

    if (Form.GMCheck->Checked()) {
        // The uid is that of the account row just inserted, so this lookup follows the second insert.
        const std::optional<std::string> uid = AccountSql::LookUpUid(query, Login(Form));
        if (!uid) throw AccountSql::ENoAccount();
        AccountSql::RunStatement(query, AccountSql::AddGameMaster(Login(Form), Form.GMLevelEdit->Text(), *uid));
        query.Close();
    }
}

void TAccountCreation::ReplacePasswordAfterConfirmation() {
    // No: nothing changes and the existence check's result stays open.
    if (Form.Dialogs().AskYesNo(OverwriteQuestion, OverwriteCaption) == TDialogAnswer::No) return;
    TBusyCursor busy;
    TMSQuery& query = Form.MSQuery1;
    query.Close();
    const std::string hash = PasswordHashText(Form);
    AccountSql::RunStatement(query, AccountSql::ReplacePassword(hash, Login(Form)));
    SetStatusLine(Form, UpdatedStatus);
}
