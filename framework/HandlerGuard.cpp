#include "framework/HandlerGuard.h"

#include "common/Exception.h"

#include <QtGlobal>

#include <exception>

std::string ErrorBoxText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message += '.';
    return message;
}

void THandlerGuard::ShowCurrentError() noexcept {
    try {
        throw;
    } catch (const Exception& error) {
        ShowError(error.Message);
    } catch (const std::exception& error) {
        ShowError(error.what());
    } catch (...) {
        ShowError("Unexpected error");
    }
}

void THandlerGuard::ShowError(const std::string& message) noexcept {
    try {
        Dialogs.ShowError(ErrorBoxText(message));
    } catch (...) {
        // The error box itself failed (out of memory, say): the error must still not vanish unseen.
        qCritical("Error (the error box could not be shown): %s", message.c_str());
    }
}
