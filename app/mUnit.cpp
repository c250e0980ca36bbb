#include "app/mUnit.h"

#include "app/AccountCreation.h"
#include "app/AccountEditing.h"
#include "app/CodePageChecks.h"
#include "app/ConnectionOptions.h"
#include "app/SettingsLocation.h"
#include "app/Version.h"
#include "framework/Ansi.h"
#include "framework/BusyCursor.h"
#include "framework/SingleLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <initializer_list>

namespace {

constexpr int ClientWidth = 236;
constexpr int ClientHeight = 186;
constexpr int StatusBarHeight = 19;
constexpr int FirstPanelWidth = 120;
constexpr int StatusLineDeclaredWidth = 50;

// Level fields hold a game-master level.
constexpr long double MinLevel = 1;
constexpr long double MaxLevel = 9;

// Positions and sizes are in pixels at 96 DPI; Qt scales them with the screen.
template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

// Labels size themselves to their caption, so a font wider than the original never cuts a caption
// short; they never get smaller than laid out.
QLabel* MakeLabel(QWidget* page, const char* name, const char* caption, int left, int top, int width, int height) {
    auto* label = Place(new QLabel(QString::fromLatin1(caption), page), name, left, top, width, height);
    label->resize(std::max(width, label->sizeHint().width()), height);
    return label;
}

QLineEdit* MakeEdit(QWidget* page, const char* name, int left, int top, int width, int height) {
    auto* edit = Place(new QLineEdit(page), name, left, top, width, height);
    MakeSingleLine(*edit);
    return edit;
}

QPushButton* MakeButton(QWidget* page, const char* name, const char* caption, int left, int top, int width,
                        int height) {
    return Place(new QPushButton(QString::fromLatin1(caption), page), name, left, top, width, height);
}

TCheckBox* MakeCheckBox(QWidget* page, const char* name, const char* caption, int left, int top, int width,
                        int height) {
    return Place(new TCheckBox(QString::fromLatin1(caption), page), name, left, top, width, height);
}

TRzSpinEdit* MakeLevelEdit(QWidget* page, const char* name, int left, int top, int width, int height) {
    auto* edit = Place(new TRzSpinEdit(page), name, left, top, width, height);
    // In this order, as the stored form applies them: the text goes "0", then "1" once Min is 1.
    edit->SetMax(MaxLevel);
    edit->SetMin(MinLevel);
    edit->SetValue(MinLevel);
    edit->setEnabled(false);
    return edit;
}

// The "Options" field each login setting comes from.
std::string SettingField(TConnectSetting setting) {
    switch (setting) {
    case TConnectSetting::Server: return "Database  Host";
    case TConnectSetting::Username: return "Login";
    case TConnectSetting::Password: return "Password";
    }
    return {};
}

// The families of the list that are installed, in its order. A family that is not installed sends
// the font system through its substitutes before the first paint, only to take the next one.
QStringList InstalledFamilies(const QStringList& wanted) {
    const QStringList installed = QFontDatabase::families();
    QStringList present;
    for (const QString& family : wanted) {
        if (installed.contains(family, Qt::CaseInsensitive)) present.append(family);
    }
    // With none of them installed the font system picks its own substitute, as it always did.
    return present.isEmpty() ? wanted : present;
}

void Toggle(QWidget* control) { control->setEnabled(!control->isEnabled()); }

}  // namespace

TMainForm::TMainForm(IDialogs& dialogs, QWidget* parent) : TForm(dialogs, parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Vantor Account Creator (vantoroff)"));
    SetFixedClientSize(ClientWidth, ClientHeight);

    // "MS Sans Serif" 8 points: 11 pixels high at 96 DPI; where it is missing, fonts of the same width.
    QFont font;
    font.setFamilies(InstalledFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                                        QStringLiteral("Liberation Sans"), QStringLiteral("Arial")}));
    font.setPixelSize(11);
    setFont(font);

    QPalette buttonFace = palette();
    buttonFace.setColor(QPalette::Window, buttonFace.color(QPalette::Button));
    setPalette(buttonFace);
    setAutoFillBackground(true);

    PageControl1 = Place(new TPageControl(this), "PageControl1", 0, 0, ClientWidth, ClientHeight - StatusBarHeight);
    TabSheet1 = PageControl1->AddPage(QStringLiteral("TabSheet1"), QStringLiteral("Create"));
    TabSheet2 = PageControl1->AddPage(QStringLiteral("TabSheet2"), QStringLiteral("Edit"));
    TabSheet3 = PageControl1->AddPage(QStringLiteral("TabSheet3"), QStringLiteral("Options"));

    BuildCreatePage();
    BuildEditPage();
    BuildOptionsPage();
    BuildStatusBar();
    SetTabOrder();
    ConnectHandlers();

    IniFile.SetPath("vnac.ini");
    ExeName = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    PerUserSettingsFolder = UserSettingsFolder();
    MSConnection1.SetDatabase("master");
    MSConnection1.SetAuthentication(TMSAuthentication::auServer);
    MSQuery1.SetConnection(&MSConnection1);
    MSQuery1.SQL().SetText("select * from lin2db.dbo.user_auth");
    PageControl1->SetActivePageIndex(CreatePageIndex);
}

