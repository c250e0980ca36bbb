#pragma once
// The "Edit" page: its reset when shown, the account list, showing the picked account, the substring
// lookup that remembers where it stopped, and "Apply". The page's state lives in the window's fields
// (IsGMAccount, LookupActive, LookupText, LookupIndex).
class TMainForm;
class TMSQuery;

class TAccountEditing {
public:
    explicit TAccountEditing(TMainForm& form) : Form(form) {}

    // Showing the page: lookup back to idle, nothing selected, boxes unchecked, level 1, then the list.
    void ResetPage();
    // Fills the list with every account name, but only when the connection was closed.
    void LoadAccountList();
    // Shows the block flags and game-master state of the account named by the list's text.
    void ShowSelectedAccount();
    // Finds the next item containing the looked-up text, case-sensitively, never wrapping.
    void Lookup();
    // Writes the game-master state and the block flags back, in one transaction.
    void Apply();

private:
    void FillAccountList();
    void WriteAccountState(TMSQuery& query);

    TMainForm& Form;
};
