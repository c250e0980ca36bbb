#pragma once
// A status bar of panels side by side, each a sunken text field; the last panel reaches the right edge.
#include <QWidget>

#include <vector>

class QLabel;

class TStatusBar : public QWidget {
    Q_OBJECT

public:
    explicit TStatusBar(QWidget* parent);

    // Appends a panel of the given width (the last panel takes whatever width is left).
    void AddPanel(int width);
    int PanelCount() const { return static_cast<int>(Panels.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    // The panel's current place in the bar, for layout checks.
    QRect PanelGeometry(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOutPanels();

    struct Panel {
        QLabel* Field;
        int Width;
    };
    std::vector<Panel> Panels;
};
