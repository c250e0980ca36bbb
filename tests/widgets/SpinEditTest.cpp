// Values, range rule, keys, typing filter, focus, properties and colours of the spin edit.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionFrame>

#include <climits>
#include <limits>
#include <string>

#include "tests/widgets/SpinFixture.h"

namespace {

std::string Sep() { return QString(TRzSpinEdit::DecimalSeparator()).toStdString(); }

}  // namespace

TEST(SpinEditConstruction, NewFieldShowsZeroWithItsDefaults) {
    TRzSpinEdit spin;
    EXPECT_EQ(spin.Text(), "0");
    EXPECT_EQ(spin.Min(), 0.0L);
    EXPECT_EQ(spin.Max(), 100.0L);
    EXPECT_EQ(spin.Increment(), 1.0L);
    EXPECT_EQ(spin.PageSize(), 10.0L);
    EXPECT_EQ(spin.Decimals(), 0);
    EXPECT_TRUE(spin.IntegersOnly());
    EXPECT_FALSE(spin.CheckRange());
    EXPECT_FALSE(spin.AllowKeyEdit());
    EXPECT_FALSE(spin.AllowBlank());
    EXPECT_EQ(spin.ButtonWidth(), 17);
    EXPECT_EQ(spin.width(), 47);
    EXPECT_EQ(spin.Alignment(), taRightJustify);
    EXPECT_TRUE(spin.alignment() & Qt::AlignRight);
    EXPECT_EQ(spin.Buttons().InitialDelay(), 400);
    EXPECT_EQ(spin.Buttons().Delay(), 100);
    EXPECT_TRUE(spin.Buttons().UpRightButton().RepeatClicks());
}

TEST(SpinEditConstruction, LoadingTheLevelFieldPropertiesInStoredOrder) {
    TRzSpinEdit spin;
    spin.SetMax(9);
    EXPECT_EQ(spin.Text(), "0");  // 0 lies in 0..9
    spin.SetMin(1);
    EXPECT_EQ(spin.Text(), "1");  // clamped at once
    spin.SetValue(1);
    spin.SetEnabled(false);
    EXPECT_EQ(spin.Text(), "1");
    EXPECT_FALSE(spin.isEnabled());
    EXPECT_FALSE(spin.Buttons().UpRightButton().isEnabled());
    EXPECT_FALSE(spin.Buttons().DownLeftButton().isEnabled());
}

class SpinValue : public SpinFixture {};

TEST_F(SpinValue, IntegerValueWritesClampAndFormatEnabledOrNot) {
    MakeLevelField();
    const struct {
        long long written;
        const char* shown;
    } cases[] = {{0, "1"}, {10, "9"}, {-5, "1"}, {4, "4"}, {9, "9"}, {1, "1"}, {LLONG_MAX, "9"}, {LLONG_MIN, "1"}};
    for (bool enabled : {true, false}) {
        Spin->SetEnabled(enabled);
        for (const auto& c : cases) {
            Spin->SetIntegerValue(c.written);
            EXPECT_EQ(Spin->Text(), c.shown) << "IntegerValue " << c.written << " enabled " << enabled;
            EXPECT_EQ(Spin->IntegerValue(), std::stoll(c.shown));
        }
    }
    EXPECT_TRUE(Steps.empty());  // program writes are not steps
}

TEST_F(SpinValue, DirectTextIsReadUnclampedAndNormalisedOnlyOnFocusLoss) {
    MakeLevelField();
    FocusSpin();
    Spin->SetText("abc");
    EXPECT_EQ(Spin->Value(), 1.0L);
    EXPECT_EQ(Spin->Text(), "abc");  // reading reports nothing and changes nothing
    LeaveSpin();
    EXPECT_EQ(Spin->Text(), "1");

    Spin->SetText("15");
    EXPECT_EQ(Spin->Value(), 15.0L);
    Spin->SpinUp(1);
    EXPECT_EQ(Spin->Text(), "9");
    Spin->SetText("15");
    Spin->SpinDown(1);
    EXPECT_EQ(Spin->Text(), "9");  // 14, clamped
}

