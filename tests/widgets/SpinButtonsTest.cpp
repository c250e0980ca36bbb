// The arrow buttons driven with real mouse events and a running event loop: focus move, one step
// per quick click, auto-repeat while held, release inside or outside, errors during the repeat.
//
// Timing checks only use bounds that load cannot break: a repeat timer that restarts itself on
// every firing can never fire earlier than InitialDelay + k * Delay after the press, so the k-th
// repeat step is checked to come no sooner than that, and the number of steps seen by time T
// never to exceed what that schedule allows. Waits are open-ended up to a generous limit.
#include <QElapsedTimer>

#include <string>

#include "common/Exception.h"
#include "tests/widgets/SpinFixture.h"
#include "tests/widgets/TestApplication.h"

namespace {

constexpr qint64 ClockSlackMs = 2;  // two monotonic clocks read at millisecond granularity

class RecordingFocusThief : public QObject {
public:
    explicit RecordingFocusThief(QWidget* target) : Target(target) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) Target->setFocus(Qt::OtherFocusReason);
        return false;
    }
    QWidget* Target;
};

}  // namespace

class SpinButtons : public SpinFixture {
protected:
    void SetUp() override {
        SpinFixture::SetUp();
        Spin->OnButtonClick = [this](TRzSpinEdit&, TSpinButtonType button) {
            Steps.push_back(button);
            Stamps.push_back(Clock.elapsed());
        };
        Other->setFocus();
        TTestApplication::Errors().clear();
    }

    TRzControlButton& Up() { return Spin->Button(sbUp); }
    TRzControlButton& Down() { return Spin->Button(sbDown); }

    void Press(TRzControlButton& button) {
        Clock.start();
        QTest::mousePress(&button, Qt::LeftButton);
    }
    static void ReleaseInside(TRzControlButton& button) { QTest::mouseRelease(&button, Qt::LeftButton); }
    static void ReleaseOutside(TRzControlButton& button) {
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(button.width() + 30, -20));
    }

    // Steps the repeat schedule allows by the time elapsed now (press at 0).
    qint64 MostRepeatsSoFar(std::uint16_t initialDelay = 400, std::uint16_t delay = 100) const {
        const qint64 elapsed = Clock.elapsed() + ClockSlackMs;
        return elapsed < initialDelay ? 0 : 1 + (elapsed - initialDelay) / delay;
    }

    // No step at all for a while longer than the initial delay: the repeat timer is really stopped.
    void ExpectNoMoreSteps() {
        const std::size_t before = Steps.size();
        QTest::qWait(600);
        EXPECT_EQ(Steps.size(), before);
    }

    QElapsedTimer Clock;
    std::vector<qint64> Stamps;
};

TEST_F(SpinButtons, QuickClickStepsOnceAtReleaseAndTakesTheFocus) {
    MakeLevelField();
    Press(Up());
    EXPECT_TRUE(Spin->hasFocus());
    EXPECT_TRUE(Up().Pressed());
    EXPECT_TRUE(Up().Repeating());
    EXPECT_TRUE(Steps.empty());  // nothing at the press itself
    ReleaseInside(Up());
    EXPECT_EQ(Steps, std::vector<TSpinButtonType>{sbUp});
    EXPECT_EQ(Spin->Text(), "2");
    EXPECT_FALSE(Up().Pressed());
    EXPECT_FALSE(Up().Repeating());
    ExpectNoMoreSteps();

    Press(Down());
    ReleaseInside(Down());
    EXPECT_EQ(Steps, (std::vector<TSpinButtonType>{sbUp, sbDown}));
    EXPECT_EQ(Spin->Text(), "1");
    ExpectNoMoreSteps();
}

TEST_F(SpinButtons, HoldingStepsAfterTheInitialDelayThenEveryDelayAndOnceMoreAtRelease) {
    Press(Up());
    ASSERT_TRUE(WaitUntil([this] { return Steps.size() >= 4; }));
    EXPECT_LE(static_cast<qint64>(Steps.size()), MostRepeatsSoFar());
    for (std::size_t k = 0; k < Stamps.size(); ++k)
        EXPECT_GE(Stamps[k] + ClockSlackMs, 400 + 100 * static_cast<qint64>(k)) << "repeat step " << k;

    const std::size_t held = Steps.size();
    ReleaseInside(Up());
    EXPECT_EQ(Steps.size(), held + 1);
    EXPECT_EQ(Spin->Text(), std::to_string(held + 1));
    EXPECT_FALSE(Up().Repeating());
    ExpectNoMoreSteps();
    EXPECT_EQ(Steps, std::vector<TSpinButtonType>(Steps.size(), sbUp));
}

TEST_F(SpinButtons, ReleaseOutsideAddsNoStepAndRepeatGoesOnWhileThePointerIsOutside) {
    Spin->SetValue(50);
    Press(Down());
    QTest::mouseMove(&Down(), QPoint(-40, -40));  // dragged off the button, still held
    ASSERT_TRUE(WaitUntil([this] { return Steps.size() >= 2; }));
    const std::size_t held = Steps.size();
    ReleaseOutside(Down());
    EXPECT_EQ(Steps.size(), held);
    EXPECT_EQ(Spin->Text(), std::to_string(50 - held));
    EXPECT_FALSE(Down().Pressed());
    ExpectNoMoreSteps();

    // A quick press released outside makes no step at all.
    Steps.clear();
    Press(Up());
    ReleaseOutside(Up());
    ExpectNoMoreSteps();
    EXPECT_TRUE(Steps.empty());
}

