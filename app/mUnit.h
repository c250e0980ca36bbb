#pragma once
// The program's one window: three pages ("Create", "Edit", "Options") and a status bar whose second
// panel is the status line that the actions write to. Controls are public members, named by role and
// kind, so handlers and tests reach them directly; Qt's parent tree owns them.
#include "data/MSAccess.h"
#include "data/MSQuery.h"
#include "framework/CheckBox.h"
#include "framework/ComboBox.h"
#include "framework/Form.h"
#include "framework/PageControl.h"
#include "framework/StatusBar.h"
#include "settings/RzCommon.h"
#include "widgets/RzSpnEdt.h"

#include <QSet>
#include <QString>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TMainForm : public TForm {
    Q_OBJECT

public:
    explicit TMainForm(IDialogs& dialogs, QWidget* parent = nullptr);

    static constexpr int CreatePageIndex = 0;
    static constexpr int EditPageIndex = 1;
    static constexpr int OptionsPageIndex = 2;
    static constexpr int StatusLinePanel = 1;

    TPageControl* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    TStatusBar* StatusBar1;

    // "Create"
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* LoginEdit;
    QLineEdit* PassEdit;
    TCheckBox* GMCheck;
    QLabel* GMLevelLabel;
    TRzSpinEdit* GMLevelEdit;
    QPushButton* SubmitButton;

    // "Edit"
    TComboBox* AccountsComboBox;
    QPushButton* LookupButton;
    TCheckBox* GMCheck2;
    QLabel* GMLevelLabel2;
    TRzSpinEdit* GMLevelEdit2;
    TCheckBox* BannedCheck1;
    QPushButton* ApplyEditButton;
    TCheckBox* BannedCheck2;

    // "Options"
    QLabel* Label8;
    QLabel* Label10;
    QLabel* Label11;
    QLineEdit* DBHostEdit;
    QLineEdit* DBLoginEdit;
    QLineEdit* DBPassEdit;
    TCheckBox* SavePassCheckBox;
    QPushButton* DBTestButton;

    // The settings file, read at start and written at close.
    TRzRegIniFile IniFile;
    // The one connection every action uses; once opened it stays open.
    TMSConnection MSConnection1;
    // The one query every action sends its SQL through; each action sets its own text first.
    TMSQuery MSQuery1;

    // State of the "Edit" page.
    bool IsGMAccount = false;   // the selected account had a game-master row when it was selected
    bool LookupActive = false;  // the next "Lookup" press continues the current lookup
    std::string LookupText;     // the text being looked up
    int LookupIndex = 0;        // list position of the last match
    // Listed account names whose bytes from the server the code page did not keep: never acted on.
    QSet<QString> ChangedAccountNames;
    // The settings file's "CodePage" value as read, written back only when it was there.
    std::optional<std::string> CodePageSetting;

    // Handlers.
    void GMCheckClick();
    void GMCheck2Click();
    void PageControl1Change();
    void SubmitButtonClick();
    void AccountsComboBoxSelect();
    void LookupButtonClick();
    void ApplyEditButtonClick();

    // The "Edit" page's account list; loaded only when the connection was closed.
    void LoadAccountList();
    // Showing the "Edit" page: lookup idle, nothing selected, boxes unchecked, level 1, then the list.
    void ResetEditPage();

    // Copies the "Options" page into MSConnection1 (closing it first).
    void ApplyConnectionOptions();
    // The connect step every action uses: copies the options and connects; on any failure shows
    // failureMessage and returns false, leaving the connection closed.
    bool ConnectWithOptions(const std::string& failureMessage);

    // The "Options" page and the settings file: filled from the file when the window is created,
    // written back when it closes (a failed write keeps the window open), tried with "Test".
    void FormCreate();
    void FormClose() override;
    void DBTestButtonClick();
    // Start-up runs FormCreate through this, as the framework runs every handler: an error is shown
    // and the window still opens.
    void DoCreate();

    // The running program file as the application reports it; the settings file is named after it.
    std::string ExeName;
    // Where an installed copy, whose folder cannot be written, keeps its settings file.
    std::string PerUserSettingsFolder;

private:
    void BuildCreatePage();
    void BuildEditPage();
    void BuildOptionsPage();
    void BuildStatusBar();
    void ConnectHandlers();
    void SetTabOrder();

    void ClearStatusLine();
};