TEST_F(SpinValue, EmptyTextReadsAsMinAndIsFilledWithIt) {
    MakeLevelField();
    Spin->SetText("");
    EXPECT_EQ(Spin->Value(), 1.0L);
    EXPECT_EQ(Spin->Text(), "1");
}

TEST_F(SpinValue, TextParsing) {
    Spin->SetMin(-1000);
    Spin->SetMax(1000);
    const std::string sep = Sep();
    const struct {
        std::string text;
        long double value;
    } cases[] = {
        {"42", 42},
        {"-7", -7},
        {"+7", 7},
        {" 12 ", 12},
        {"2" + sep + "5", 2.5L},
        {"1e3", 1000},
        {"1E-1", 0.1L},
        {"12abc", -1000},
        {"+-3", -1000},
        {"--3", -1000},
        {"0x10", -1000},
        {"inf", -1000},
        {"nan", -1000},
        {"", -1000},
        {"1e99999", -1000},
        {"1 000", -1000},
        {"3" + sep + "5" + sep + "1", -1000},
    };
    for (const auto& c : cases) {
        Spin->SetText(c.text);
        EXPECT_EQ(Spin->Value(), c.value) << "text '" << c.text << "'";
    }
}

TEST_F(SpinValue, IntegerValueRoundsHalvesToEven) {
    Spin->SetIntegersOnly(false);
    const std::string sep = Sep();
    const struct {
        std::string text;
        long long rounded;
    } cases[] = {{"2" + sep + "5", 2}, {"3" + sep + "5", 4}, {"-2" + sep + "5", -2}, {"2" + sep + "51", 3}, {"7", 7}};
    for (const auto& c : cases) {
        Spin->SetText(c.text);
        EXPECT_EQ(Spin->IntegerValue(), c.rounded) << c.text;
    }
}

TEST_F(SpinValue, ValueWriteKeepsTheCaretWhereTheOperatorLeftIt) {
    FocusSpin();
    Spin->SetText("9");
    Spin->setCursorPosition(1);
    Spin->SpinUp(1);
    EXPECT_EQ(Spin->Text(), "10");
    EXPECT_EQ(Spin->cursorPosition(), 2);  // longer: one to the right

    Spin->setCursorPosition(1);
    Spin->SpinDown(1);
    EXPECT_EQ(Spin->Text(), "9");
    EXPECT_EQ(Spin->cursorPosition(), 0);  // shorter: one to the left

    Spin->setCursorPosition(0);
    Spin->SpinUp(1);
    EXPECT_EQ(Spin->cursorPosition(), 1);
    Spin->setCursorPosition(0);
    Spin->SpinDown(1);
    EXPECT_EQ(Spin->Text(), "9");
    EXPECT_EQ(Spin->cursorPosition(), 0);  // shorter at the start stays at the start

    Spin->SetText("12");
    Spin->setCursorPosition(1);
    Spin->SpinUp(1);
    EXPECT_EQ(Spin->cursorPosition(), 1);  // same length: same place
}

class SpinRange : public SpinFixture {};

TEST_F(SpinRange, MinEqualToMaxClampsOnlyWithCheckRange) {
    Spin->SetMin(5);
    Spin->SetMax(5);
    EXPECT_EQ(Spin->Text(), "5");
    Spin->SetValue(7);
    EXPECT_EQ(Spin->Text(), "7");
    EXPECT_EQ(Spin->ClampToRange(-3), -3.0L);
    Spin->SetCheckRange(true);  // re-writes the value at once
    EXPECT_EQ(Spin->Text(), "5");
    Spin->SetValue(7);
    EXPECT_EQ(Spin->Text(), "5");
}

