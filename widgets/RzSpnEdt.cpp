#include "widgets/RzSpnEdt.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWheelEvent>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr int WheelNotch = 120;  // one step of a standard mouse wheel

// The text as a number: optional blanks around, an optional sign, digits with at most one system
// decimal separator, an optional exponent. No thousands separators, no other decimal point.
std::optional<long double> ParseNumber(const QString& text, QChar separator) {
    const QString trimmed = text.trimmed();
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(trimmed.size()));
    for (QChar ch : trimmed) {
        if (ch == separator)
            ascii += '.';
        else if (ch.unicode() < 128 && (ch.isDigit() || ch == u'+' || ch == u'-' || ch == u'e' || ch == u'E'))
            ascii += static_cast<char>(ch.unicode());
        else
            return std::nullopt;
    }
    std::string_view digits = ascii;
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
        if (digits.starts_with('-')) return std::nullopt;
    }
    if (digits.empty()) return std::nullopt;
    long double value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::general);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::string PrintF(const char* format, int precision, long double value) {
    const int length = std::snprintf(nullptr, 0, format, precision, value);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, precision, value);
    return text;
}

QString WithSeparator(const std::string& text, QChar separator) {
    QString result = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    result.replace(u'.', separator);
    return result;
}

QString FormatNonFinite(long double value) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Fixed-point text with 18 significant digits and `decimals` digits after the separator;
// no thousands separators. Values too large for 18 integer digits fall back to exponent form.
QString FormatFixed(long double value, int decimals, QChar separator) {
    if (!std::isfinite(value)) return FormatNonFinite(value);
    constexpr int significant = 18;
    if (std::fabs(value) >= 1e18L) return WithSeparator(PrintF("%.*Lg", significant, value), separator);
    const long double rounded = std::strtold(PrintF("%.*Le", significant - 1, value).c_str(), nullptr);
    std::string text = PrintF("%.*Lf", decimals, rounded);
    if (text.starts_with('-') && text.find_first_not_of("0.", 1) == std::string::npos)
        text.erase(0, 1);  // a value that rounds to zero shows no sign
    return WithSeparator(text, separator);
}

// General number text: up to 15 significant digits, no trailing zeros.
QString FormatGeneral(long double value, QChar separator) {
    if (!std::isfinite(value)) return FormatNonFinite(value);
    return WithSeparator(PrintF("%.*Lg", 15, value), separator);
}

}  // namespace

TRzSpinEdit::TRzSpinEdit(QWidget* parent) : TRzCustomEdit(parent), FButtons(new TRzSpinButtons(this)) {
    FButtons->resize(17, 17);
    FButtons->SetFocusControl(this);
    FButtons->OnUpRightClick = [this] { UpButtonClick(); };
    FButtons->OnDownLeftClick = [this] { DownButtonClick(); };
    FFlatButtonColor = QApplication::palette(this).color(QPalette::Active, QPalette::Button);
    resize(47, height());
    SetAlignment(taRightJustify);
    UpdateEditingLock();
    SetValue(0);
    LayoutButtons();
    SetMargins();
}

TRzSpinEdit::~TRzSpinEdit() = default;

QChar TRzSpinEdit::DecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 ? point.front() : QChar(u'.');
}

long double TRzSpinEdit::Value() {
    const QChar separator = DecimalSeparator();
    if (!text().isEmpty()) return ParseNumber(text(), separator).value_or(FMin);
    if (FAllowBlank) return FBlankValue;
    setText(FormatGeneral(FMin, separator));
    return ParseNumber(text(), separator).value_or(FMin);
}

void TRzSpinEdit::SetValue(long double value) {
    const bool keepCaret = parentWidget() != nullptr && !hasSelectedText();
    const int caret = cursorPosition();
    const qsizetype oldLength = text().size();

    setText(FormatFixed(ClampToRange(value), FDecimals, DecimalSeparator()));

    if (!keepCaret) return;
    const qsizetype newLength = text().size();
    qsizetype position = caret;
    if (newLength > oldLength)
        position = caret + 1;
    else if (newLength < oldLength)
        position = caret - 1;
    setCursorPosition(static_cast<int>(std::clamp<qsizetype>(position, 0, newLength)));
}

long long TRzSpinEdit::IntegerValue() {
    const long double rounded = std::nearbyint(Value());  // default rounding: halves to even
    if (std::isnan(rounded)) return 0;
    if (rounded >= static_cast<long double>(LLONG_MAX)) return LLONG_MAX;
    if (rounded <= static_cast<long double>(LLONG_MIN)) return LLONG_MIN;
    return static_cast<long long>(rounded);
}

void TRzSpinEdit::SetIntegerValue(long long value) { SetValue(static_cast<long double>(value)); }

