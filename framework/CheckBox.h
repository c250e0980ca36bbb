#pragma once
// A check box whose Click event is raised on every change of its checked state, whether the operator
// clicks it or the program sets it. Setting the state it already has raises nothing.
#include <QCheckBox>

class TCheckBox : public QCheckBox {
    Q_OBJECT

public:
    TCheckBox(const QString& caption, QWidget* parent);

    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked) { setChecked(checked); }

signals:
    void Click();
};
