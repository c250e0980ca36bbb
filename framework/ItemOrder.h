#pragma once
// The order of a sorted list's items: case-insensitive, as QString::compare with Qt::CaseInsensitive
// orders texts (each character case-folded, then compared code unit by code unit; a text sorts after
// its own beginning). Equal items keep the order in which they came.
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

bool ItemSortsBefore(const QString& left, const QString& right);

// Sorts stably in that order: the same result as inserting the items one by one, each after the last
// item that does not sort after it, but fit for a million names.
void SortItems(QStringList& items);

// SortItems for names given as bytes of the system code page: sorts them in the order their decoded texts
// (FromAnsi) would take, without decoding them first.
void SortAnsiItems(std::vector<std::string>& names);