long double TRzSpinEdit::ClampToRange(long double value) const {
    if (FMax == FMin && !FCheckRange) return value;
    if (std::isnan(value)) return FMin;  // NaN compares false both ways; it would otherwise leave the range as "NAN"
    if (value < FMin) return FMin;
    if (value > FMax) return FMax;
    return value;
}

void TRzSpinEdit::RewriteValue() { SetValue(Value()); }

void TRzSpinEdit::SetMin(long double value) {
    if (value == FMin) return;
    FMin = value;
    if (value > FMax) FMax = value;
    RewriteValue();
    update();
}

void TRzSpinEdit::SetMax(long double value) {
    if (value == FMax) return;
    FMax = value;
    if (!(value >= FMin)) FMin = value;
    RewriteValue();
    update();
}

void TRzSpinEdit::SetDecimals(std::uint8_t value) {
    if (value == FDecimals) return;
    FDecimals = value;
    RewriteValue();
}

void TRzSpinEdit::SetIntegersOnly(bool value) {
    if (value == FIntegersOnly) return;
    FIntegersOnly = value;
    if (value) {
        FDecimals = 0;
        SetValue(std::nearbyint(Value()));
    }
}

void TRzSpinEdit::SetCheckRange(bool value) {
    if (value == FCheckRange) return;
    FCheckRange = value;
    RewriteValue();
}

void TRzSpinEdit::SetAllowKeyEdit(bool value) {
    FAllowKeyEdit = value;
    UpdateEditingLock();
}

bool TRzSpinEdit::EditingLocked() const {
    // Without AllowKeyEdit no operator edit of any kind reaches the text (typing, paste, cut,
    // undo, drops, input methods, context menu): only the program and the steps change it.
    return ReadOnly() || !FAllowKeyEdit;
}

void TRzSpinEdit::SetButtonWidth(int value) {
    FButtonWidth = value;
    LayoutButtons();
    SetMargins();
}

TSpinDirection TRzSpinEdit::Direction() const { return FButtons->Direction(); }

void TRzSpinEdit::SetDirection(TSpinDirection value) { FButtons->SetDirection(value); }

TOrientation TRzSpinEdit::Orientation() const { return FButtons->Orientation(); }

void TRzSpinEdit::SetOrientation(TOrientation value) {
    FButtons->SetOrientation(value);
    LayoutButtons();
    SetMargins();
}

const QPixmap& TRzSpinEdit::ButtonUpGlyph() const { return FButtons->GlyphUpRight(); }

void TRzSpinEdit::SetButtonUpGlyph(const QPixmap& value) { FButtons->SetGlyphUpRight(value); }

int TRzSpinEdit::ButtonUpNumGlyphs() const { return FButtons->NumGlyphsUpRight(); }

void TRzSpinEdit::SetButtonUpNumGlyphs(int value) { FButtons->SetNumGlyphsUpRight(value); }

const QPixmap& TRzSpinEdit::ButtonDownGlyph() const { return FButtons->GlyphDownLeft(); }

void TRzSpinEdit::SetButtonDownGlyph(const QPixmap& value) { FButtons->SetGlyphDownLeft(value); }

int TRzSpinEdit::ButtonDownNumGlyphs() const { return FButtons->NumGlyphsDownLeft(); }

void TRzSpinEdit::SetButtonDownNumGlyphs(int value) { FButtons->SetNumGlyphsDownLeft(value); }

bool TRzSpinEdit::FlatButtons() const { return FButtons->Flat(); }

void TRzSpinEdit::SetFlatButtons(bool value) {
    FButtons->SetFlat(value);
    LayoutButtons();
}

void TRzSpinEdit::SetFlatButtonColor(const QColor& value) {
    FFlatButtonColor = value;
    FButtons->update();
}

TRzControlButton& TRzSpinEdit::Button(TSpinButtonType button) {
    return button == sbUp ? FButtons->UpRightButton() : FButtons->DownLeftButton();
}

bool TRzSpinEdit::DoChanging(long double newValue) {
    bool allowChange = true;
    if (OnChanging) OnChanging(*this, newValue, allowChange);
    return allowChange;
}

void TRzSpinEdit::DoButtonClick(TSpinButtonType button) {
    if (OnButtonClick) OnButtonClick(*this, button);
}

void TRzSpinEdit::Step(long double newValue, TSpinButtonType button) {
    if (!DoChanging(newValue)) return;
    SetValue(newValue);
    DoButtonClick(button);
}

void TRzSpinEdit::SpinUp(long double amount) {
    if (ReadOnly()) {
        Beep();
        return;
    }
    Step(Value() + amount, sbUp);
}

void TRzSpinEdit::SpinDown(long double amount) {
    if (ReadOnly()) {
        Beep();
        return;
    }
    Step(Value() - amount, sbDown);
}

void TRzSpinEdit::UpButtonClick() { SpinUp(FIncrement); }

