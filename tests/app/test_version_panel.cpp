// The first status-bar panel names the build's version (the project version of the build) and shows
// it whole within its 120 pixels.
#include "app/mUnit.h"
#include "tests/framework/support/ApplicationEnvironment.h"
#include "tests/framework/support/RecordingDialogs.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

VAC_USE_APPLICATION_ENVIRONMENT();

TEST(VersionPanelTest, TheFirstPanelShowsTheBuildsVersionWhole) {
    TRecordingDialogs dialogs;
    TMainForm form{dialogs};
    form.ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    const QString text = form.StatusBar1->PanelText(0);
    EXPECT_TRUE(text.contains(QStringLiteral(VAC_PROJECT_VERSION))) << text.toStdString();

    const auto* panel = form.StatusBar1->findChild<QLabel*>(QStringLiteral("Panel0"));
    ASSERT_NE(panel, nullptr);
    const int needed = panel->fontMetrics().horizontalAdvance(text) + panel->indent();
    EXPECT_LE(needed, panel->contentsRect().width()) << "\"" << text.toStdString() << "\" is cut short";
}
