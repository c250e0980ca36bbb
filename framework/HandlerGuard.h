#pragma once
// Every event handler runs inside a THandlerGuard: an error that escapes the handler is shown in the
// default error box and the program goes on. No exception ever reaches Qt's event loop.
#include "framework/Dialogs.h"

#include <string>
#include <utility>

// The text the default error box shows for an error message: a "." is appended when the message's last
// byte sorts after "." (as an unsigned byte), so "Failed" becomes "Failed." while "Failed!" stays.
std::string ErrorBoxText(std::string message);

class THandlerGuard {
public:
    explicit THandlerGuard(IDialogs& dialogs) : Dialogs(dialogs) {}

    // Runs the handler; returns false when it ended by an error (which has then been shown).
    template <typename Handler>
    bool Run(Handler&& handler) noexcept {
        try {
            handler();
            return true;
        } catch (...) {
            ShowCurrentError();
            return false;
        }
    }

    // Wraps a handler for connecting to a Qt signal.
    template <typename Handler>
    auto Bind(Handler handler) {
        return [this, handler = std::move(handler)] { Run(handler); };
    }

    // Shows an error that was caught elsewhere, the same way the guard does.
    void ShowError(const std::string& message) noexcept;

private:
    // Shows the exception being handled: Exception by its Message, any other by what it says.
    void ShowCurrentError() noexcept;

    IDialogs& Dialogs;
};
