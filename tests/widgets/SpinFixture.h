#pragma once
// A shown, active window holding one spin edit and one other control that can take the focus,
// as the level fields sit on the main window next to check boxes and buttons.
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "widgets/RzSpnEdt.h"

// Counts the system beeps instead of sounding them.
class TBeepCountingSpinEdit : public TRzSpinEdit {
public:
    using TRzSpinEdit::TRzSpinEdit;
    int Beeps = 0;

protected:
    void Beep() override { ++Beeps; }
};

class SpinFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Window = std::make_unique<QWidget>();
        Window->resize(240, 120);
        Spin = new TBeepCountingSpinEdit(Window.get());
        Spin->setGeometry(160, 72, 47, 21);
        Other = new QPushButton("Other", Window.get());
        Other->setGeometry(10, 10, 75, 25);
        Spin->OnButtonClick = [this](TRzSpinEdit&, TSpinButtonType button) { Steps.push_back(button); };
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        Other->setFocus(Qt::OtherFocusReason);  // activation gave the first control the focus
    }

    // The stored properties of the main window's level fields, applied in their stored order.
    void MakeLevelField() {
        Spin->SetMax(9);
        Spin->SetMin(1);
        Spin->SetValue(1);
    }

    void FocusSpin() {
        Spin->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(Spin->hasFocus());
    }

    void LeaveSpin() {
        Other->setFocus(Qt::TabFocusReason);
        ASSERT_FALSE(Spin->hasFocus());
    }

    void Wheel(int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QPointF at = Spin->rect().center();
        QWheelEvent event(at, Spin->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Spin, &event);
    }

    // Types each character as a key press; characters without a key of their own (non-ASCII) are
    // sent as the text of an unnamed key, as an input method or a foreign layout delivers them.
    static void Type(QWidget* widget, const QString& text) {
        for (QChar ch : text) {
            if (ch.unicode() >= 32 && ch.unicode() < 127)
                QTest::keyClick(widget, static_cast<char>(ch.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }

    // Runs the event loop until the condition holds or the (generous) time limit passes.
    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!condition()) {
            if (deadline.hasExpired()) return false;
            QTest::qWait(5);
        }
        return true;
    }

    std::unique_ptr<QWidget> Window;
    TBeepCountingSpinEdit* Spin = nullptr;  // owned by Window
    QPushButton* Other = nullptr;           // owned by Window
    std::vector<TSpinButtonType> Steps;
};
