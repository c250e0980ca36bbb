#include "framework/Application.h"

TApplication::TApplication(int& argc, char** argv, IDialogs* dialogs)
    : QApplication(argc, argv), ActiveDialogs(dialogs != nullptr ? dialogs : &QtDialogs), Guard(*ActiveDialogs) {
    // The loop ends when the main window closes, not when some other window happens to be the last one.
    setQuitOnLastWindowClosed(false);
}

TApplication::~TApplication() {
    // Windows go before the Qt application they belong to.
    MainForm.reset();
}

void TApplication::SetTitle(const std::string& title) {
    ApplicationTitle = title;
    QtDialogs.SetTitle(title);
}

int TApplication::Run() {
    if (!MainForm) return 0;
    connect(MainForm.get(), &TForm::Closed, this, &QCoreApplication::quit, Qt::QueuedConnection);
    MainForm->ShowCentred();
    return exec();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guard.Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
