#pragma once
// Makes a line edit hold a single line, as a native single-line edit does: text pasted into it keeps
// its first line only, and a line break or NUL that reaches it some other way (typed, or set from
// code) ends the text it came with. The field's text therefore never carries CR, LF or NUL into a
// statement, a connection setting or the settings file.
#include <QValidator>

class QLineEdit;

class TSingleLineValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override;
};

// Installs the validator on edit (owned by the edit).
void MakeSingleLine(QLineEdit& edit);
