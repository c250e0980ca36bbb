#pragma once
// A drop-down list with editable text whose items are kept sorted (case-insensitively).
// Selected index -1 means none. Typing in the text drops the selection but keeps the typed text.
// Select is raised only when the operator picks an item.
#include <QComboBox>
#include <QStringList>

#include <string>
#include <vector>

class QStringListModel;

class TComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TComboBox(QWidget* parent);

    void ClearItems();
    // Inserts the item at its sorted place; returns that place.
    int AddItem(const QString& item);
    // The same as AddItem for each item in turn, but sorted once: fit for a list of a million names.
    void AddItems(QStringList items);
    // AddItems for names given as bytes of the system code page (FromAnsi of each), sorted before they are decoded.
    void AddAnsiItems(std::vector<std::string> names);
    int Count() const { return count(); }
    QString Item(int index) const { return itemText(index); }
    // The first position at or after from whose item contains text (case-sensitive); -1 for none.
    int FindContaining(const QString& text, int from) const;

    int ItemIndex() const { return currentIndex(); }
    // Selecting another index shows that item's text (-1 empties the text); selecting the current
    // index again changes nothing, not even a typed text.
    void SetItemIndex(int index);

    QString Text() const { return currentText(); }

signals:
    void Select();

private:
    // Items live in a plain string list: a million names are handed over in one go, without an item
    // object and a change signal for each.
    QStringListModel* Items;

    void DropSelectionKeepingText();
    // Hands a sorted list to an empty combo box in one go.
    void SetSortedItems(const QStringList& items);
    // Qt makes the first item of an empty list current; an added item is never selected by itself.
    void KeepNothingSelected(bool noneSelectedBefore, const QString& textBefore);
};
