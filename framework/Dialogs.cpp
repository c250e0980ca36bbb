#include "framework/Dialogs.h"

#include "framework/Ansi.h"

#include <QMessageBox>

namespace {

// A box without a parent window is application-modal and Qt centres it on the screen.
int RunBox(QMessageBox::Icon icon, const std::string& caption, const std::string& text,
           QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, FromAnsi(caption), FromAnsi(text), buttons);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec();
}

}  // namespace

void TQtDialogs::ShowMessage(const std::string& text) { RunBox(QMessageBox::NoIcon, Title, text, QMessageBox::Ok); }

TDialogAnswer TQtDialogs::AskYesNo(const std::string& text, const std::string& caption) {
    const int pressed = RunBox(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No);
    return pressed == QMessageBox::Yes ? TDialogAnswer::Yes : TDialogAnswer::No;
}

void TQtDialogs::ShowError(const std::string& text) { RunBox(QMessageBox::Critical, Title, text, QMessageBox::Ok); }
