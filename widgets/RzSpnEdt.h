#pragma once
// TRzSpinEdit: a numeric edit field with a pair of arrow buttons inside its right edge. The text is
// the state: Value parses it on every read and formats into it on every write, clamped to Min..Max.
// The main window's game-master level fields are two of these (Min 1, Max 9): their Text is always
// one of "1".."9" once the field has lost the focus.
#include <QPixmap>

#include <cstdint>
#include <functional>
#include <string>

#include "widgets/RzEdit.h"
#include "widgets/RzSpinButtons.h"

class TRzSpinEdit;

enum TSpinButtonType : std::uint8_t { sbUp, sbDown };

// Asked before a step; setting allowChange to false cancels it.
using TSpinChangingEvent = std::function<void(TRzSpinEdit& sender, long double newValue, bool& allowChange)>;
// Told after a step.
using TSpinButtonEvent = std::function<void(TRzSpinEdit& sender, TSpinButtonType button)>;

class TRzSpinEdit : public TRzCustomEdit {
    Q_OBJECT

public:
    explicit TRzSpinEdit(QWidget* parent = nullptr);
    ~TRzSpinEdit() override;

    // The number in the text (see the source for the empty and unparsable cases); never clamps.
    // Reading an empty field without AllowBlank fills it with Min, hence not const.
    virtual long double Value();
    // Clamps, then formats with Decimals digits after the decimal separator.
    virtual void SetValue(long double value);
    // Value rounded to the nearest integer, halves to even (saturated to the range of long long).
    virtual long long IntegerValue();
    virtual void SetIntegerValue(long long value);

    long double Min() const { return FMin; }
    virtual void SetMin(long double value);  // raises Max to it when above; re-clamps the text
    long double Max() const { return FMax; }
    virtual void SetMax(long double value);  // lowers Min to it when below; re-clamps the text
    long double Increment() const { return FIncrement; }
    void SetIncrement(long double value) { FIncrement = value; }
    long double PageSize() const { return FPageSize; }
    void SetPageSize(long double value) { FPageSize = value; }
    std::uint8_t Decimals() const { return FDecimals; }
    virtual void SetDecimals(std::uint8_t value);
    bool IntegersOnly() const { return FIntegersOnly; }
    virtual void SetIntegersOnly(bool value);
    // Clamp even when Min equals Max.
    bool CheckRange() const { return FCheckRange; }
    virtual void SetCheckRange(bool value);
    // Lets the operator type, delete, paste and cut.
    bool AllowKeyEdit() const { return FAllowKeyEdit; }
    void SetAllowKeyEdit(bool value);
    // An empty text stays empty and reads as BlankValue.
    bool AllowBlank() const { return FAllowBlank; }
    void SetAllowBlank(bool value) { FAllowBlank = value; }
    long double BlankValue() const { return FBlankValue; }
    void SetBlankValue(long double value) { FBlankValue = value; }

    int ButtonWidth() const { return FButtonWidth; }
    virtual void SetButtonWidth(int value);  // negative counts as 0
    TSpinDirection Direction() const;
    virtual void SetDirection(TSpinDirection value);
    TOrientation Orientation() const;
    virtual void SetOrientation(TOrientation value);
    const QPixmap& ButtonUpGlyph() const;
    virtual void SetButtonUpGlyph(const QPixmap& value);
    int ButtonUpNumGlyphs() const;
    virtual void SetButtonUpNumGlyphs(int value);
    const QPixmap& ButtonDownGlyph() const;
    virtual void SetButtonDownGlyph(const QPixmap& value);
    int ButtonDownNumGlyphs() const;
    virtual void SetButtonDownNumGlyphs(int value);
    bool FlatButtons() const;
    virtual void SetFlatButtons(bool value);
    QColor FlatButtonColor() const { return FFlatButtonColor; }
    void SetFlatButtonColor(const QColor& value);

    // The range rule: outside Min..Max clamps, unless Min equals Max and CheckRange is false.
    virtual long double ClampToRange(long double value) const;
    // One step by amount: beeps when read-only, asks OnChanging, writes Value, tells OnButtonClick.
    virtual void SpinUp(long double amount);
    virtual void SpinDown(long double amount);
    // The typing filter.
    virtual bool IsAcceptedChar(QChar ch) const;

    TRzSpinButtons& Buttons() { return *FButtons; }
    virtual TRzControlButton& Button(TSpinButtonType button);

    // The decimal separator of the system's number format, used for parsing and formatting.
    static QChar DecimalSeparator();

    TSpinChangingEvent OnChanging;
    TSpinButtonEvent OnButtonClick;

protected:
    virtual bool DoChanging(long double newValue);
    virtual void DoButtonClick(TSpinButtonType button);
    virtual void UpButtonClick();
    virtual void DownButtonClick();
    virtual void LayoutButtons();
    virtual void SetMargins();

    bool HandleKeyDown(QKeyEvent& event) override;
    bool HandleKeyPress(QChar ch) override;
    bool EditingLocked() const override;
    void ReadOnlyChanged() override;

    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void RewriteValue();
    void Step(long double newValue, TSpinButtonType button);

    TRzSpinButtons* FButtons;  // child, owned by Qt's parent tree
    long double FMin = 0;
    long double FMax = 100;
    long double FIncrement = 1;
    long double FPageSize = 10;
    std::uint8_t FDecimals = 0;
    bool FIntegersOnly = true;
    bool FCheckRange = false;
    bool FAllowKeyEdit = false;
    bool FAllowBlank = false;
    long double FBlankValue = 0;
    int FButtonWidth = 17;
    QColor FFlatButtonColor;
    int FWheelRemainder = 0;  // partial wheel turns from high-resolution wheels
};