void TRzSpinEdit::DownButtonClick() { SpinDown(FIncrement); }

bool TRzSpinEdit::IsAcceptedChar(QChar ch) const {
    const QChar separator = DecimalSeparator();
    const bool isSeparator = !FIntegersOnly && ch == separator;
    const bool isSign = ch == u'+' || ch == u'-';
    const bool inSet = isSign || (ch >= u'0' && ch <= u'9') || isSeparator;
    bool accepted = inSet || (ch.unicode() < 32 && ch.unicode() != 13);

    const QString current = text();
    if (accepted && isSeparator) {
        accepted = !current.contains(separator) || (hasSelectedText() && selectedText().contains(separator));
    }
    if (accepted && isSign) {
        const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
        const bool noSign = !current.contains(u'+') && !current.contains(u'-');
        accepted = (caret == 0 && noSign) || selectedText().size() == current.size();
    }
    if (!FAllowKeyEdit && (ch.unicode() == 8 || ch.unicode() >= 32)) accepted = false;
    return accepted;
}

bool TRzSpinEdit::HandleKeyDown(QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Delete:
        if (FAllowKeyEdit) return false;
        Beep();
        return true;
    case Qt::Key_PageUp: SpinUp(FPageSize); return true;
    case Qt::Key_PageDown: SpinDown(FPageSize); return true;
    case Qt::Key_Up: SpinUp(FIncrement); return true;
    case Qt::Key_Down: SpinDown(FIncrement); return true;
    default: break;
    }
    // Refused paste and cut requests are ignored without a beep.
    if ((event.matches(QKeySequence::Paste) || event.matches(QKeySequence::Cut)) && (!FAllowKeyEdit || ReadOnly()))
        return true;
    return false;
}

bool TRzSpinEdit::HandleKeyPress(QChar ch) {
    if (IsAcceptedChar(ch)) return true;
    Beep();
    return false;
}

void TRzSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    if (std::any_of(commit.begin(), commit.end(), [this](QChar ch) { return !IsAcceptedChar(ch); })) {
        Beep();
        event->accept();
        return;
    }
    TRzCustomEdit::inputMethodEvent(event);
}

void TRzSpinEdit::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    event->accept();
    const long double amount = (event->modifiers() & Qt::ControlModifier) ? FPageSize : FIncrement;
    // One step per notch; high-resolution wheels send fractions of a notch that add up.
    FWheelRemainder += event->angleDelta().y();
    while (FWheelRemainder >= WheelNotch) {
        FWheelRemainder -= WheelNotch;
        SpinUp(amount);
    }
    while (FWheelRemainder <= -WheelNotch) {
        FWheelRemainder += WheelNotch;
        SpinDown(amount);
    }
}

void TRzSpinEdit::focusInEvent(QFocusEvent* event) {
    TRzCustomEdit::focusInEvent(event);
    SetMargins();
}

void TRzSpinEdit::focusOutEvent(QFocusEvent* event) {
    TRzCustomEdit::focusOutEvent(event);
    SetMargins();
    // The window losing activation or a popup menu opening is no exit from the field.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) return;
    if (FAllowBlank && text().isEmpty()) return;
    SetValue(ParseNumber(text(), DecimalSeparator()).value_or(FMin));
}

void TRzSpinEdit::ReadOnlyChanged() {
    FButtons->setVisible(!ReadOnly());
    SetMargins();
}

void TRzSpinEdit::SetMargins() {
    if (ReadOnly()) {
        setTextMargins(0, 0, 0, 0);
        return;
    }
    const int right = FButtons->width() + 2;
    if (layoutDirection() == Qt::RightToLeft)
        setTextMargins(right, 0, 0, 0);
    else
        setTextMargins(0, 0, right, 0);
}

void TRzSpinEdit::LayoutButtons() {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    const int buttonWidth = std::max(0, FButtonWidth);
    const int pairWidth = FButtons->Orientation() == orHorizontal ? 2 * buttonWidth : buttonWidth;
    const int pairHeight = std::max(0, height() - 2 * frame);
    const int left = layoutDirection() == Qt::RightToLeft ? frame : width() - frame - pairWidth;
    FButtons->setGeometry(left, frame, pairWidth, pairHeight);
    // Never lower than the font needs.
    setMinimumHeight(fontMetrics().height() + 2 * frame);
}

void TRzSpinEdit::resizeEvent(QResizeEvent* event) {
    TRzCustomEdit::resizeEvent(event);
    LayoutButtons();
}

void TRzSpinEdit::changeEvent(QEvent* event) {
    TRzCustomEdit::changeEvent(event);
    switch (event->type()) {
    case QEvent::LayoutDirectionChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
        LayoutButtons();
        SetMargins();
        break;
    default: break;
    }
}
