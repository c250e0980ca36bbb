#include "framework/ComboBox.h"

#include <QLineEdit>

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // No completion: the typed text stays exactly what the operator typed.
    setCompleter(nullptr);
    connect(this, &QComboBox::activated, this, &TComboBox::Select);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TComboBox::DropSelectionKeepingText);
}

void TComboBox::ClearItems()
{
    clear();
}

int TComboBox::AddItem(const QString& item)
{
    // After the last item that does not sort after the new one, so equal items keep their order.
    int place = count();
    while (place > 0 && QString::compare(itemText(place - 1), item, Qt::CaseInsensitive) > 0)
        --place;
    const bool noneSelected = currentIndex() < 0;
    const QString text = currentText();
    insertItem(place, item);
    // Qt makes the first item of an empty list current; an added item is never selected by itself.
    if (noneSelected && currentIndex() >= 0) {
        const QSignalBlocker quiet(this);
        setCurrentIndex(-1);
        setEditText(text);
    }
    return place;
}

void TComboBox::SetItemIndex(int index)
{
    if (index == currentIndex())
        return;
    setCurrentIndex(index);
    if (currentIndex() < 0)  // -1, or a place beyond the list
        setEditText(QString());
}

void TComboBox::DropSelectionKeepingText()
{
    if (currentIndex() < 0)
        return;
    const QString typed = lineEdit()->text();
    const int cursor = lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(-1);
    }
    lineEdit()->setText(typed);
    lineEdit()->setCursorPosition(cursor);
}
