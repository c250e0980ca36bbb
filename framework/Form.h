#pragma once
// A top-level window of fixed size, shown centred on the screen, whose close handler runs inside the
// handler guard: a close handler that fails shows the error and leaves the window open.
#include "framework/Dialogs.h"
#include "framework/HandlerGuard.h"

#include <QWidget>

class QCloseEvent;

class TForm : public QWidget {
    Q_OBJECT

public:
    explicit TForm(IDialogs& dialogs, QWidget* parent = nullptr);

    // Fixes the client area (in device-independent pixels, i.e. pixels at 96 DPI scaled by the screen).
    void SetFixedClientSize(int width, int height);
    // Shows the window centred on the screen that holds it.
    void ShowCentred();

    IDialogs& Dialogs() const { return FormDialogs; }

signals:
    // The window accepted a close request (its close handler ran without error).
    void Closed();

protected:
    // Runs when the window is asked to close; an error keeps it open.
    virtual void FormClose() {}

    void closeEvent(QCloseEvent* event) override;

    IDialogs& FormDialogs;
    THandlerGuard Guard;
};