void TMainForm::BuildCreatePage() {
    QWidget* page = TabSheet1;
    Label1 = MakeLabel(page, "Label1", "Login", 13, 12, 26, 13);
    Label2 = MakeLabel(page, "Label2", "Password", 13, 38, 46, 13);
    LoginEdit = MakeEdit(page, "LoginEdit", 76, 9, 133, 21);
    PassEdit = MakeEdit(page, "PassEdit", 76, 34, 133, 21);
    GMCheck = MakeCheckBox(page, "GMCheck", "GM Account", 12, 74, 82, 17);
    GMLevelLabel = MakeLabel(page, "GMLevelLabel", "GM Level", 108, 76, 46, 13);
    GMLevelLabel->setEnabled(false);
    GMLevelEdit = MakeLevelEdit(page, "GMLevelEdit", 160, 72, 47, 21);
    SubmitButton = MakeButton(page, "SubmitButton", "Create", 77, 104, 75, 25);
}

void TMainForm::BuildEditPage() {
    QWidget* page = TabSheet2;
    AccountsComboBox = Place(new TComboBox(page), "AccountsComboBox", 12, 10, 121, 21);
    AccountsComboBox->setMaxVisibleItems(7);
    MakeSingleLine(*AccountsComboBox->lineEdit());
    LookupButton = MakeButton(page, "LookupButton", "Lookup", 144, 10, 68, 20);
    GMCheck2 = MakeCheckBox(page, "GMCheck2", "GM Power", 12, 50, 82, 17);
    GMLevelLabel2 = MakeLabel(page, "GMLevelLabel2", "GM Level", 108, 52, 46, 13);
    GMLevelLabel2->setEnabled(false);
    GMLevelEdit2 = MakeLevelEdit(page, "GMLevelEdit2", 160, 48, 47, 21);
    BannedCheck1 = MakeCheckBox(page, "BannedCheck1", "Banned (flag 1)", 12, 74, 97, 17);
    ApplyEditButton = MakeButton(page, "ApplyEditButton", "Apply", 136, 108, 75, 21);
    BannedCheck2 = MakeCheckBox(page, "BannedCheck2", "Banned (flag 2)", 12, 98, 97, 17);
}

void TMainForm::BuildOptionsPage() {
    QWidget* page = TabSheet3;
    Label8 = MakeLabel(page, "Label8", "Database  Host", 9, 11, 74, 13);
    Label10 = MakeLabel(page, "Label10", "Login", 9, 35, 26, 13);
    Label11 = MakeLabel(page, "Label11", "Password", 9, 59, 46, 13);
    DBHostEdit = MakeEdit(page, "DBHostEdit", 89, 7, 121, 21);
    DBLoginEdit = MakeEdit(page, "DBLoginEdit", 89, 31, 121, 21);
    DBPassEdit = MakeEdit(page, "DBPassEdit", 89, 55, 121, 21);
    SavePassCheckBox = MakeCheckBox(page, "SavePassCheckBox", "Save password", 16, 100, 97, 17);
    SavePassCheckBox->SetChecked(true);
    DBTestButton = MakeButton(page, "DBTestButton", "Test", 130, 97, 75, 25);
}

void TMainForm::BuildStatusBar() {
    StatusBar1 =
        Place(new TStatusBar(this), "StatusBar1", 0, ClientHeight - StatusBarHeight, ClientWidth, StatusBarHeight);
    StatusBar1->AddPanel(FirstPanelWidth);
    StatusBar1->AddPanel(StatusLineDeclaredWidth);
    // The first panel names the version, so an operator can tell which build runs.
    StatusBar1->SetPanelText(0, QStringLiteral("Version %1").arg(QString::fromLatin1(ProgramVersion)));
}

