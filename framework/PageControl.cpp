#include "framework/PageControl.h"

#include <QTabBar>

namespace {

// Tabs look like flat push buttons: the shown page's button is pressed in, the others stand out a little.
constexpr const char* FlatButtonTabs = R"(
QTabBar::tab {
    border: 1px solid transparent;
    padding: 2px 6px;
    margin: 2px 1px 1px 1px;
    background: palette(button);
}
QTabBar::tab:hover:!selected {
    border-color: palette(light) palette(dark) palette(dark) palette(light);
}
QTabBar::tab:selected {
    border-color: palette(dark) palette(light) palette(light) palette(dark);
    background: palette(midlight);
}
)";

}  // namespace

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    setDocumentMode(true);
    tabBar()->setDrawBase(false);
    tabBar()->setExpanding(false);
    tabBar()->setStyleSheet(FlatButtonTabs);
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (!SelectingByProgram) emit Change();
    });
}

QWidget* TPageControl::AddPage(const QString& name, const QString& caption) {
    auto* page = new QWidget(this);
    page->setObjectName(name);
    addTab(page, caption);
    return page;
}

void TPageControl::SetActivePageIndex(int index) {
    SelectingByProgram = true;
    setCurrentIndex(index);
    SelectingByProgram = false;
}
