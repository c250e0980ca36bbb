#pragma once
// The arrow buttons of the spin edit: TRzControlButton is one push button that can repeat its click
// while held; TRzSpinButtons holds the up-or-right and down-or-left pair and lays them out.
#include <QBasicTimer>
#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

enum TSpinDirection : std::uint8_t { sdUpDown, sdLeftRight };
enum TOrientation : std::uint8_t { orVertical, orHorizontal };

class TRzControlButton : public QWidget {
    Q_OBJECT

public:
    enum class TArrow : std::uint8_t { Up, Down, Left, Right };

    explicit TRzControlButton(QWidget* parent = nullptr);
    ~TRzControlButton() override;

    // Custom glyph with NumGlyphs images side by side (normal, disabled, pressed, ...); while
    // empty the arrow is drawn.
    const QPixmap& Glyph() const { return FGlyph; }
    void SetGlyph(const QPixmap& value);
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int value);  // kept within 1..4

    TArrow Arrow() const { return FArrow; }
    void SetArrow(TArrow value);

    bool Flat() const { return FFlat; }
    void SetFlat(bool value);

    // With RepeatClicks, holding the button clicks once after InitialDelay ms and then every Delay ms.
    bool RepeatClicks() const { return FRepeatClicks; }
    void SetRepeatClicks(bool value) { FRepeatClicks = value; }
    std::uint16_t InitialDelay() const { return FInitialDelay; }
    void SetInitialDelay(std::uint16_t value) { FInitialDelay = value; }
    std::uint16_t Delay() const { return FDelay; }
    void SetDelay(std::uint16_t value) { FDelay = value; }

    bool Pressed() const { return FPressed; }
    // True while the repeat timer runs (between a press and its release).
    bool Repeating() const { return FRepeatTimer && FRepeatTimer->isActive(); }

    // Performs one click, as a release over the button does.
    void Click();

    // Asked on a left press before anything else; false cancels the press silently.
    std::function<bool(TRzControlButton& sender)> OnMouseDown;
    std::function<void(TRzControlButton& sender)> OnClick;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void EndPress();
    QPixmap GlyphImage() const;

    QPixmap FGlyph;
    int FNumGlyphs = 1;
    TArrow FArrow = TArrow::Up;
    bool FFlat = false;
    bool FRepeatClicks = false;
    std::uint16_t FInitialDelay = 400;
    std::uint16_t FDelay = 100;
    bool FPressed = false;
    bool FHover = false;
    std::unique_ptr<QBasicTimer> FRepeatTimer;  // created on the first press
};

class TRzSpinButtons : public QWidget {
    Q_OBJECT

public:
    explicit TRzSpinButtons(QWidget* parent = nullptr);
    ~TRzSpinButtons() override;

    TRzControlButton& UpRightButton() { return *FUpRight; }
    TRzControlButton& DownLeftButton() { return *FDownLeft; }

    // Read from the up-or-right button, written to both.
    std::uint16_t Delay() const;
    void SetDelay(std::uint16_t value);
    std::uint16_t InitialDelay() const;
    void SetInitialDelay(std::uint16_t value);

    // The control that takes the focus when a button is pressed; null: none is moved.
    QWidget* FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget* value) { FFocusControl = value; }

    TSpinDirection Direction() const { return FDirection; }
    void SetDirection(TSpinDirection value);
    TOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TOrientation value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool value);

    const QPixmap& GlyphUpRight() const { return FUpRight->Glyph(); }
    void SetGlyphUpRight(const QPixmap& value) { FUpRight->SetGlyph(value); }
    const QPixmap& GlyphDownLeft() const { return FDownLeft->Glyph(); }
    void SetGlyphDownLeft(const QPixmap& value) { FDownLeft->SetGlyph(value); }
    int NumGlyphsUpRight() const { return FUpRight->NumGlyphs(); }
    void SetNumGlyphsUpRight(int value) { FUpRight->SetNumGlyphs(value); }
    int NumGlyphsDownLeft() const { return FDownLeft->NumGlyphs(); }
    void SetNumGlyphsDownLeft(int value) { FDownLeft->SetNumGlyphs(value); }

    std::function<void()> OnUpRightClick;
    std::function<void()> OnDownLeftClick;

protected:
    // Moves the focus to FocusControl if it can take it; false when the focus is not there afterwards.
    virtual bool MoveFocusForPress();
    virtual void DoUpRightClick();
    virtual void DoDownLeftClick();

    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void LayoutButtons();
    void UpdateArrows();

    TRzControlButton* FUpRight;  // children, owned by Qt's parent tree
    TRzControlButton* FDownLeft;
    QWidget* FFocusControl = nullptr;
    TSpinDirection FDirection = sdUpDown;
    TOrientation FOrientation = orVertical;
    bool FFlat = false;
};