TEST_F(SpinRange, MovingOneBoundPastTheOtherDragsItAlong) {
    Spin->SetCheckRange(true);
    Spin->SetValue(50);
    Spin->SetMin(150);
    EXPECT_EQ(Spin->Max(), 150.0L);
    EXPECT_EQ(Spin->Text(), "150");

    Spin->SetMax(-5);
    EXPECT_EQ(Spin->Min(), -5.0L);
    EXPECT_EQ(Spin->Text(), "-5");

    Spin->SetMax(10);  // widening keeps the value
    EXPECT_EQ(Spin->Min(), -5.0L);
    EXPECT_EQ(Spin->Text(), "-5");
    Spin->SetMin(0);  // narrowing re-clamps at once
    EXPECT_EQ(Spin->Text(), "0");
}

TEST_F(SpinRange, NotANumberWrittenToAClampingFieldBecomesMin) {
    MakeLevelField();
    Spin->SetValue(std::numeric_limits<long double>::quiet_NaN());
    EXPECT_EQ(Spin->Text(), "1");
    Spin->SetValue(std::numeric_limits<long double>::infinity());
    EXPECT_EQ(Spin->Text(), "9");
    Spin->SetValue(-std::numeric_limits<long double>::infinity());
    EXPECT_EQ(Spin->Text(), "1");
}

TEST_F(SpinRange, DecimalsAndIntegersOnly) {
    const std::string sep = Sep();
    Spin->SetIntegersOnly(false);
    Spin->SetDecimals(2);
    Spin->SetValue(1.5L);
    EXPECT_EQ(Spin->Text(), "1" + sep + "50");
    Spin->SetValue(2.25L);
    EXPECT_EQ(Spin->Text(), "2" + sep + "25");
    Spin->SetDecimals(0);  // re-formats at once
    EXPECT_EQ(Spin->Text(), "2");

    Spin->SetDecimals(1);
    Spin->SetValue(2.5L);
    EXPECT_EQ(Spin->Text(), "2" + sep + "5");
    Spin->SetIntegersOnly(true);  // decimals go, the value is rounded half to even
    EXPECT_EQ(Spin->Decimals(), 0);
    EXPECT_EQ(Spin->Text(), "2");

    Spin->SetIntegersOnly(false);
    Spin->SetDecimals(1);
    Spin->SetValue(3.5L);
    Spin->SetIntegersOnly(true);
    EXPECT_EQ(Spin->Text(), "4");
}

TEST_F(SpinRange, NegativeZeroShowsNoSign) {
    Spin->SetMin(-10);
    Spin->SetIntegersOnly(false);
    Spin->SetValue(-0.4L);
    EXPECT_EQ(Spin->Text(), "0");
}

class SpinSteps : public SpinFixture {};

TEST_F(SpinSteps, ArrowAndPageKeys) {
    MakeLevelField();
    FocusSpin();
    const struct {
        const char* start;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* result;
        TSpinButtonType step;
    } cases[] = {
        {"9", Qt::Key_Up, Qt::NoModifier, "9", sbUp},     {"1", Qt::Key_Down, Qt::NoModifier, "1", sbDown},
        {"3", Qt::Key_PageUp, Qt::NoModifier, "9", sbUp}, {"3", Qt::Key_PageDown, Qt::NoModifier, "1", sbDown},
        {"3", Qt::Key_Up, Qt::NoModifier, "4", sbUp},     {"3", Qt::Key_Down, Qt::NoModifier, "2", sbDown},
        {"3", Qt::Key_Up, Qt::ShiftModifier, "4", sbUp},  {"3", Qt::Key_Down, Qt::ControlModifier, "2", sbDown},
    };
    for (const auto& c : cases) {
        Spin->SetText(c.start);
        Steps.clear();
        QTest::keyClick(Spin, c.key, c.modifiers);
        EXPECT_EQ(Spin->Text(), c.result) << c.start << " key " << c.key;
        ASSERT_EQ(Steps.size(), 1u);
        EXPECT_EQ(Steps[0], c.step);
    }
    EXPECT_EQ(Spin->Beeps, 0);
}

