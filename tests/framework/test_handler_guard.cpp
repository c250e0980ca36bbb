// The guard every handler runs in: errors reach the default error box and the program goes on.
#include "common/Exception.h"
#include "framework/HandlerGuard.h"
#include "tests/framework/support/ApplicationEnvironment.h"
#include "tests/framework/support/RecordingDialogs.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

VAC_USE_APPLICATION_ENVIRONMENT();

TEST(ErrorBoxText, AppendsAPeriodOnlyAfterALastByteThatSortsAfterIt) {
    struct Case {
        std::string Message;
        std::string Shown;
    };
    const Case cases[] = {
        {"Unable to write to /opt/tool/vnac.ini", "Unable to write to /opt/tool/vnac.ini."},
        {"Login failed for user 'sa'", "Login failed for user 'sa'"},  // "'" (0x27) sorts before "."
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"a, b,", "a, b,"},       // "," is 0x2C
        {"minus -", "minus -"},   // "-" is 0x2D, just before "."
        {"slash /", "slash /."},  // "/" is 0x2F, just after "."
        {"count 0", "count 0."},
        {"ends in space ", "ends in space "},
        {"line\n", "line\n"},
        {"caf\xE9", "caf\xE9."},  // a byte above 127 counts unsigned
        {"(1)", "(1)"},           // ")" is 0x29
        {"", ""},                 // no last character, nothing to add
        {".", "."},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.Message), c.Shown) << "message: \"" << c.Message << '"';
}

class ERowLocked : public Exception {
public:
    using Exception::Exception;
};

class HandlerGuardTest : public ::testing::Test {
protected:
    TRecordingDialogs Dialogs;
    THandlerGuard Guard{Dialogs};
};

TEST_F(HandlerGuardTest, ShowsEachKindOfErrorAndStopsTheHandlerThere) {
    struct Case {
        const char* Name;
        void (*Raise)();
        std::string Shown;
    };
    const Case cases[] = {
        {"Exception", [] { throw Exception("Connection lost"); }, "Connection lost."},
        {"derived from Exception", [] { throw ERowLocked("Row locked"); }, "Row locked."},
        {"std::exception", [] { throw std::out_of_range("index out of range"); }, "index out of range."},
        {"std::exception ending in !", [] { throw std::runtime_error("bad thing!"); }, "bad thing!"},
        {"anything else", [] { throw 42; }, "Unexpected error."},
    };
    for (const Case& c : cases) {
        Dialogs.Shown.clear();
        bool reachedTheEnd = false;
        const bool completed = Guard.Run([&] {
            c.Raise();
            reachedTheEnd = true;
        });
        EXPECT_FALSE(completed) << c.Name;
        EXPECT_FALSE(reachedTheEnd) << c.Name;
        EXPECT_EQ(Dialogs.Shown, (std::vector<TShownDialog>{{TShownKind::Error, c.Shown, {}}})) << c.Name;
    }
}

TEST_F(HandlerGuardTest, AHandlerWithoutErrorShowsNothing) {
    int runs = 0;
    EXPECT_TRUE(Guard.Run([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(HandlerGuardTest, TheProgramGoesOnAfterAFailedHandler) {
    // A button whose click handler fails, clicked twice by the operator; a timer due later still fires.
    QPushButton button("Go");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, Guard.Bind([&] {
        ++clicks;
        throw Exception("Rejected");
    }));
    bool timerFired = false;
    QTimer::singleShot(0, [&] { timerFired = true; });

    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTRY_VERIFY(timerFired);

    EXPECT_EQ(clicks, 2);
    const TShownDialog rejected{TShownKind::Error, "Rejected.", {}};
    EXPECT_EQ(Dialogs.Shown, (std::vector<TShownDialog>{rejected, rejected}));
}

namespace {

// A widget whose own event handling fails, outside any handler guard of a window.
class FailingWidget : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override { throw std::runtime_error("paint device lost"); }
};

}  // namespace

TEST(ApplicationGuard, AnErrorEscapingEventHandlingIsShownAndTheLoopGoesOn) {
    TestApplicationDialogs().Shown.clear();
    FailingWidget widget;
    widget.resize(20, 20);
    widget.show();

    QTest::mouseClick(&widget, Qt::LeftButton);
    bool later = false;
    QTimer::singleShot(0, [&] { later = true; });
    QTRY_VERIFY(later);

    EXPECT_EQ(TestApplicationDialogs().Shown,
              (std::vector<TShownDialog>{{TShownKind::Error, "paint device lost.", {}}}));
}
