#include "widgets/RzSpinButtons.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimerEvent>

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TRzControlButton

TRzControlButton::TRzControlButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

TRzControlButton::~TRzControlButton() = default;

void TRzControlButton::SetGlyph(const QPixmap& value) {
    FGlyph = value;
    update();
}

void TRzControlButton::SetNumGlyphs(int value) {
    FNumGlyphs = std::clamp(value, 1, 4);
    update();
}

void TRzControlButton::SetArrow(TArrow value) {
    FArrow = value;
    update();
}

void TRzControlButton::SetFlat(bool value) {
    FFlat = value;
    update();
}

void TRzControlButton::Click() {
    if (OnClick) OnClick(*this);
}

void TRzControlButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || FPressed) return;
    if (OnMouseDown && !OnMouseDown(*this)) return;
    // Moving the focus ran other controls' handlers, which may have disabled or hidden this one.
    if (!isEnabled() || !isVisible()) return;
    FPressed = true;
    update();
    if (FRepeatClicks) {
        if (!FRepeatTimer) FRepeatTimer = std::make_unique<QBasicTimer>();
        FRepeatTimer->start(FInitialDelay, Qt::PreciseTimer, this);
    }
}

void TRzControlButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a fast double click is a press like any other: one more step.
    mousePressEvent(event);
}

void TRzControlButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !FPressed) return;
    const bool inside = rect().contains(event->position().toPoint());
    EndPress();
    if (inside) Click();
}

void TRzControlButton::timerEvent(QTimerEvent* event) {
    if (!FRepeatTimer || event->timerId() != FRepeatTimer->timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    if (!FPressed) {
        FRepeatTimer->stop();
        return;
    }
    FRepeatTimer->start(FDelay, Qt::PreciseTimer, this);
    try {
        Click();
    } catch (...) {
        // The error goes to the caller's error display; the press ends with it, so neither the timer
        // nor a release arriving after the error box closes steps again.
        EndPress();
        throw;
    }
}

void TRzControlButton::EndPress() {
    if (FRepeatTimer) FRepeatTimer->stop();
    if (FPressed) {
        FPressed = false;
        update();
    }
}

void TRzControlButton::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A press cannot outlive the button's ability to take the mouse: disabling it ends it without a click.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) EndPress();
}

bool TRzControlButton::event(QEvent* event) {
    // Another window taking over (a message box, another program) takes the mouse from the button.
    if (event->type() == QEvent::WindowDeactivate) EndPress();
    return QWidget::event(event);
}

void TRzControlButton::hideEvent(QHideEvent* event) {
    EndPress();
    QWidget::hideEvent(event);
}

void TRzControlButton::enterEvent(QEnterEvent* event) {
    FHover = true;
    update();
    QWidget::enterEvent(event);
}

void TRzControlButton::leaveEvent(QEvent* event) {
    FHover = false;
    update();
    QWidget::leaveEvent(event);
}

QPixmap TRzControlButton::GlyphImage() const {
    // Images side by side: normal, disabled, pressed, (down). Missing ones fall back to normal.
    int index = 0;
    if (!isEnabled() && FNumGlyphs > 1)
        index = 1;
    else if (FPressed && FNumGlyphs > 2)
        index = 2;
    const int width = FGlyph.width() / FNumGlyphs;
    return FGlyph.copy(index * width, 0, width, FGlyph.height());
}

void TRzControlButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= FPressed ? QStyle::State_Sunken : QStyle::State_Raised;
    if (FFlat) option.features |= QStyleOptionButton::Flat;
    if (!FFlat || FHover || FPressed) painter.drawPrimitive(QStyle::PE_PanelButtonBevel, option);

    const int shift = FPressed ? 1 : 0;
    if (!FGlyph.isNull()) {
        const QPixmap image = GlyphImage();
        const QPoint at((width() - image.width()) / 2 + shift, (height() - image.height()) / 2 + shift);
        painter.drawPixmap(at, image);
        return;
    }
    QStyleOption arrow;
    arrow.initFrom(this);
    const int inset = std::max(1, std::min(width(), height()) / 4);
    arrow.rect = rect().adjusted(inset, inset, -inset, -inset).translated(shift, shift);
    static constexpr QStyle::PrimitiveElement elements[] = {QStyle::PE_IndicatorArrowUp, QStyle::PE_IndicatorArrowDown,
                                                            QStyle::PE_IndicatorArrowLeft,
                                                            QStyle::PE_IndicatorArrowRight};
    painter.drawPrimitive(elements[static_cast<int>(FArrow)], arrow);
}

