#pragma once
// Pages with flat-button tabs. The Change event is raised only when the operator switches pages
// (mouse or keyboard); selecting a page from the program raises nothing.
#include <QTabWidget>

class TPageControl : public QTabWidget {
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent);

    // Adds a page with the caption on its tab; the page is the parent of the controls placed on it.
    QWidget* AddPage(const QString& name, const QString& caption);

    int ActivePageIndex() const { return currentIndex(); }
    void SetActivePageIndex(int index);

signals:
    void Change();

private:
    bool SelectingByProgram = false;
};
