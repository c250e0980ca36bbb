#include "framework/StatusBar.h"

#include <QLabel>

#include <algorithm>

namespace {

constexpr int PanelGap = 2;

}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {}

void TStatusBar::AddPanel(int width) {
    auto* field = new QLabel(this);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setTextFormat(Qt::PlainText);
    field->setIndent(2);
    field->setObjectName(QStringLiteral("Panel%1").arg(Panels.size()));
    Panels.push_back({field, width});
    LayOutPanels();
}

QString TStatusBar::PanelText(int index) const { return Panels.at(static_cast<size_t>(index)).Field->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) {
    Panels.at(static_cast<size_t>(index)).Field->setText(text);
}

QRect TStatusBar::PanelGeometry(int index) const { return Panels.at(static_cast<size_t>(index)).Field->geometry(); }

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutPanels();
}

void TStatusBar::LayOutPanels() {
    int left = 0;
    for (size_t i = 0; i < Panels.size(); ++i) {
        const bool last = i + 1 == Panels.size();
        const int width = last ? std::max(0, this->width() - left) : Panels[i].Width - PanelGap;
        Panels[i].Field->setGeometry(left, PanelGap, width, std::max(0, height() - PanelGap));
        left += Panels[i].Width;
    }
}