TEST_F(SpinSteps, OnChangingSeesTheUnclampedValueAndCanRefuse) {
    MakeLevelField();
    Spin->SetText("9");
    std::vector<long double> asked;
    bool allow = false;
    Spin->OnChanging = [&](TRzSpinEdit&, long double newValue, bool& allowChange) {
        EXPECT_TRUE(allowChange);  // starts true
        asked.push_back(newValue);
        allowChange = allow;
    };
    Spin->SpinUp(3);
    EXPECT_EQ(asked, std::vector<long double>{12});
    EXPECT_EQ(Spin->Text(), "9");
    EXPECT_TRUE(Steps.empty());

    allow = true;
    Spin->SpinDown(10);
    EXPECT_EQ(asked.back(), -1.0L);
    EXPECT_EQ(Spin->Text(), "1");
    EXPECT_EQ(Steps, std::vector<TSpinButtonType>{sbDown});
}

TEST_F(SpinSteps, ReadOnlyRefusesStepsWithABeepAndHidesTheButtons) {
    MakeLevelField();
    Spin->SetText("5");
    bool asked = false;
    Spin->OnChanging = [&](TRzSpinEdit&, long double, bool&) { asked = true; };
    Spin->SetReadOnly(true);
    EXPECT_FALSE(Spin->Buttons().isVisible());
    EXPECT_EQ(Spin->textMargins(), QMargins(0, 0, 0, 0));

    FocusSpin();
    QTest::keyClick(Spin, Qt::Key_Up);
    Wheel(120);
    Spin->SpinDown(1);
    EXPECT_EQ(Spin->Text(), "5");
    EXPECT_EQ(Spin->Beeps, 3);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(Steps.empty());

    Spin->SetReadOnly(false);
    EXPECT_TRUE(Spin->Buttons().isVisible());
    QTest::keyClick(Spin, Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), "6");
}

TEST_F(SpinSteps, WheelStepsOnlyWhileFocused) {
    Spin->SetValue(50);
    Wheel(120);
    EXPECT_EQ(Spin->Text(), "50");  // not focused: not ours

    FocusSpin();
    const struct {
        int delta;
        Qt::KeyboardModifiers modifiers;
        const char* result;
    } cases[] = {{120, Qt::NoModifier, "51"},       {-120, Qt::NoModifier, "50"}, {120, Qt::ControlModifier, "60"},
                 {-120, Qt::ControlModifier, "50"}, {240, Qt::NoModifier, "52"},  {-360, Qt::ShiftModifier, "49"}};
    for (const auto& c : cases) {
        Wheel(c.delta, c.modifiers);
        EXPECT_EQ(Spin->Text(), c.result) << c.delta;
    }
    // A high-resolution wheel steps once per full notch.
    for (int i = 0; i < 3; ++i) Wheel(30);
    EXPECT_EQ(Spin->Text(), "49");
    Wheel(30);
    EXPECT_EQ(Spin->Text(), "50");
}

class SpinTyping : public SpinFixture {};

TEST_F(SpinTyping, WithoutKeyEditEveryEditingKeyBeepsAndChangesNothing) {
    MakeLevelField();
    FocusSpin();
    Spin->SetText("3");
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* name;
    } keys[] = {
        {Qt::Key_5, Qt::NoModifier, "5"},           {Qt::Key_Minus, Qt::NoModifier, "-"},
        {Qt::Key_Plus, Qt::NoModifier, "+"},        {Qt::Key_A, Qt::NoModifier, "a"},
        {Qt::Key_Space, Qt::NoModifier, "space"},   {Qt::Key_Backspace, Qt::NoModifier, "Backspace"},
        {Qt::Key_Delete, Qt::NoModifier, "Delete"}, {Qt::Key_Delete, Qt::ShiftModifier, "Shift+Delete"},
        {Qt::Key_Return, Qt::NoModifier, "Enter"},  {Qt::Key_Period, Qt::NoModifier, "."},
    };
    for (const auto& k : keys) {
        for (int caret : {0, 1}) {
            Spin->setCursorPosition(caret);
            const int before = Spin->Beeps;
            QTest::keyClick(Spin, k.key, k.modifiers);
            EXPECT_EQ(Spin->Text(), "3") << k.name;
            EXPECT_EQ(Spin->Beeps, before + 1) << k.name;
        }
    }
    Spin->selectAll();
    QTest::keyClicks(Spin, "7-x");
    EXPECT_EQ(Spin->Text(), "3");
}

