// The real message boxes: buttons, icon, caption, modality and placement, answered by real key presses.
#include "framework/Dialogs.h"
#include "tests/framework/support/QtPrinters.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct TSeenBox {
    bool Seen = false;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString Caption;
    QString Text;
    QMessageBox::StandardButtons Buttons;
    Qt::WindowModality Modality = Qt::NonModal;
    QPoint CentreOffset;  // box centre minus screen centre
};

// Waits for the modal box, notes what it shows, then lets `answer` close it.
void AnswerNextBox(TSeenBox& seen, std::function<void(QMessageBox&)> answer) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [&seen, answer, poll] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            QTimer::singleShot(10, *poll);
            return;
        }
        seen.Seen = true;
        seen.Icon = box->icon();
        seen.Caption = box->windowTitle();
        seen.Text = box->text();
        seen.Buttons = box->standardButtons();
        seen.Modality = box->windowModality();
        seen.CentreOffset = box->frameGeometry().center() - box->screen()->availableGeometry().center();
        answer(*box);
        *poll = nullptr;  // break the self-reference once done
    };
    QTimer::singleShot(0, *poll);
}

void PressButton(QMessageBox& box, QMessageBox::StandardButton which) {
    QTest::mouseClick(box.button(which), Qt::LeftButton);
}

class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { Dialogs.SetTitle("Vantor Account Creator"); }

    static void ExpectCentred(const TSeenBox& seen) {
        EXPECT_LE(std::abs(seen.CentreOffset.x()), 1);
        EXPECT_LE(std::abs(seen.CentreOffset.y()), 1);
    }

    TQtDialogs Dialogs;
};

}  // namespace

TEST_F(QtDialogsTest, PlainMessageHasOnlyOkAndTheTitleAsCaption) {
    TSeenBox seen;
    AnswerNextBox(seen, [](QMessageBox& box) { PressButton(box, QMessageBox::Ok); });
    Dialogs.ShowMessage("Connection successful.");

    ASSERT_TRUE(seen.Seen);
    EXPECT_EQ(seen.Icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.Caption, "Vantor Account Creator");
    EXPECT_EQ(seen.Text, "Connection successful.");
    EXPECT_EQ(seen.Buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.Modality, Qt::ApplicationModal);
    ExpectCentred(seen);
}

TEST_F(QtDialogsTest, ErrorBoxHasTheErrorIconOkAndTheTitleAsCaption) {
    TSeenBox seen;
    AnswerNextBox(seen, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    Dialogs.ShowError("Caf\xE9 is closed.");  // Windows-1252 bytes reach the screen as their characters

    ASSERT_TRUE(seen.Seen);
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Caption, "Vantor Account Creator");
    EXPECT_EQ(seen.Text, QString::fromUtf8("Caf\xC3\xA9 is closed."));
    EXPECT_EQ(seen.Buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.Modality, Qt::ApplicationModal);
    ExpectCentred(seen);
}

TEST_F(QtDialogsTest, YesNoBoxReturnsTheButtonPressed) {
    struct Case {
        const char* Name;
        std::function<void(QMessageBox&)> Answer;
        TDialogAnswer Expected;
    };
    const Case cases[] = {
        {"Yes clicked", [](QMessageBox& box) { PressButton(box, QMessageBox::Yes); }, TDialogAnswer::Yes},
        {"No clicked", [](QMessageBox& box) { PressButton(box, QMessageBox::No); }, TDialogAnswer::No},
        // Escaping the box must never count as consent to overwrite anything.
        {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, TDialogAnswer::No},
    };
    for (const Case& c : cases) {
        TSeenBox seen;
        AnswerNextBox(seen, c.Answer);
        const TDialogAnswer answer =
            Dialogs.AskYesNo("Account already exists. Would you like to overwrite password?", "Comfirmation");

        ASSERT_TRUE(seen.Seen) << c.Name;
        EXPECT_EQ(answer, c.Expected) << c.Name;
        EXPECT_EQ(seen.Icon, QMessageBox::NoIcon) << c.Name;
        EXPECT_EQ(seen.Caption, "Comfirmation") << c.Name;
        EXPECT_EQ(seen.Buttons, QMessageBox::Yes | QMessageBox::No) << c.Name;
        EXPECT_EQ(seen.Modality, Qt::ApplicationModal) << c.Name;
    }
}
