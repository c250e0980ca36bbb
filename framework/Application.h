#pragma once
// The application object: initialises Qt, holds the application title (the caption of every plain message
// box and error box), creates the main window and runs the message loop until that window closes.
// Every event Qt delivers passes the handler guard, so no exception crosses the event loop.
#include "framework/Dialogs.h"
#include "framework/Form.h"
#include "framework/HandlerGuard.h"

#include <QApplication>

#include <memory>
#include <string>

class TApplication final : public QApplication {
    Q_OBJECT

public:
    // Initialises the application. Tests pass their own dialogs; the program uses Qt message boxes.
    TApplication(int& argc, char** argv, IDialogs* dialogs = nullptr);
    ~TApplication() override;

    void SetTitle(const std::string& title);
    const std::string& Title() const { return ApplicationTitle; }

    IDialogs& Dialogs() const { return *ActiveDialogs; }

    // Creates the main window; it lives until the application object ends.
    template <typename TMainWindow>
    TMainWindow& CreateForm() {
        auto form = std::make_unique<TMainWindow>(Dialogs());
        TMainWindow& created = *form;
        MainForm = std::move(form);
        return created;
    }

    TForm* GetMainForm() const { return MainForm.get(); }

    // Shows the main window centred and runs the message loop until it closes; returns the exit code.
    int Run();

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::string ApplicationTitle;
    TQtDialogs QtDialogs;
    IDialogs* ActiveDialogs;
    THandlerGuard Guard;
    std::unique_ptr<TForm> MainForm;
};
