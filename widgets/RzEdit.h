#pragma once
// TRzCustomEdit: a single-line edit field whose background follows its state (disabled, focused,
// read-only, normal), with the operator-facing options every edit of the program shares.
// Its text is a byte string in the program's encoding (the system code page); Qt sees Unicode.
#include <QColor>
#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TRzCustomEdit;

using TNotifyEvent = std::function<void(TRzCustomEdit& sender)>;

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify };

// Bytes of the system code page to and from Qt's Unicode text; characters the code page lacks become
// '?'.
QString AnsiToQString(std::string_view bytes);
std::string QStringToAnsi(const QString& text);

class TRzCustomEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TRzCustomEdit(QWidget* parent = nullptr);
    ~TRzCustomEdit() override;

    // The characters in the field. Writing sets them as they are, with no check of any kind.
    std::string Text() const;
    void SetText(std::string_view value);

    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) { setEnabled(value); }

    // Read-only refuses editing by the operator; the program can still write Text. (QLineEdit's own
    // isReadOnly() is the editing lock, which derived controls may set for more reasons.)
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);

    // Select the whole text when the field is entered other than by a mouse press on it.
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool value) { FAutoSelect = value; }

    // Enter moves the focus to the next control instead of producing a character.
    bool TabOnEnter() const { return FTabOnEnter; }
    void SetTabOnEnter(bool value) { FTabOnEnter = value; }

    // Background colours by state: disabled wins over focused, focused over read-only.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);  // moves FocusColor along while the two are equal
    QColor FocusColor() const { return FFocusColor; }
    void SetFocusColor(const QColor& value);
    QColor DisabledColor() const { return FDisabledColor; }
    void SetDisabledColor(const QColor& value);
    QColor ReadOnlyColor() const { return FReadOnlyColor; }
    void SetReadOnlyColor(const QColor& value);
    // The colour the rule gives for the current state (what the background shows).
    QColor CurrentColor() const;

    // Told after every change of the text, by the operator or by the program.
    TNotifyEvent OnChange;

protected:
    // The standard system beep; a refused key or step sounds it.
    virtual void Beep();

    // Key-down stage, before any character: true when the key was handled and must not reach the edit.
    virtual bool HandleKeyDown(QKeyEvent& event);
    // Character stage: false drops the character. Enter with TabOnEnter never gets here.
    virtual bool HandleKeyPress(QChar ch);
    // Re-applies the read-only state to the underlying edit (derived controls may refuse more editing).
    virtual bool EditingLocked() const { return FReadOnly; }
    void UpdateEditingLock();
    virtual void ReadOnlyChanged() {}
    virtual void UpdateColors();

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyAlignment();

    bool FReadOnly = false;
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSelect = true;
    bool FTabOnEnter = false;
    QColor FColor;
    QColor FFocusColor;
    QColor FDisabledColor;
    QColor FReadOnlyColor;
};
