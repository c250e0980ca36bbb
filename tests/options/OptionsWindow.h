#pragma once
// The main window started as the program starts it, with its program file in a test folder, and the
// operator's moves on the "Options" page: type into a field, click the box or "Test", close the window.
#include "app/mUnit.h"
#include "tests/framework/support/RecordingDialogs.h"
#include "tests/support/TempFolder.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class OptionsWindowTest : public ::testing::Test {
protected:
    // The program file lives in Folder; an installed copy's per-user folder is Folder/user.
    std::string Program() const { return Folder.File(ProgramName); }
    std::string SettingsFile() const { return Folder.File(ProgramName + ".ini"); }

    // Start-up: the window is created, its create handler runs, then it is shown.
    void Start() {
        Form = std::make_unique<TMainForm>(Dialogs);
        Form->ExeName = Program();
        Form->PerUserSettingsFolder = Folder.File("user");
        Form->DoCreate();
        Form->ShowCentred();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }

    // The operator closes the window; false when it stayed open.
    bool CloseWindow() { return Form->close(); }

    // The program ends and starts again.
    void Restart() {
        ASSERT_TRUE(CloseWindow());
        Form.reset();
        Start();
    }

    void ShowOptionsPage() {
        QTabBar* tabs = Form->PageControl1->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(TMainForm::OptionsPageIndex).center());
        ASSERT_EQ(Form->PageControl1->ActivePageIndex(), TMainForm::OptionsPageIndex);
    }

    // Replaces a field's text by typing, as the operator does.
    static void Type(QLineEdit* edit, const QString& text) {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        for (const QChar ch : text) {
            // Qt Test maps only ASCII characters to keys; others arrive as the text of an unnamed key.
            if (ch.unicode() < 0x80)
                QTest::keyClick(edit, ch.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
        ASSERT_EQ(edit->text(), text);
    }

    void FillOptions(const QString& host, const QString& login, const QString& password) {
        ShowOptionsPage();
        Type(Form->DBHostEdit, host);
        Type(Form->DBLoginEdit, login);
        Type(Form->DBPassEdit, password);
    }

    void SetSavePassword(bool checked) {
        if (Form->SavePassCheckBox->isChecked() != checked) QTest::mouseClick(Form->SavePassCheckBox, Qt::LeftButton);
        ASSERT_EQ(Form->SavePassCheckBox->isChecked(), checked);
    }

    void PressTest() { QTest::mouseClick(Form->DBTestButton, Qt::LeftButton); }

    // The boxes shown since the last call.
    std::vector<TShownDialog> TakeShown() {
        std::vector<TShownDialog> shown;
        shown.swap(Dialogs.Shown);
        return shown;
    }

    vactest::TempFolder Folder;
    std::string ProgramName = "vantor-account-creator";
    TRecordingDialogs Dialogs;
    std::unique_ptr<TMainForm> Form;
};

inline TShownDialog Message(const std::string& text) { return {TShownKind::Message, text, {}}; }

inline TShownDialog Error(const std::string& text) { return {TShownKind::Error, text, {}}; }
