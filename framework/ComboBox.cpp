#include "framework/ComboBox.h"

#include "framework/Ansi.h"
#include "framework/ItemOrder.h"

#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QStringMatcher>

#include <algorithm>

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent), Items(new QStringListModel(this)) {
    setModel(Items);
    // Every item is one line of the same font, so the drop-down need not measure a million of them.
    if (auto* list = qobject_cast<QListView*>(view())) list->setUniformItemSizes(true);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // No completion: the typed text stays exactly what the operator typed.
    setCompleter(nullptr);
    connect(this, &QComboBox::activated, this, &TComboBox::Select);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TComboBox::DropSelectionKeepingText);
}

void TComboBox::ClearItems() { clear(); }

int TComboBox::AddItem(const QString& item) {
    // After the last item that does not sort after the new one, so equal items keep their order.
    int low = 0;
    int high = count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (ItemSortsBefore(item, itemText(middle)))
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

void TComboBox::AddItems(QStringList items) {
    if (count() > 0) {
        for (const QString& item : items) AddItem(item);
        return;
    }
    SortItems(items);
    SetSortedItems(items);
}

void TComboBox::AddAnsiItems(std::vector<std::string> names) {
    const TAnsiDecoder decode;
    if (count() > 0) {
        for (const std::string& name : names) AddItem(decode(name));
        return;
    }
    SortAnsiItems(names);
    QStringList items;
    items.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names) items.append(decode(name));
    SetSortedItems(items);
}

void TComboBox::SetSortedItems(const QStringList& items) {
    const QString text = currentText();
    {
        const QSignalBlocker quiet(this);
        Items->setStringList(items);
        // Nothing selected and the text as it was, as after adding the items one by one.
        setCurrentIndex(-1);
    }
    if (currentText() != text) setEditText(text);
}

int TComboBox::FindContaining(const QString& text, int from) const {
    // One matcher for the whole search: the pattern is prepared once, not once per item.
    const QStringMatcher matcher(text, Qt::CaseSensitive);
    const QStringList items = Items->stringList();
    for (qsizetype index = std::max(from, 0); index < items.size(); ++index) {
        if (matcher.indexIn(items.at(index)) >= 0) return static_cast<int>(index);
    }
    return -1;
}

void TComboBox::KeepNothingSelected(bool noneSelectedBefore, const QString& textBefore) {
    if (noneSelectedBefore && currentIndex() >= 0) {
        const QSignalBlocker quiet(this);
        setCurrentIndex(-1);
        setEditText(textBefore);
    }
}

void TComboBox::SetItemIndex(int index) {
    if (index == currentIndex()) return;
    setCurrentIndex(index);
    if (currentIndex() < 0)  // -1, or a place beyond the list
        setEditText(QString());
}

void TComboBox::DropSelectionKeepingText() {
    if (currentIndex() < 0) return;
    const QString typed = lineEdit()->text();
    const int cursor = lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(-1);
    }
    lineEdit()->setText(typed);
    lineEdit()->setCursorPosition(cursor);
}
