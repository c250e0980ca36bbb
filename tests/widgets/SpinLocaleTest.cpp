// Number text follows the system's decimal separator. Run by ctest a second time under a German
// locale (widgets_spin_comma_locale); under a point locale these cases have nothing to show.
#include <QLocale>

#include "tests/widgets/SpinFixture.h"

TEST(SpinLocale, CommaSeparatorIsUsedForReadingWritingAndTyping) {
    if (TRzSpinEdit::DecimalSeparator() != u',')
        GTEST_SKIP() << "system decimal separator is '" << QLocale::system().decimalPoint().toStdString() << "'";
    TRzSpinEdit spin;
    spin.SetIntegersOnly(false);
    spin.SetDecimals(2);
    spin.SetValue(1.5L);
    EXPECT_EQ(spin.Text(), "1,50");
    spin.SetMax(10000);
    spin.SetValue(1234.5L);
    EXPECT_EQ(spin.Text(), "1234,50");  // never a thousands separator

    spin.SetText("2,5");
    EXPECT_EQ(spin.Value(), 2.5L);
    spin.SetText("2.5");  // the point is not this system's separator
    EXPECT_EQ(spin.Value(), spin.Min());
    spin.SetText("1.234,5");
    EXPECT_EQ(spin.Value(), spin.Min());

    spin.SetAllowKeyEdit(true);
    spin.SetText("3");
    EXPECT_TRUE(spin.IsAcceptedChar(u','));
    EXPECT_FALSE(spin.IsAcceptedChar(u'.'));
}

TEST(SpinLocale, EmptyFieldIsFilledWithMinInGeneralFormat) {
    if (TRzSpinEdit::DecimalSeparator() != u',') GTEST_SKIP() << "system decimal separator is not a comma";
    TRzSpinEdit spin;
    spin.SetIntegersOnly(false);
    spin.SetMin(0.25L);
    spin.SetText("");
    EXPECT_EQ(spin.Value(), 0.25L);
    EXPECT_EQ(spin.Text(), "0,25");
}