// ---------------------------------------------------------------------------------------------
// TRzSpinButtons

TRzSpinButtons::TRzSpinButtons(QWidget* parent)
    : QWidget(parent), FUpRight(new TRzControlButton(this)), FDownLeft(new TRzControlButton(this)) {
    setFocusPolicy(Qt::NoFocus);
    for (TRzControlButton* button : {FUpRight, FDownLeft}) {
        button->SetRepeatClicks(true);
        button->OnMouseDown = [this](TRzControlButton&) { return MoveFocusForPress(); };
    }
    FUpRight->OnClick = [this](TRzControlButton&) { DoUpRightClick(); };
    FDownLeft->OnClick = [this](TRzControlButton&) { DoDownLeftClick(); };
    UpdateArrows();
    LayoutButtons();
}

TRzSpinButtons::~TRzSpinButtons() = default;

std::uint16_t TRzSpinButtons::Delay() const { return FUpRight->Delay(); }

void TRzSpinButtons::SetDelay(std::uint16_t value) {
    FUpRight->SetDelay(value);
    FDownLeft->SetDelay(value);
}

std::uint16_t TRzSpinButtons::InitialDelay() const { return FUpRight->InitialDelay(); }

void TRzSpinButtons::SetInitialDelay(std::uint16_t value) {
    FUpRight->SetInitialDelay(value);
    FDownLeft->SetInitialDelay(value);
}

void TRzSpinButtons::SetDirection(TSpinDirection value) {
    FDirection = value;
    UpdateArrows();
}

void TRzSpinButtons::SetOrientation(TOrientation value) {
    FOrientation = value;
    LayoutButtons();
}

void TRzSpinButtons::SetFlat(bool value) {
    FFlat = value;
    FUpRight->SetFlat(value);
    FDownLeft->SetFlat(value);
}

bool TRzSpinButtons::MoveFocusForPress() {
    QWidget* target = FFocusControl;
    if (!target || target->hasFocus()) return true;
    const bool canTakeFocus = (target->focusPolicy() & Qt::TabFocus) && target->isEnabled() && target->isVisible();
    if (!canTakeFocus) return false;
    target->setFocus(Qt::OtherFocusReason);
    // In a window that is not yet active the focus is only recorded; it arrives with the activation.
    QWidget* window = target->window();
    return target->hasFocus() || (!window->isActiveWindow() && window->focusWidget() == target);
}

void TRzSpinButtons::DoUpRightClick() {
    if (OnUpRightClick) OnUpRightClick();
}

void TRzSpinButtons::DoDownLeftClick() {
    if (OnDownLeftClick) OnDownLeftClick();
}

void TRzSpinButtons::UpdateArrows() {
    const bool upDown = FDirection == sdUpDown;
    FUpRight->SetArrow(upDown ? TRzControlButton::TArrow::Up : TRzControlButton::TArrow::Right);
    FDownLeft->SetArrow(upDown ? TRzControlButton::TArrow::Down : TRzControlButton::TArrow::Left);
}

void TRzSpinButtons::LayoutButtons() {
    const int w = width();
    const int h = height();
    if (FOrientation == orVertical) {
        const int upper = h / 2;
        FUpRight->setGeometry(0, 0, w, upper);
        FDownLeft->setGeometry(0, upper, w, std::max(0, h - upper - 1));
    } else {
        const int left = w / 2;
        FDownLeft->setGeometry(0, 0, left, h);
        FUpRight->setGeometry(left, 0, w - left, h);
    }
}

void TRzSpinButtons::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutButtons();
}

void TRzSpinButtons::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up: FUpRight->Click(); break;
    case Qt::Key_Down: FDownLeft->Click(); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}
