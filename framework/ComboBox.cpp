#include "framework/ComboBox.h"

#include <QLineEdit>

#include <algorithm>

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

namespace {

bool SortsBefore(const QString& left, const QString& right)
{
    return QString::compare(left, right, Qt::CaseInsensitive) < 0;
}

}  // namespace

int TComboBox::AddItem(const QString& item)
{
    // After the last item that does not sort after the new one, so equal items keep their order.
    int low = 0;
    int high = count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (SortsBefore(item, itemText(middle)))
            high = middle;
        else
            low = middle + 1;
    }
    const bool noneSelected = currentIndex() < 0;
    const QString text = currentText();
    insertItem(low, item);
    KeepNothingSelected(noneSelected, text);
    return low;
}

void TComboBox::AddItems(QStringList items)
{
    if (count() > 0) {
        for (const QString& item : items)
            AddItem(item);
        return;
    }
    // A stable sort gives equal items the order AddItem one by one would give them.
    std::stable_sort(items.begin(), items.end(), SortsBefore);
    const bool noneSelected = currentIndex() < 0;
    const QString text = currentText();
    insertItems(0, items);
    KeepNothingSelected(noneSelected, text);
}

int TComboBox::FindContaining(const QString& text, int from) const
{
    const int last = count();
    for (int index = std::max(from, 0); index < last; ++index) {
        if (itemText(index).contains(text, Qt::CaseSensitive))
            return index;
    }
    return -1;
}

void TComboBox::KeepNothingSelected(bool noneSelectedBefore, const QString& textBefore)
{
    if (noneSelectedBefore && currentIndex() >= 0) {
        const QSignalBlocker quiet(this);
        setCurrentIndex(-1);
        setEditText(textBefore);
    }
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
