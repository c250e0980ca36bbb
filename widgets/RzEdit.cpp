#include "widgets/RzEdit.h"

#include "common/CodePage.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPalette>

QString AnsiToQString(std::string_view bytes) { return QString::fromStdU16String(codepage::ToUtf16(bytes)); }

std::string QStringToAnsi(const QString& text) {
    return codepage::FromUtf16({reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())});
}

namespace {

// The character a key produces, as the platform's edit control sees it: control keys and
// Ctrl+letter give their control codes, so copy (Ctrl+C) is never mistaken for the letter "c".
QChar CharOfKey(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Backspace: return QChar(8);
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(13);
    case Qt::Key_Escape: return QChar(27);
    default: break;
    }
    if (event.modifiers() & Qt::AltModifier) return {};  // menu accelerators, never characters for the field
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return QChar(event.key() - Qt::Key_A + 1);
    const QString text = event.text();
    return text.isEmpty() ? QChar() : text.front();
}

}  // namespace

TRzCustomEdit::TRzCustomEdit(QWidget* parent) : QLineEdit(parent) {
    const QPalette standard = QApplication::palette(this);
    FColor = standard.color(QPalette::Active, QPalette::Base);
    FFocusColor = FColor;
    FDisabledColor = standard.color(QPalette::Active, QPalette::Button);
    FReadOnlyColor = standard.color(QPalette::Active, QPalette::ToolTipBase);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) OnChange(*this);
    });
    ApplyAlignment();
    UpdateColors();
}

TRzCustomEdit::~TRzCustomEdit() = default;

std::string TRzCustomEdit::Text() const { return QStringToAnsi(text()); }

void TRzCustomEdit::SetText(std::string_view value) { setText(AnsiToQString(value)); }

void TRzCustomEdit::SetReadOnly(bool value) {
    if (value == FReadOnly) return;
    FReadOnly = value;
    UpdateEditingLock();
    ReadOnlyChanged();
    UpdateColors();
}

void TRzCustomEdit::SetAlignment(TAlignment value) {
    if (value == FAlignment) return;
    FAlignment = value;
    ApplyAlignment();
}

void TRzCustomEdit::ApplyAlignment() {
    setAlignment((FAlignment == taRightJustify ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

void TRzCustomEdit::SetColor(const QColor& value) {
    if (value == FColor) return;
    if (FFocusColor == FColor) FFocusColor = value;
    FColor = value;
    UpdateColors();
}

void TRzCustomEdit::SetFocusColor(const QColor& value) {
    FFocusColor = value;
    UpdateColors();
}

void TRzCustomEdit::SetDisabledColor(const QColor& value) {
    FDisabledColor = value;
    UpdateColors();
}

void TRzCustomEdit::SetReadOnlyColor(const QColor& value) {
    FReadOnlyColor = value;
    UpdateColors();
}

QColor TRzCustomEdit::CurrentColor() const {
    if (!isEnabled()) return FDisabledColor;
    if (hasFocus()) return FFocusColor;
    if (FReadOnly) return FReadOnlyColor;
    return FColor;
}

void TRzCustomEdit::UpdateColors() {
    const QColor color = CurrentColor();
    QPalette p = palette();
    if (p.color(QPalette::Active, QPalette::Base) == color && p.color(QPalette::Disabled, QPalette::Base) == color &&
        p.color(QPalette::Inactive, QPalette::Base) == color)
        return;
    p.setColor(QPalette::All, QPalette::Base, color);
    setPalette(p);
}

void TRzCustomEdit::UpdateEditingLock() { QLineEdit::setReadOnly(EditingLocked()); }

void TRzCustomEdit::Beep() { QApplication::beep(); }

bool TRzCustomEdit::HandleKeyDown(QKeyEvent&) { return false; }

bool TRzCustomEdit::HandleKeyPress(QChar) { return true; }

void TRzCustomEdit::keyPressEvent(QKeyEvent* event) {
    if (HandleKeyDown(*event)) {
        event->accept();
        return;
    }
    const QChar ch = CharOfKey(*event);
    if (!ch.isNull()) {
        if (FTabOnEnter && ch == QChar(13)) {
            focusNextChild();
            event->accept();
            return;
        }
        if (!HandleKeyPress(ch)) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TRzCustomEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    UpdateColors();
    if (FAutoSelect && event->reason() != Qt::MouseFocusReason) selectAll();
}

void TRzCustomEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    UpdateColors();
}

void TRzCustomEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) UpdateColors();
}
