// The main window: every control where it belongs, the game-master boxes driving their level fields,
// the page change, the status bar.
#include "app/mUnit.h"
#include "tests/framework/support/ApplicationEnvironment.h"
#include "tests/framework/support/RecordingDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

VAC_USE_APPLICATION_ENVIRONMENT();

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void Show() {
        Form.ShowCentred();
        Form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    }

    // The operator clicks a page's tab.
    void ClickTab(int index) {
        QTabBar* tabs = Form.PageControl1->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    QString StatusLine() const { return Form.StatusBar1->PanelText(TMainForm::StatusLinePanel); }

    // Everything the operator can see or the handlers keep, except the status line.
    std::map<QString, QString> Snapshot() const {
        std::map<QString, QString> state;  // printed readably through QtPrinters.h
        for (const QWidget* control : Form.findChildren<QWidget*>()) {
            const QString name = control->objectName();
            if (name.isEmpty() || name.startsWith("qt_")) continue;
            QString value = control->isEnabled() ? "enabled" : "disabled";
            if (const auto* button = qobject_cast<const QAbstractButton*>(control))
                value += QString(" checked=%1 text=%2").arg(button->isChecked()).arg(button->text());
            if (const auto* edit = qobject_cast<const QLineEdit*>(control)) value += " text=" + edit->text();
            if (const auto* box = qobject_cast<const TComboBox*>(control))
                value += QString(" index=%1 count=%2").arg(box->ItemIndex()).arg(box->Count());
            state[name] = value;
        }
        state["StatusBar1.Panel0"] = Form.StatusBar1->PanelText(0);
        state["IsGMAccount"] = QString::number(Form.IsGMAccount);
        state["LookupActive"] = QString::number(Form.LookupActive);
        state["LookupText"] = QString::fromStdString(Form.LookupText);
        state["LookupIndex"] = QString::number(Form.LookupIndex);
        return state;
    }

    TRecordingDialogs Dialogs;
    TMainForm Form{Dialogs};
};

QString Caption(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    return {};
}

}  // namespace