TEST_F(SpinTyping, PasteCutAndUndoAreIgnoredSilentlyAndCopyWorks) {
    MakeLevelField();
    FocusSpin();
    Spin->SetText("3");
    for (const char* clip : {"7", "abc", "99", "-5", ""}) {
        QApplication::clipboard()->setText(clip);
        Spin->selectAll();
        QTest::keyClick(Spin, Qt::Key_V, Qt::ControlModifier);
        QTest::keySequence(Spin, QKeySequence::Paste);
        QTest::keyClick(Spin, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::keySequence(Spin, QKeySequence::Cut);
        QTest::keySequence(Spin, QKeySequence::Undo);
        EXPECT_EQ(Spin->Text(), "3") << "clipboard '" << clip << "'";
    }
    EXPECT_EQ(Spin->Beeps, 0);

    Spin->selectAll();
    QTest::keyClick(Spin, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "3");
    EXPECT_EQ(Spin->Beeps, 0);

    // The context menu offers copying only.
    QApplication::clipboard()->setText("7");
    Spin->selectAll();
    const std::unique_ptr<QMenu> menu(Spin->createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        if (!action->isEnabled() || action->isSeparator()) continue;
        const QString caption = action->text().remove(u'&');
        EXPECT_TRUE(caption.startsWith("Copy") || caption.startsWith("Select All")) << caption.toStdString();
    }
}

TEST_F(SpinTyping, KeyEditLetsDigitsInAnywhereAndLeavesTheRangeUntilFocusLoss) {
    MakeLevelField();
    Spin->SetAllowKeyEdit(true);
    FocusSpin();
    Spin->SetText("5");
    Spin->setCursorPosition(1);
    QTest::keyClicks(Spin, "7");
    Spin->setCursorPosition(0);
    QTest::keyClicks(Spin, "2");
    EXPECT_EQ(Spin->Text(), "257");
    QTest::keyClick(Spin, Qt::Key_End);
    QTest::keyClick(Spin, Qt::Key_Backspace);
    EXPECT_EQ(Spin->Text(), "25");
    EXPECT_EQ(Spin->Beeps, 0);
    LeaveSpin();
    EXPECT_EQ(Spin->Text(), "9");

    // Letters, blanks and Enter stay refused with key editing too.
    FocusSpin();
    Spin->setCursorPosition(1);
    QTest::keyClicks(Spin, "a ");
    QTest::keyClick(Spin, Qt::Key_Return);
    EXPECT_EQ(Spin->Text(), "9");
    EXPECT_EQ(Spin->Beeps, 3);

    // Paste is allowed now; the focus loss still normalises.
    QApplication::clipboard()->setText("abc");
    Spin->selectAll();
    QTest::keySequence(Spin, QKeySequence::Paste);
    EXPECT_EQ(Spin->Text(), "abc");
    LeaveSpin();
    EXPECT_EQ(Spin->Text(), "1");
}

TEST_F(SpinTyping, SignOnlyAtTheStartOfAnUnsignedTextOrOverTheWholeText) {
    Spin->SetMin(-100);
    Spin->SetAllowKeyEdit(true);
    FocusSpin();
    const struct {
        const char* start;
        int selectionStart;
        int selectionLength;  // 0: caret at selectionStart
        const char* typed;
        const char* result;
        int beeps;
    } cases[] = {
        {"5", 0, 0, "-", "-5", 0},  {"5", 1, 0, "-", "5", 1},  {"-5", 0, 0, "+", "-5", 1},
        {"+5", 0, 0, "-", "+5", 1}, {"-5", 0, 2, "+", "+", 0}, {"-5", 1, 1, "+", "-5", 1},
        {"", 0, 0, "-", "-", 0},    {"5", 0, 1, "-", "-", 0},  {"12", 1, 0, "+", "12", 1},
    };
    for (const auto& c : cases) {
        Spin->SetText(c.start);
        if (c.selectionLength > 0)
            Spin->setSelection(c.selectionStart, c.selectionLength);
        else
            Spin->setCursorPosition(c.selectionStart);
        const int before = Spin->Beeps;
        QTest::keyClicks(Spin, c.typed);
        EXPECT_EQ(Spin->Text(), c.result) << c.start << " @" << c.selectionStart << "+" << c.selectionLength;
        EXPECT_EQ(Spin->Beeps - before, c.beeps) << c.start;
    }
}

TEST_F(SpinTyping, OneDecimalSeparatorUnlessTheSelectionCoversIt) {
    const QString sep = TRzSpinEdit::DecimalSeparator();
    const std::string s = sep.toStdString();
    Spin->SetAllowKeyEdit(true);
    FocusSpin();
    Spin->SetText("1");
    Spin->setCursorPosition(1);
    QTest::keyClicks(Spin, sep);  // integers only: refused
    EXPECT_EQ(Spin->Text(), "1");
    EXPECT_EQ(Spin->Beeps, 1);

    Spin->SetIntegersOnly(false);
    QTest::keyClicks(Spin, sep + "5");
    EXPECT_EQ(Spin->Text(), "1" + s + "5");
    QTest::keyClicks(Spin, sep);  // a second one: refused
    EXPECT_EQ(Spin->Text(), "1" + s + "5");
    EXPECT_EQ(Spin->Beeps, 2);

    Spin->setSelection(2, 1);  // selection without the separator: refused
    QTest::keyClicks(Spin, sep);
    EXPECT_EQ(Spin->Text(), "1" + s + "5");
    EXPECT_EQ(Spin->Beeps, 3);

    Spin->setSelection(1, 2);  // selection covering it: accepted
    QTest::keyClicks(Spin, sep);
    EXPECT_EQ(Spin->Text(), "1" + s);
    EXPECT_EQ(Spin->Beeps, 3);
}

TEST_F(SpinTyping, TabOnEnterMovesTheFocusOnAndNormalises) {
    MakeLevelField();
    Spin->SetTabOnEnter(true);
    Spin->SetText("15");
    FocusSpin();
    QTest::keyClick(Spin, Qt::Key_Return);
    EXPECT_FALSE(Spin->hasFocus());
    EXPECT_EQ(Spin->Beeps, 0);
    EXPECT_EQ(Spin->Text(), "9");
}

TEST(SpinAcceptedChar, FilterTable) {
    TRzSpinEdit spin;
    spin.SetText("");
    const QChar sep = TRzSpinEdit::DecimalSeparator();
    const struct {
        QChar ch;
        bool withoutKeyEdit;
        bool withKeyEdit;
    } cases[] = {
        {u'5', false, true},           {u'0', false, true},     {u'+', false, true},     {u'-', false, true},
        {u'a', false, false},          {u' ', false, false},    {QChar(8), false, true}, {QChar(13), false, false},
        {QChar(3), true, true},        {QChar(22), true, true}, {QChar(27), true, true}, {QChar(0x00e9), false, false},
        {QChar(0xff15), false, false},
    };
    for (const auto& c : cases) {
        spin.SetAllowKeyEdit(false);
        EXPECT_EQ(spin.IsAcceptedChar(c.ch), c.withoutKeyEdit) << int(c.ch.unicode());
        spin.SetAllowKeyEdit(true);
        EXPECT_EQ(spin.IsAcceptedChar(c.ch), c.withKeyEdit) << int(c.ch.unicode());
    }
    spin.SetAllowKeyEdit(true);
    EXPECT_FALSE(spin.IsAcceptedChar(sep));
    spin.SetIntegersOnly(false);
    EXPECT_TRUE(spin.IsAcceptedChar(sep));
}

class SpinFocus : public SpinFixture {};

TEST_F(SpinFocus, EveryRealFocusLossLeavesAClampedFormattedNumber) {
    MakeLevelField();
    const struct {
        const char* text;
        const char* normalised;
    } cases[] = {{"abc", "1"}, {"", "1"},    {"15", "9"},  {"-3", "1"}, {"0", "1"},  {" 5 ", "5"},
                 {"+", "1"},   {"1e3", "9"}, {"0x5", "1"}, {"07", "7"}, {"+4", "4"}, {"99999999999999999999999", "9"}};
    for (const auto& c : cases) {
        FocusSpin();
        Spin->SetText(c.text);
        LeaveSpin();
        EXPECT_EQ(Spin->Text(), c.normalised) << "'" << c.text << "'";
    }
    FocusSpin();
    Spin->SetText("42");
    QTest::keyClick(Spin, Qt::Key_Tab);
    EXPECT_TRUE(Other->hasFocus());
    EXPECT_EQ(Spin->Text(), "9");

    // A click on a button normalises the field before the button's handler reads it.
    FocusSpin();
    Spin->SetText("42");
    QString seenByHandler;
    QObject::connect(Other, &QPushButton::clicked, [&] { seenByHandler = Spin->text(); });
    QTest::mouseClick(Other, Qt::LeftButton);
    EXPECT_EQ(seenByHandler, "9");
}

TEST_F(SpinFocus, BlankAllowedStaysBlankAndReadsAsBlankValue) {
    MakeLevelField();
    Spin->SetAllowBlank(true);
    Spin->SetBlankValue(3);
    FocusSpin();
    Spin->SetText("");
    LeaveSpin();
    EXPECT_EQ(Spin->Text(), "");
    EXPECT_EQ(Spin->Value(), 3.0L);
    EXPECT_EQ(Spin->Text(), "");
}

TEST_F(SpinFocus, EnteringByKeyboardSelectsAll) {
    MakeLevelField();
    Spin->SetText("7");
    Other->setFocus();
    QTest::keyClick(Other, Qt::Key_Tab);
    ASSERT_TRUE(Spin->hasFocus());
    EXPECT_EQ(Spin->selectedText(), "7");

    Spin->SetAutoSelect(false);
    LeaveSpin();
    Spin->setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(Spin->hasSelectedText());
}

class SpinLook : public SpinFixture {};

TEST_F(SpinLook, BackgroundFollowsTheState) {
    const QColor normal(Qt::white), focus(Qt::yellow), disabled(Qt::gray), readOnly(Qt::cyan);
    Spin->SetColor(normal);
    Spin->SetFocusColor(focus);
    Spin->SetDisabledColor(disabled);
    Spin->SetReadOnlyColor(readOnly);
    auto shown = [this] { return Spin->palette().color(QPalette::Active, QPalette::Base); };

    EXPECT_EQ(shown(), normal);
    FocusSpin();
    EXPECT_EQ(shown(), focus);
    Spin->SetReadOnly(true);
    EXPECT_EQ(shown(), focus);  // focus wins over read-only
    LeaveSpin();
    EXPECT_EQ(shown(), readOnly);
    Spin->SetEnabled(false);
    EXPECT_EQ(shown(), disabled);
    Spin->SetReadOnly(false);
    EXPECT_EQ(shown(), disabled);
    Spin->SetEnabled(true);
    EXPECT_EQ(shown(), normal);

    // Disabling the window disables the field as well.
    Window->setEnabled(false);
    EXPECT_EQ(shown(), disabled);
    Window->setEnabled(true);
    EXPECT_EQ(shown(), normal);
}

TEST_F(SpinLook, ColorDragsFocusColorOnlyWhileTheyAreEqual) {
    Spin->SetColor(Qt::white);
    Spin->SetFocusColor(Qt::white);
    Spin->SetColor(Qt::green);
    EXPECT_EQ(Spin->FocusColor(), QColor(Qt::green));
    Spin->SetFocusColor(Qt::yellow);
    Spin->SetColor(Qt::blue);
    EXPECT_EQ(Spin->FocusColor(), QColor(Qt::yellow));
}

TEST_F(SpinLook, ButtonsSitInsideTheRightEdgeAndTheTextStaysClearOfThem) {
    QStyleOptionFrame option;
    option.initFrom(Spin);
    const int frame = Spin->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, Spin);
    const QRect pair = Spin->Buttons().geometry();
    EXPECT_EQ(pair.width(), 17);
    EXPECT_EQ(pair.right(), Spin->width() - frame - 1);
    EXPECT_EQ(pair.top(), frame);
    EXPECT_EQ(pair.height(), Spin->height() - 2 * frame);
    EXPECT_EQ(Spin->textMargins().right(), 19);
    const QRect up = Spin->Button(sbUp).geometry();
    const QRect down = Spin->Button(sbDown).geometry();
    EXPECT_EQ(up.height(), pair.height() / 2);
    EXPECT_EQ(down.top(), up.bottom() + 1);

    Spin->SetOrientation(orHorizontal);
    EXPECT_EQ(Spin->Buttons().width(), 34);
    EXPECT_EQ(Spin->textMargins().right(), 36);
    EXPECT_LT(Spin->Button(sbDown).geometry().left(), Spin->Button(sbUp).geometry().left());

    Spin->SetOrientation(orVertical);
    Spin->SetButtonWidth(-4);
    EXPECT_EQ(Spin->Buttons().width(), 0);
    EXPECT_EQ(Spin->textMargins().right(), 2);

    Spin->SetButtonWidth(17);
    Spin->setLayoutDirection(Qt::RightToLeft);
    EXPECT_EQ(Spin->Buttons().geometry().left(), frame);
    EXPECT_EQ(Spin->textMargins().left(), 19);
    EXPECT_EQ(Spin->textMargins().right(), 0);
}

