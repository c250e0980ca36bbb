// The control adapters: when their events fire and what their properties do.
#include "framework/Ansi.h"
#include "framework/CheckBox.h"
#include "framework/ComboBox.h"
#include "framework/PageControl.h"
#include "framework/StatusBar.h"
#include "tests/common/ScopedCodePage.h"
#include "tests/framework/support/QtPrinters.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

namespace {

// Shows a widget and waits until it is ready for input.
void ShowAndActivate(QWidget& widget) {
    widget.show();
    widget.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
}

QStringList Items(const TComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.Count(); ++i) items << box.Item(i);
    return items;
}

}  // namespace

TEST(CheckBox, RaisesClickOnEveryChangeOfStateByCodeOrOperator) {
    QWidget window;
    TCheckBox box("GM Account", &window);
    box.resize(100, 20);
    ShowAndActivate(window);
    QSignalSpy clicks(&box, &TCheckBox::Click);

    struct Step {
        const char* What;
        std::function<void()> Act;
        bool CheckedAfter;
        int ClicksAfter;
    };
    const std::vector<Step> steps = {
        {"code checks", [&] { box.SetChecked(true); }, true, 1},
        {"code checks again", [&] { box.SetChecked(true); }, true, 1},
        {"operator clicks", [&] { QTest::mouseClick(&box, Qt::LeftButton); }, false, 2},
        {"code unchecks again", [&] { box.SetChecked(false); }, false, 2},
        {"operator presses space",
         [&] {
             box.setFocus();
             QTest::keyClick(&box, Qt::Key_Space);
         },
         true, 3},
        {"code unchecks", [&] { box.SetChecked(false); }, false, 4},
    };
    for (const Step& step : steps) {
        step.Act();
        EXPECT_EQ(box.Checked(), step.CheckedAfter) << step.What;
        EXPECT_EQ(clicks.count(), step.ClicksAfter) << step.What;
    }
}

TEST(PageControl, ChangeFiresOnlyWhenTheOperatorSwitchesPages) {
    TPageControl pages(nullptr);
    pages.resize(236, 167);
    const QWidget* create = pages.AddPage("TabSheet1", "Create");
    pages.AddPage("TabSheet2", "Edit");
    pages.AddPage("TabSheet3", "Options");
    ShowAndActivate(pages);
    QSignalSpy changes(&pages, &TPageControl::Change);

    EXPECT_EQ(create->objectName(), "TabSheet1");
    EXPECT_EQ(pages.tabText(1), "Edit");

    pages.SetActivePageIndex(2);
    EXPECT_EQ(pages.ActivePageIndex(), 2);
    EXPECT_EQ(changes.count(), 0) << "selecting from code raises no change";

    QTabBar* tabs = pages.tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(pages.ActivePageIndex(), 1);
    EXPECT_EQ(changes.count(), 1);

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(changes.count(), 1) << "clicking the page already shown switches nothing";

    tabs->setFocus();
    QTest::keyClick(tabs, Qt::Key_Left);
    EXPECT_EQ(pages.ActivePageIndex(), 0);
    EXPECT_EQ(changes.count(), 2) << "switching by keyboard is the operator's doing too";

    pages.SetActivePageIndex(1);
    EXPECT_EQ(changes.count(), 2);
}

TEST(ComboBox, KeepsItemsSortedWithoutRegardToCaseAndSelectsNothingByItself) {
    TComboBox box(nullptr);
    box.setEditText("ali");  // typed before the list is filled; adding items leaves it alone
    for (const char* item : {"bali", "alien", "Alice", "Zed", "alien", "mike"}) box.AddItem(item);
    EXPECT_EQ(Items(box), (QStringList{"Alice", "alien", "alien", "bali", "mike", "Zed"}));
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.Text(), "ali");

    box.SetItemIndex(3);
    box.AddItem("aaron");
    EXPECT_EQ(box.ItemIndex(), 4) << "the selected item stays selected when an item goes before it";
    EXPECT_EQ(box.Text(), "bali");

    box.ClearItems();
    EXPECT_EQ(box.Count(), 0);
}

