// The program pastes a level field's text unquoted into SQL, so in its two fields (Min 1, Max 9,
// integers) the text must be one of "1".."9" whatever the operator does. Each case is a series
// of operator actions; after every action (the text it leaves must be a level unless the action
// itself wrote the text directly) and after the focus loss the text is checked.
#include <QApplication>
#include <QClipboard>

#include <functional>
#include <set>
#include <string>

#include "tests/widgets/SpinFixture.h"

namespace {

bool IsLevel(const std::string& text) { return text.size() == 1 && text[0] >= '1' && text[0] <= '9'; }

}  // namespace

class SpinBadInput : public SpinFixture {
protected:
    using TAction = std::function<void(SpinBadInput&)>;

    static TAction Type(const QString& keys) {
        return [keys](SpinBadInput& t) { SpinFixture::Type(t.Spin, keys); };
    }
    static TAction Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [key, modifiers](SpinBadInput& t) { QTest::keyClick(t.Spin, key, modifiers); };
    }
    static TAction Paste(const QString& clip) {
        return [clip](SpinBadInput& t) {
            QApplication::clipboard()->setText(clip);
            t.Spin->selectAll();
            QTest::keySequence(t.Spin, QKeySequence::Paste);
            QTest::keyClick(t.Spin, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(t.Spin, Qt::Key_Insert, Qt::ShiftModifier);
        };
    }
    static TAction WheelBy(int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [notches, modifiers](SpinBadInput& t) {
            for (int i = 0; i < std::abs(notches); ++i) t.Wheel(notches > 0 ? 120 : -120, modifiers);
        };
    }
    static TAction Click(TSpinButtonType button, int times) {
        return [button, times](SpinBadInput& t) {
            for (int i = 0; i < times; ++i) QTest::mouseClick(&t.Spin->Button(button), Qt::LeftButton);
            t.Spin->setFocus(Qt::TabFocusReason);  // a click moved the focus; keep typing into the field
        };
    }
    static TAction Hold(TSpinButtonType button, std::size_t steps) {
        return [button, steps](SpinBadInput& t) {
            const std::size_t before = t.Steps.size();
            QTest::mousePress(&t.Spin->Button(button), Qt::LeftButton);
            ASSERT_TRUE(WaitUntil([&] { return t.Steps.size() >= before + steps; }));
            QTest::mouseRelease(&t.Spin->Button(button), Qt::LeftButton);
        };
    }
};

TEST_F(SpinBadInput, TheLevelFieldNeverShowsAnythingButOneToNine) {
    const struct {
        const char* name;
        std::vector<TAction> actions;
    } cases[] = {
        {"digits and signs", {Type("0"), Type("10"), Type("-5"), Type("+99"), Type("5")}},
        {"letters, blanks, separators", {Type("abc"), Type(" "), Type("."), Type(","), Type("1e9")}},
        {"non-ASCII", {Type(QString::fromUtf8("\u00e9\u20ac\uff15\u0665"))}},
        {"erasing keys",
         {Key(Qt::Key_Backspace), Key(Qt::Key_Delete), Key(Qt::Key_Delete, Qt::ShiftModifier),
          Key(Qt::Key_Backspace, Qt::ControlModifier), Key(Qt::Key_K, Qt::ControlModifier),
          Key(Qt::Key_U, Qt::ControlModifier), Key(Qt::Key_W, Qt::ControlModifier), Key(Qt::Key_Z, Qt::ControlModifier),
          Key(Qt::Key_X, Qt::ControlModifier)}},
        {"Enter and Escape", {Key(Qt::Key_Return), Key(Qt::Key_Enter), Key(Qt::Key_Escape)}},
        {"paste",
         {Paste("7"), Paste("0"), Paste("10"), Paste("abc"), Paste(""), Paste("1; DROP TABLE x"), Paste(" 5"),
          Paste(QString::fromUtf8("\u00e9"))}},
        {"arrow and page keys",
         {Key(Qt::Key_Up), Key(Qt::Key_PageUp), Key(Qt::Key_Up), Key(Qt::Key_PageDown), Key(Qt::Key_Down),
          Key(Qt::Key_PageUp, Qt::ShiftModifier)}},
        {"wheel",
         {WheelBy(20), WheelBy(-30), WheelBy(3, Qt::ControlModifier), WheelBy(-3, Qt::ControlModifier), WheelBy(4)}},
        {"button clicks", {Click(sbUp, 12), Click(sbDown, 3), Click(sbDown, 12), Click(sbUp, 1)}},
        {"button held", {Hold(sbUp, 10), Hold(sbDown, 10)}},
    };
    MakeLevelField();
    std::set<std::string> seen;
    for (const auto& c : cases) {
        Spin->SetIntegerValue(5);
        FocusSpin();
        for (const auto& action : c.actions) {
            action(*this);
            EXPECT_TRUE(IsLevel(Spin->Text())) << c.name << ": '" << Spin->Text() << "'";
        }
        LeaveSpin();
        EXPECT_TRUE(IsLevel(Spin->Text())) << c.name << " after focus loss: '" << Spin->Text() << "'";
        seen.insert(Spin->Text());
    }
    // The steps really moved the field: both ends were reached.
    EXPECT_TRUE(seen.count("1") && seen.count("9"));
}

TEST_F(SpinBadInput, TextWrittenDirectlyIsALevelAgainAfterTheFocusLoss) {
    MakeLevelField();
    const char* texts[] = {"",    "abc",  "0",   "10",  "-1",  "+",       "-",   "4.5", "8.6",  "0.9",   "9.4",
                           "1e1", "1e-9", " 3 ", "3 4", "1,5", "1e99999", "NAN", "INF", "\xe9", "5'; --"};
    for (const char* text : texts) {
        FocusSpin();
        Spin->SetText(text);
        LeaveSpin();
        EXPECT_TRUE(IsLevel(Spin->Text())) << "'" << text << "' became '" << Spin->Text() << "'";
    }
}

TEST_F(SpinBadInput, KeyEditOperatorCanLeaveTheRangeOnlyUntilTheFocusLoss) {
    MakeLevelField();
    Spin->SetAllowKeyEdit(true);
    const QString typed[] = {"0", "99", "-5", "+", "12345678901234567890", "5.5"};
    for (const QString& text : typed) {
        FocusSpin();
        Spin->selectAll();
        QTest::keyClicks(Spin, text);
        LeaveSpin();
        EXPECT_TRUE(IsLevel(Spin->Text())) << text.toStdString() << " became '" << Spin->Text() << "'";
    }
}
