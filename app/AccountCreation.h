#pragma once
// The "Create" button: inserts a new account (login row, account row and, for a game master, the
// game-master row, in that order and in one transaction), or replaces the password of an existing
// login once the operator confirms.
class TMainForm;
class TMSQuery;

class TAccountCreation {
public:
    explicit TAccountCreation(TMainForm& form) : Form(form) {}

    // The whole press, from the empty-login check to the status line.
    void Submit();

private:
    void CreateAccount();
    void InsertAccountRows(TMSQuery& query);
    void ReplacePasswordAfterConfirmation();

    TMainForm& Form;
};