TEST_F(SpinButtons, DelaysAreSetForBothButtons) {
    Spin->Buttons().SetInitialDelay(60);
    Spin->Buttons().SetDelay(20);
    EXPECT_EQ(Down().InitialDelay(), 60);
    EXPECT_EQ(Down().Delay(), 20);
    Press(Down());
    ASSERT_TRUE(WaitUntil([this] { return Steps.size() >= 5; }));
    EXPECT_LE(static_cast<qint64>(Steps.size()), MostRepeatsSoFar(60, 20));
    for (std::size_t k = 0; k < Stamps.size(); ++k)
        EXPECT_GE(Stamps[k] + ClockSlackMs, 60 + 20 * static_cast<qint64>(k)) << "repeat step " << k;
    ReleaseOutside(Down());
}

TEST_F(SpinButtons, APressThatCannotMoveTheFocusIsCancelled) {
    // No tab stop: the field cannot take the focus.
    Spin->setFocusPolicy(Qt::NoFocus);
    Press(Up());
    EXPECT_TRUE(Other->hasFocus());
    EXPECT_FALSE(Up().Pressed());
    EXPECT_FALSE(Up().Repeating());
    ExpectNoMoreSteps();
    ReleaseInside(Up());
    EXPECT_TRUE(Steps.empty());

    // The focus goes elsewhere while it is being moved.
    Spin->setFocusPolicy(Qt::StrongFocus);
    RecordingFocusThief thief(Other);
    Spin->installEventFilter(&thief);
    Press(Up());
    Spin->removeEventFilter(&thief);
    EXPECT_FALSE(Spin->hasFocus());
    EXPECT_FALSE(Up().Pressed());
    ReleaseInside(Up());
    ExpectNoMoreSteps();
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(Spin->Text(), "0");
}

TEST_F(SpinButtons, ADisabledFieldTakesNoPressKeyOrWheel) {
    MakeLevelField();
    Spin->SetEnabled(false);
    Press(Up());
    ReleaseInside(Up());
    QTest::keyClick(Spin, Qt::Key_Up);
    Wheel(120);
    ExpectNoMoreSteps();
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(Spin->Text(), "1");
}

TEST_F(SpinButtons, DisablingTheFieldWhileHeldEndsTheRepeat) {
    Press(Up());
    ASSERT_TRUE(WaitUntil([this] { return !Steps.empty(); }));
    Spin->SetEnabled(false);
    EXPECT_FALSE(Up().Pressed());
    EXPECT_FALSE(Up().Repeating());
    const std::size_t held = Steps.size();
    Spin->SetEnabled(true);
    ReleaseInside(Up());
    ExpectNoMoreSteps();
    EXPECT_EQ(Steps.size(), held);
}

TEST_F(SpinButtons, AnotherWindowTakingOverEndsTheRepeat) {
    // A box opened while the button is held takes the mouse; the repeat must not run on behind it.
    Press(Up());
    ASSERT_TRUE(WaitUntil([this] { return !Steps.empty(); }));
    QWidget box;
    box.resize(100, 50);
    box.show();
    box.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    EXPECT_FALSE(Up().Pressed());
    EXPECT_FALSE(Up().Repeating());
    const std::size_t held = Steps.size();
    ExpectNoMoreSteps();
    EXPECT_EQ(Steps.size(), held);
}

TEST_F(SpinButtons, ErrorDuringRepeatStopsTheTimerAndReachesTheErrorDisplay) {
    int asked = 0;
    Spin->OnChanging = [&](TRzSpinEdit&, long double, bool&) {
        if (++asked == 2) throw Exception("level refused");
    };
    Press(Up());
    ASSERT_TRUE(WaitUntil([] { return !TTestApplication::Errors().empty(); }));
    EXPECT_EQ(TTestApplication::Errors(), std::vector<std::string>{"level refused"});
    EXPECT_FALSE(Up().Repeating());
    EXPECT_EQ(Steps.size(), 1u);  // the step that failed made no change and told nothing
    EXPECT_EQ(Spin->Text(), "1");
    // The press ended with the error: the release that follows the error box makes no step.
    ReleaseInside(Up());
    ExpectNoMoreSteps();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Spin->Text(), "1");
}

TEST_F(SpinButtons, DoubleClickStepsTwice) {
    Press(Up());
    ReleaseInside(Up());
    QTest::mouseDClick(&Up(), Qt::LeftButton);
    ReleaseInside(Up());
    EXPECT_EQ(Steps.size(), 2u);
    EXPECT_EQ(Spin->Text(), "2");
}

TEST_F(SpinButtons, OtherMouseButtonsDoNothing) {
    QTest::mousePress(&Up(), Qt::RightButton);
    QTest::mouseRelease(&Up(), Qt::RightButton);
    QTest::mouseClick(&Down(), Qt::MiddleButton);
    ExpectNoMoreSteps();
    EXPECT_TRUE(Steps.empty());
}

TEST_F(SpinButtons, ButtonPairWithATabStopStepsWithArrowKeys) {
    Spin->SetValue(5);
    Spin->Buttons().setFocusPolicy(Qt::TabFocus);
    Spin->Buttons().setFocus();
    ASSERT_TRUE(Spin->Buttons().hasFocus());
    QTest::keyClick(&Spin->Buttons(), Qt::Key_Up);
    QTest::keyClick(&Spin->Buttons(), Qt::Key_Up);
    QTest::keyClick(&Spin->Buttons(), Qt::Key_Down);
    EXPECT_EQ(Steps, (std::vector<TSpinButtonType>{sbUp, sbUp, sbDown}));
    EXPECT_EQ(Spin->Text(), "6");
}