TEST_F(SpinLook, DirectionTurnsTheArrows) {
    using TArrow = TRzControlButton::TArrow;
    EXPECT_EQ(Spin->Button(sbUp).Arrow(), TArrow::Up);
    EXPECT_EQ(Spin->Button(sbDown).Arrow(), TArrow::Down);
    Spin->SetDirection(sdLeftRight);
    EXPECT_EQ(Spin->Button(sbUp).Arrow(), TArrow::Right);
    EXPECT_EQ(Spin->Button(sbDown).Arrow(), TArrow::Left);
    // Drawing every look must not fail: default, flat, custom glyphs.
    QPixmap glyph(16, 8);
    glyph.fill(Qt::red);
    Spin->SetButtonUpGlyph(glyph);
    Spin->SetButtonUpNumGlyphs(9);
    EXPECT_EQ(Spin->ButtonUpNumGlyphs(), 4);
    Spin->SetFlatButtons(true);
    const QImage image = Spin->grab().toImage();
    EXPECT_FALSE(image.isNull());
}

TEST_F(SpinLook, OnChangeToldOfEveryTextChange) {
    int changes = 0;
    Spin->OnChange = [&](TRzCustomEdit& sender) {
        EXPECT_EQ(&sender, Spin);
        ++changes;
    };
    Spin->SetValue(5);
    Spin->SetText("abc");
    FocusSpin();
    QTest::keyClick(Spin, Qt::Key_Up);  // "abc" reads as 0: step to 1
    EXPECT_EQ(Spin->Text(), "1");
    EXPECT_EQ(changes, 3);
}

TEST(SpinText, BytesAreWindows1252) {
    TRzSpinEdit spin;
    const std::string bytes = "\x80 \xe9 \x41";
    spin.SetText(bytes);
    EXPECT_EQ(spin.text(), QString::fromUtf8("\u20ac \u00e9 A"));
    EXPECT_EQ(spin.Text(), bytes);
}
