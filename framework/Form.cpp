#include "framework/Form.h"

#include <QCloseEvent>
#include <QScreen>

TForm::TForm(IDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FormDialogs(dialogs),
      Guard(dialogs) {}

void TForm::SetFixedClientSize(int width, int height) { setFixedSize(width, height); }

void TForm::ShowCentred() {
    // Centred by its client area first; once shown, the frame is known and the whole window is centred.
    const auto centre = [this](QRect outline) {
        if (const QScreen* target = screen()) {
            outline.moveCenter(target->availableGeometry().center());
            move(outline.topLeft());  // a window's position is that of its frame
        }
    };
    centre(geometry());
    show();
    centre(frameGeometry());
}

void TForm::closeEvent(QCloseEvent* event) {
    if (Guard.Run([this] { FormClose(); })) {
        event->accept();
        emit Closed();
    } else {
        event->ignore();
    }
}