// Adding a whole list at once orders it exactly as adding the items one by one: for every character
// of Windows-1252 (the names the program lists), for longer names over them, for equal items that
// differ in case, and for text beyond the code page.
TEST(ComboBox, AddingAListAtOnceOrdersItAsAddingItemByItem) {
    QStringList everyCharacter;
    for (int byte = 0; byte < 256; ++byte) {
        const char ansi = static_cast<char>(byte);
        everyCharacter << FromAnsi(std::string_view(&ansi, 1));
    }
    QStringList names;
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        QString name;
        const int length = static_cast<int>(random() % 16);
        for (int c = 0; c < length; ++c) name += everyCharacter.at(static_cast<qsizetype>(random() % 256));
        names << name;
    }
    const QStringList caseTwins = {"ALICE", "alice", "Alice", "\u00C9t\u00E9", "\u00E9T\u00C9", "a", "A",
                                   "",      "ab",    "a"};
    const QStringList beyondCodePage = {"\u0141ukasz", "lukasz", "\u00DFtra\u00DFe", "STRASSE", "\U0001F600", "z"};

    const QStringList longNames = {QString(20, 'b'), QString(17, 'A'), "a", QString(16, 'a'), QString(16, 'A')};

    for (const QStringList& list :
         {everyCharacter, names, caseTwins, caseTwins + names, beyondCodePage + names, longNames + names}) {
        TComboBox oneByOne(nullptr);
        for (const QString& item : list) oneByOne.AddItem(item);
        TComboBox atOnce(nullptr);
        atOnce.setEditText("typed");
        atOnce.AddItems(list);

        ASSERT_EQ(Items(atOnce), Items(oneByOne));
        EXPECT_EQ(atOnce.ItemIndex(), -1);
        EXPECT_EQ(atOnce.Text(), "typed");
    }
}

// Sorting names given as bytes in one go orders them as adding their texts one by one does.
static void AddsAnsiNamesInOrder() {
    std::vector<std::string> everyByte;
    for (int byte = 0; byte < 256; ++byte) everyByte.emplace_back(1, static_cast<char>(byte));
    std::vector<std::string> names;
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        std::string name;
        const int length = static_cast<int>(random() % 16);
        for (int c = 0; c < length; ++c) name += static_cast<char>(random() % 256);
        names.push_back(name);
    }
    std::vector<std::string> withLongNames = names;
    withLongNames.push_back(std::string(20, 'b'));
    withLongNames.push_back(std::string(17, 'B'));

    for (const auto& list : {everyByte, names, withLongNames}) {
        TComboBox oneByOne(nullptr);
        for (const std::string& name : list) oneByOne.AddItem(FromAnsi(name));
        TComboBox atOnce(nullptr);
        atOnce.setEditText("typed");
        atOnce.AddAnsiItems(list);

        ASSERT_EQ(Items(atOnce), Items(oneByOne));
        EXPECT_EQ(atOnce.ItemIndex(), -1);
        EXPECT_EQ(atOnce.Text(), "typed");
    }
}

// The same for names given as bytes of the code page, sorted before they are decoded: in Windows-1252,
// in other single-byte code pages (whose letters rank otherwise) and in double-byte ones.
TEST(ComboBox, AddingAnsiNamesAtOnceOrdersThemAsAddingTheirTextsItemByItem) {
    for (unsigned codePage : {1252u, 1251u, 1253u, 1254u, 949u, 932u}) {
        SCOPED_TRACE(codePage);
        const TScopedCodePage active(codePage);
        AddsAnsiNamesInOrder();
    }
}

TEST(Ansi, DecoderForManyTextsDecodesAsFromAnsi) {
    for (unsigned codePage : {1252u, 1251u, 949u, 936u}) {
        SCOPED_TRACE(codePage);
        const TScopedCodePage active(codePage);
        const TAnsiDecoder decode;
        std::string every;
        for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
        EXPECT_EQ(decode(every), FromAnsi(every));
        EXPECT_EQ(decode("J\xFCrgen"), FromAnsi("J\xFCrgen"));
        EXPECT_EQ(decode("\xB0\xA1\xC8\xE2"), FromAnsi("\xB0\xA1\xC8\xE2"));
        EXPECT_EQ(decode(""), QString());
    }
}

