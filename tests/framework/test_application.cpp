// The application object and the window base: title, main window, message loop, guarded close.
#include "common/Exception.h"
#include "framework/Application.h"
#include "framework/Form.h"
#include "tests/framework/support/ApplicationEnvironment.h"
#include "tests/framework/support/RecordingDialogs.h"

#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A window whose close handler fails while FailClose is set.
class TClosingForm : public TForm {
public:
    using TForm::TForm;

    bool FailClose = false;
    int CloseHandlerRuns = 0;

protected:
    void FormClose() override {
        ++CloseHandlerRuns;
        if (FailClose) throw Exception("Unable to write to /opt/tool/vnac.ini");
    }
};

}  // namespace

TEST(Form, AFailingCloseHandlerShowsTheErrorAndKeepsTheWindowOpen) {
    TRecordingDialogs dialogs;
    TClosingForm form(dialogs);
    form.SetFixedClientSize(236, 186);
    form.ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    int closedSignals = 0;
    QObject::connect(&form, &TForm::Closed, [&] { ++closedSignals; });

    form.FailClose = true;
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(closedSignals, 0);
    EXPECT_EQ(dialogs.Shown,
              (std::vector<TShownDialog>{{TShownKind::Error, "Unable to write to /opt/tool/vnac.ini.", {}}}));

    form.FailClose = false;  // closing again tries again
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closedSignals, 1);
    EXPECT_EQ(form.CloseHandlerRuns, 2);
}

TEST(Form, IsFixedInSizeCentredAndHasOnlyACloseButton) {
    TRecordingDialogs dialogs;
    TForm form(dialogs);
    form.SetFixedClientSize(236, 186);
    form.ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    EXPECT_EQ(form.size(), QSize(236, 186));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QPoint offset = form.frameGeometry().center() - form.screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
}

TEST(Application, RunsTheLoopUntilTheMainWindowClosesWhateverOtherWindowsDo) {
    TApplication& app = TApplicationEnvironment::App();
    app.SetTitle("Vantor Account Creator");
    EXPECT_EQ(app.Title(), "Vantor Account Creator");

    auto& main = app.CreateForm<TClosingForm>();
    EXPECT_EQ(app.GetMainForm(), &main);
    EXPECT_EQ(&main.Dialogs(), &TestApplicationDialogs());

    // The loop ends when the main window closes, although another top-level window is still open;
    // a close that its handler refuses does not end it.
    QWidget other;
    other.show();
    bool mainShownWhileRunning = false;
    bool loopHung = false;
    QTimer watchdog;  // only so that a fault ends the test instead of hanging it
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        loopHung = true;
        QCoreApplication::quit();
    });
    watchdog.start(10000);
    QTimer::singleShot(0, [&] {
        mainShownWhileRunning = main.isVisible();
        main.FailClose = true;
        main.close();
        main.FailClose = false;
        QTimer::singleShot(0, [&] { main.close(); });
    });
    EXPECT_EQ(app.Run(), 0);

    EXPECT_FALSE(loopHung) << "the loop went on after the main window closed";
    EXPECT_TRUE(mainShownWhileRunning);
    EXPECT_EQ(main.CloseHandlerRuns, 2);
    EXPECT_FALSE(main.isVisible());
}
