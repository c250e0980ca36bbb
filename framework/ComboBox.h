#pragma once
// A drop-down list with editable text whose items are kept sorted (case-insensitively).
// Selected index -1 means none. Typing in the text drops the selection but keeps the typed text.
// Select is raised only when the operator picks an item.
#include <QComboBox>

class TComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TComboBox(QWidget* parent);

    void ClearItems();
    // Inserts the item at its sorted place; returns that place.
    int AddItem(const QString& item);
    int Count() const { return count(); }
    QString Item(int index) const { return itemText(index); }

    int ItemIndex() const { return currentIndex(); }
    // Selecting another index shows that item's text (-1 empties the text); selecting the current
    // index again changes nothing, not even a typed text.
    void SetItemIndex(int index);

    QString Text() const { return currentText(); }

signals:
    void Select();

private:
    void DropSelectionKeepingText();
};