TEST(ComboBox, FindContainingSearchesCaseSensitivelyFromAPosition) {
    TComboBox box(nullptr);
    box.AddItems({"Alice", "alien", "bali"});
    EXPECT_EQ(box.FindContaining("ali", 0), 1);
    EXPECT_EQ(box.FindContaining("ali", 2), 2);
    EXPECT_EQ(box.FindContaining("ali", 3), -1);
    EXPECT_EQ(box.FindContaining("Ali", 1), -1);
}

TEST(ComboBox, SelectedIndexSemantics) {
    TComboBox box(nullptr);
    for (const char* item : {"alpha", "beta", "gamma"}) box.AddItem(item);

    struct Step {
        const char* What;
        std::function<void()> Act;
        int IndexAfter;
        QString TextAfter;
    };
    const std::vector<Step> steps = {
        {"select another index shows its text", [&] { box.SetItemIndex(1); }, 1, "beta"},
        {"the text changes while an item is selected", [&] { box.lineEdit()->setText("bet"); }, 1, "bet"},
        {"selecting the same index again does nothing", [&] { box.SetItemIndex(1); }, 1, "bet"},
        {"-1 empties the text", [&] { box.SetItemIndex(-1); }, -1, ""},
        {"text typed with nothing selected", [&] { box.setEditText("typed"); }, -1, "typed"},
        {"-1 again does nothing, the typed text stays", [&] { box.SetItemIndex(-1); }, -1, "typed"},
        {"select index 2", [&] { box.SetItemIndex(2); }, 2, "gamma"},
        {"a place beyond the list selects nothing", [&] { box.SetItemIndex(7); }, -1, ""},
    };
    for (const Step& step : steps) {
        step.Act();
        EXPECT_EQ(box.ItemIndex(), step.IndexAfter) << step.What;
        EXPECT_EQ(box.Text(), step.TextAfter) << step.What;
    }
}

TEST(ComboBox, TypingDropsTheSelectionButKeepsTheTypedText) {
    TComboBox box(nullptr);
    box.resize(121, 21);
    for (const char* item : {"alien", "bali"}) box.AddItem(item);
    ShowAndActivate(box);
    box.SetItemIndex(0);
    QSignalSpy selects(&box, &TComboBox::Select);

    box.lineEdit()->setFocus();
    box.lineEdit()->end(false);
    QTest::keyClicks(box.lineEdit(), "s");

    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.Text(), "aliens");
    EXPECT_EQ(box.lineEdit()->cursorPosition(), 6);
    EXPECT_EQ(selects.count(), 0);
}

TEST(ComboBox, SelectFiresOnlyWhenTheOperatorPicksAnItem) {
    TComboBox box(nullptr);
    box.resize(121, 21);
    for (const char* item : {"alien", "bali", "carl"}) box.AddItem(item);
    ShowAndActivate(box);
    QSignalSpy selects(&box, &TComboBox::Select);

    box.SetItemIndex(1);
    EXPECT_EQ(selects.count(), 0) << "selecting from code raises no select event";

    // The operator picks "carl" from the dropped-down list.
    box.showPopup();
    QAbstractItemView* list = box.view();
    QTRY_VERIFY(list->isVisible());
    const QRect carl = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, carl.center());

    EXPECT_EQ(box.ItemIndex(), 2);
    EXPECT_EQ(box.Text(), "carl");
    EXPECT_EQ(selects.count(), 1);
}

TEST(StatusBar, LastPanelReachesTheRightEdge) {
    TStatusBar bar(nullptr);
    bar.resize(236, 19);
    bar.AddPanel(120);
    bar.AddPanel(50);
    bar.SetPanelText(1, "Account created");
    bar.show();

    EXPECT_EQ(bar.PanelCount(), 2);
    EXPECT_EQ(bar.PanelText(0), "");
    EXPECT_EQ(bar.PanelText(1), "Account created");
    EXPECT_EQ(bar.PanelGeometry(0).left(), 0);
    EXPECT_EQ(bar.PanelGeometry(1).left(), 120);
    EXPECT_EQ(bar.PanelGeometry(1).right(), 235);

    bar.resize(300, 19);
    QTRY_COMPARE(bar.PanelGeometry(1).right(), 299);
}
