#include "framework/CheckBox.h"

TCheckBox::TCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    connect(this, &QCheckBox::toggled, this, &TCheckBox::Click);
}