void TMainForm::SetTabOrder() {
    // Within each page in the order of the page's table; hidden pages drop out of the chain by themselves.
    const std::initializer_list<QWidget*> chain = {
        PageControl1->tabBar(), LoginEdit,    PassEdit,    GMCheck,      GMLevelEdit,      SubmitButton,
        AccountsComboBox,       LookupButton, GMCheck2,    GMLevelEdit2, BannedCheck1,     ApplyEditButton,
        BannedCheck2,           DBHostEdit,   DBLoginEdit, DBPassEdit,   SavePassCheckBox, DBTestButton};
    QWidget* previous = nullptr;
    for (QWidget* control : chain) {
        if (previous != nullptr) QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void TMainForm::ConnectHandlers() {
    connect(PageControl1, &TPageControl::Change, this, Guard.Bind([this] { PageControl1Change(); }));
    connect(GMCheck, &TCheckBox::Click, this, Guard.Bind([this] { GMCheckClick(); }));
    connect(GMCheck2, &TCheckBox::Click, this, Guard.Bind([this] { GMCheck2Click(); }));
    connect(DBTestButton, &QPushButton::clicked, this, Guard.Bind([this] { DBTestButtonClick(); }));
    connect(SubmitButton, &QPushButton::clicked, this, Guard.Bind([this] { SubmitButtonClick(); }));
    connect(AccountsComboBox, &TComboBox::Select, this, Guard.Bind([this] { AccountsComboBoxSelect(); }));
    connect(LookupButton, &QPushButton::clicked, this, Guard.Bind([this] { LookupButtonClick(); }));
    connect(ApplyEditButton, &QPushButton::clicked, this, Guard.Bind([this] { ApplyEditButtonClick(); }));
}

void TMainForm::GMCheckClick() {
    // Toggles rather than follows the box: box and fields start unchecked and disabled, and the box
    // raises a click on every change of state, so the two stay in step.
    Toggle(GMLevelLabel);
    Toggle(GMLevelEdit);
}

void TMainForm::GMCheck2Click() {
    Toggle(GMLevelLabel2);
    Toggle(GMLevelEdit2);
}

void TMainForm::PageControl1Change() {
    ClearStatusLine();
    if (PageControl1->ActivePageIndex() == EditPageIndex) ResetEditPage();
}

void TMainForm::SubmitButtonClick() { TAccountCreation(*this).Submit(); }

void TMainForm::ResetEditPage() { TAccountEditing(*this).ResetPage(); }

void TMainForm::LoadAccountList() { TAccountEditing(*this).LoadAccountList(); }

void TMainForm::AccountsComboBoxSelect() { TAccountEditing(*this).ShowSelectedAccount(); }

void TMainForm::LookupButtonClick() { TAccountEditing(*this).Lookup(); }

void TMainForm::ApplyEditButtonClick() { TAccountEditing(*this).Apply(); }

void TMainForm::ClearStatusLine() { StatusBar1->SetPanelText(StatusLinePanel, QString()); }

void TMainForm::ApplyConnectionOptions() {
    MSConnection1.SetConnected(false);
    MSConnection1.SetServer(ToAnsi(DBHostEdit->text()));
    MSConnection1.SetUsername(ToAnsi(DBLoginEdit->text()));
    MSConnection1.SetPassword(ToAnsi(DBPassEdit->text()));
}

bool TMainForm::ConnectWithOptions(const std::string& failureMessage) {
    ApplyConnectionOptions();
    // The driver would be given other characters than the ones typed: refused, the connection closed.
    for (const auto& [field, edit] : {std::pair{"database host", DBHostEdit}, std::pair{"SQL login", DBLoginEdit},
                                      std::pair{"SQL password", DBPassEdit}}) {
        if (!AnsiCanHold(edit->text())) {
            Dialogs().ShowMessage(failureMessage + "\n" + CannotHoldMessage(field));
            return false;
        }
    }
    try {
        TBusyCursor busy;
        MSConnection1.Connect();
    } catch (const EConnectSettingError& e) {
        // Refused before anything was sent: the operator learns which field to change.
        Dialogs().ShowMessage(failureMessage + "\n\"" + SettingField(e.Setting) + "\" holds " + e.Characters +
                              ", which the ODBC driver in use cannot be given.");
        return false;
    } catch (...) {
        // Whatever went wrong, the operator gets the action's own message; the reason is not shown.
        Dialogs().ShowMessage(failureMessage);
        return false;
    }
    return true;
}

void TMainForm::FormCreate() { TConnectionOptions(*this).Load(); }

void TMainForm::DoCreate() {
    Guard.Run([this] { FormCreate(); });
}

void TMainForm::FormClose() { TConnectionOptions(*this).Save(); }

void TMainForm::DBTestButtonClick() { TConnectionOptions(*this).Test(); }