TEST_F(MainWindowTest, TheWindowItself) {
    Show();
    EXPECT_EQ(Form.windowTitle(), "Vantor Account Creator (vantoroff)");
    EXPECT_EQ(Form.size(), QSize(236, 186));
    EXPECT_EQ(Form.minimumSize(), Form.maximumSize()) << "not resizable";
    EXPECT_FALSE(Form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(Form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(Form.font().pixelSize(), 11);
    // Only installed families are named (a missing one costs a substitute search at start-up), and the
    // set-up script installs Liberation Sans, the stand-in of the same width.
    const QStringList installed = QFontDatabase::families();
    ASSERT_FALSE(Form.font().families().isEmpty());
    for (const QString& family : Form.font().families())
        EXPECT_TRUE(installed.contains(family, Qt::CaseInsensitive)) << family.toStdString();
    EXPECT_TRUE(Form.font().families().contains(QStringLiteral("Liberation Sans")));
    EXPECT_EQ(Form.palette().color(QPalette::Window), Form.palette().color(QPalette::Button));
    const QPoint offset = Form.frameGeometry().center() - Form.screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << "shown centred on the desktop";

    EXPECT_EQ(Form.PageControl1->geometry(), QRect(0, 0, 236, 167));
    EXPECT_EQ(Form.StatusBar1->geometry(), QRect(0, 167, 236, 19));
    ASSERT_EQ(Form.PageControl1->count(), 3);
    const char* pages[][2] = {{"TabSheet1", "Create"}, {"TabSheet2", "Edit"}, {"TabSheet3", "Options"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Form.PageControl1->widget(i)->objectName(), pages[i][0]);
        EXPECT_EQ(Form.PageControl1->tabText(i), pages[i][1]);
    }
    EXPECT_EQ(Form.PageControl1->ActivePageIndex(), TMainForm::CreatePageIndex) << "\"Create\" is shown at start";
    EXPECT_TRUE(Form.TabSheet1->isVisible());

    ASSERT_EQ(Form.StatusBar1->PanelCount(), 2);
    EXPECT_FALSE(Form.StatusBar1->PanelText(0).isEmpty()) << "the first panel shows a fixed text";
    EXPECT_EQ(Form.StatusBar1->PanelGeometry(0).left(), 0);
    EXPECT_EQ(Form.StatusBar1->PanelGeometry(1).left(), 120);
    EXPECT_EQ(Form.StatusBar1->PanelGeometry(1).right(), 235) << "the status line reaches the right edge";
    EXPECT_EQ(StatusLine(), "");

    EXPECT_FALSE(Form.IsGMAccount);
    EXPECT_FALSE(Form.LookupActive);
    EXPECT_EQ(Form.LookupText, "");
    EXPECT_EQ(Form.LookupIndex, 0);
    EXPECT_EQ(Form.IniFile.Path(), "vnac.ini");
    EXPECT_EQ(Form.MSConnection1.Database(), "master");
    EXPECT_EQ(Form.MSConnection1.Authentication(), TMSAuthentication::auServer);
    EXPECT_FALSE(Form.MSConnection1.Connected()) << "no connection is opened at start";
    EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(MainWindowTest, EveryControlAtItsPlaceWithItsCaptionAndInitialState) {
    struct Control {
        const char* Name;
        const char* Page;
        QRect Geometry;
        const char* Caption;
        bool Enabled;
        std::optional<bool> Checked;
    };
    const Control controls[] = {
        {"Label1", "TabSheet1", {13, 12, 26, 13}, "Login", true, {}},
        {"Label2", "TabSheet1", {13, 38, 46, 13}, "Password", true, {}},
        {"LoginEdit", "TabSheet1", {76, 9, 133, 21}, "", true, {}},
        {"PassEdit", "TabSheet1", {76, 34, 133, 21}, "", true, {}},
        {"GMCheck", "TabSheet1", {12, 74, 82, 17}, "GM Account", true, false},
        {"GMLevelLabel", "TabSheet1", {108, 76, 46, 13}, "GM Level", false, {}},
        {"GMLevelEdit", "TabSheet1", {160, 72, 47, 21}, "1", false, {}},
        {"SubmitButton", "TabSheet1", {77, 104, 75, 25}, "Create", true, {}},
        {"AccountsComboBox", "TabSheet2", {12, 10, 121, 21}, "", true, {}},
        {"LookupButton", "TabSheet2", {144, 10, 68, 20}, "Lookup", true, {}},
        {"GMCheck2", "TabSheet2", {12, 50, 82, 17}, "GM Power", true, false},
        {"GMLevelLabel2", "TabSheet2", {108, 52, 46, 13}, "GM Level", false, {}},
        {"GMLevelEdit2", "TabSheet2", {160, 48, 47, 21}, "1", false, {}},
        {"BannedCheck1", "TabSheet2", {12, 74, 97, 17}, "Banned (flag 1)", true, false},
        {"ApplyEditButton", "TabSheet2", {136, 108, 75, 21}, "Apply", true, {}},
        {"BannedCheck2", "TabSheet2", {12, 98, 97, 17}, "Banned (flag 2)", true, false},
        {"Label8", "TabSheet3", {9, 11, 74, 13}, "Database  Host", true, {}},
        {"Label10", "TabSheet3", {9, 35, 26, 13}, "Login", true, {}},
        {"Label11", "TabSheet3", {9, 59, 46, 13}, "Password", true, {}},
        {"DBHostEdit", "TabSheet3", {89, 7, 121, 21}, "", true, {}},
        {"DBLoginEdit", "TabSheet3", {89, 31, 121, 21}, "", true, {}},
        {"DBPassEdit", "TabSheet3", {89, 55, 121, 21}, "", true, {}},
        {"SavePassCheckBox", "TabSheet3", {16, 100, 97, 17}, "Save password", true, true},
        {"DBTestButton", "TabSheet3", {130, 97, 75, 25}, "Test", true, {}},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.Name);
        const auto* control = Form.findChild<QWidget*>(c.Name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), c.Page);
        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            // A label keeps its place and grows to its caption where the font is wider.
            EXPECT_EQ(label->pos(), c.Geometry.topLeft());
            EXPECT_EQ(label->height(), c.Geometry.height());
            EXPECT_GE(label->width(), c.Geometry.width());
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        } else {
            EXPECT_EQ(control->geometry(), c.Geometry);
        }
        EXPECT_EQ(Caption(control), c.Caption);
        EXPECT_EQ(control->isEnabled(), c.Enabled);
        if (c.Checked) {
            EXPECT_EQ(qobject_cast<const QAbstractButton*>(control)->isChecked(), *c.Checked);
        }
    }

    // Passwords are shown in clear.
    EXPECT_EQ(Form.PassEdit->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(Form.DBPassEdit->echoMode(), QLineEdit::Normal);
    // The list starts empty with nothing selected and shows 7 items when dropped down.
    EXPECT_EQ(Form.AccountsComboBox->Count(), 0);
    EXPECT_EQ(Form.AccountsComboBox->ItemIndex(), -1);
    EXPECT_EQ(Form.AccountsComboBox->Text(), "");
    EXPECT_EQ(Form.AccountsComboBox->maxVisibleItems(), 7);
    // Both level fields are bounded 1..9 and show 1.
    for (TRzSpinEdit* level : {Form.GMLevelEdit, Form.GMLevelEdit2}) {
        SCOPED_TRACE(level->objectName().toStdString());
        EXPECT_EQ(level->Min(), 1.0L);
        EXPECT_EQ(level->Max(), 9.0L);
        EXPECT_EQ(level->Text(), "1");
        level->SetIntegerValue(12);
        EXPECT_EQ(level->Text(), "9") << "writes are clamped to the level range";
    }
}

TEST_F(MainWindowTest, TabOrderOnEachPage) {
    Show();
    // With the game-master boxes checked, so that the level fields take part.
    Form.GMCheck->SetChecked(true);
    Form.GMCheck2->SetChecked(true);
    const std::vector<std::vector<const char*>> orders = {
        {"LoginEdit", "PassEdit", "GMCheck", "GMLevelEdit", "SubmitButton"},
        {"AccountsComboBox", "LookupButton", "GMCheck2", "GMLevelEdit2", "BannedCheck1", "ApplyEditButton",
         "BannedCheck2"},
        {"DBHostEdit", "DBLoginEdit", "DBPassEdit", "SavePassCheckBox", "DBTestButton"},
    };
    for (int page = 0; page < 3; ++page) {
        Form.PageControl1->SetActivePageIndex(page);
        Form.findChild<QWidget*>(orders[page].front())->setFocus(Qt::TabFocusReason);
        std::vector<QString> visited;
        for (size_t i = 0; i < orders[page].size(); ++i) {
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            // An editable list hands its focus to its text field.
            while (focused->objectName().isEmpty() && focused->parentWidget() != nullptr)
                focused = focused->parentWidget();
            visited.push_back(focused->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        std::vector<QString> expected(orders[page].begin(), orders[page].end());
        EXPECT_EQ(visited, expected) << "page " << page;
    }
}

TEST_F(MainWindowTest, GameMasterBoxesEnableTheirLevelFieldsExactlyWhileChecked) {
    Show();
    struct Pair {
        TCheckBox* Box;
        QLabel* Label;
        TRzSpinEdit* Level;
        int Page;
    };
    const Pair pairs[] = {
        {Form.GMCheck, Form.GMLevelLabel, Form.GMLevelEdit, TMainForm::CreatePageIndex},
        {Form.GMCheck2, Form.GMLevelLabel2, Form.GMLevelEdit2, TMainForm::EditPageIndex},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.Box->objectName().toStdString());
        Form.PageControl1->SetActivePageIndex(pair.Page);
        struct Step {
            const char* What;
            std::function<void()> Act;
            bool Checked;
        };
        const std::vector<Step> steps = {
            {"operator clicks", [&] { QTest::mouseClick(pair.Box, Qt::LeftButton); }, true},
            {"operator clicks again", [&] { QTest::mouseClick(pair.Box, Qt::LeftButton); }, false},
            {"code checks", [&] { pair.Box->SetChecked(true); }, true},
            {"code checks what is checked", [&] { pair.Box->SetChecked(true); }, true},
            {"operator presses space",
             [&] {
                 pair.Box->setFocus();
                 QTest::keyClick(pair.Box, Qt::Key_Space);
             },
             false},
            {"code unchecks what is unchecked", [&] { pair.Box->SetChecked(false); }, false},
        };
        for (const Step& step : steps) {
            step.Act();
            EXPECT_EQ(pair.Box->Checked(), step.Checked) << step.What;
            EXPECT_EQ(pair.Label->isEnabled(), step.Checked) << step.What;
            EXPECT_EQ(pair.Level->isEnabled(), step.Checked) << step.What;
        }
    }
    // Each box drives only its own pair.
    Form.GMCheck->SetChecked(true);
    EXPECT_FALSE(Form.GMLevelEdit2->isEnabled());
    EXPECT_FALSE(Form.GMLevelLabel2->isEnabled());
    EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(MainWindowTest, SwitchingToCreateOrOptionsOnlyClearsTheStatusLine) {
    Show();
    for (int page : {TMainForm::OptionsPageIndex, TMainForm::CreatePageIndex}) {
        SCOPED_TRACE(page);
        Form.StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "Account created");
        const auto before = Snapshot();

        ClickTab(page);

        EXPECT_EQ(Form.PageControl1->ActivePageIndex(), page);
        EXPECT_EQ(StatusLine(), "");
        EXPECT_EQ(Snapshot(), before);
    }
    EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(MainWindowTest, SelectingAPageFromCodeRunsNoChangeHandler) {
    Show();
    Form.StatusBar1->SetPanelText(TMainForm::StatusLinePanel, "Match found");
    for (int page : {TMainForm::OptionsPageIndex, TMainForm::EditPageIndex, TMainForm::CreatePageIndex}) {
        Form.PageControl1->SetActivePageIndex(page);
        EXPECT_EQ(Form.PageControl1->ActivePageIndex(), page);
        EXPECT_EQ(StatusLine(), "Match found") << "page " << page;
    }
}

TEST_F(MainWindowTest, TheFirstPanelNeverChanges) {
    Show();
    const QString fixed = Form.StatusBar1->PanelText(0);
    ClickTab(TMainForm::OptionsPageIndex);
    ClickTab(TMainForm::CreatePageIndex);
    QTest::mouseClick(Form.GMCheck, Qt::LeftButton);
    QTest::mouseClick(Form.GMCheck, Qt::LeftButton);
    Form.PageControl1->SetActivePageIndex(TMainForm::EditPageIndex);
    QTest::mouseClick(Form.GMCheck2, Qt::LeftButton);
    EXPECT_EQ(Form.StatusBar1->PanelText(0), fixed);
}
