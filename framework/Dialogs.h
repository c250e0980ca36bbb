#pragma once
// The three message boxes the program shows. Windows and handlers talk to IDialogs only, so tests can
// answer the boxes and record what was shown; TQtDialogs is the real, modal implementation.
#include <string>

enum class TDialogAnswer { Yes, No };

class IDialogs {
public:
    virtual ~IDialogs() = default;

    // Plain message box: the text, an OK button, captioned with the application title.
    virtual void ShowMessage(const std::string& text) = 0;
    // A box with the buttons Yes and No and no icon; returns the button pressed.
    virtual TDialogAnswer AskYesNo(const std::string& text, const std::string& caption) = 0;
    // The default error box: error icon, OK button, the application title as caption. The text is
    // shown as given; THandlerGuard prepares it.
    virtual void ShowError(const std::string& text) = 0;
};

// Modal Qt message boxes centred on the screen. Texts are byte strings in the system code page.
class TQtDialogs final : public IDialogs {
public:
    void SetTitle(std::string title) { Title = std::move(title); }
    const std::string& GetTitle() const { return Title; }

    void ShowMessage(const std::string& text) override;
    TDialogAnswer AskYesNo(const std::string& text, const std::string& caption) override;
    void ShowError(const std::string& text) override;

private:
    std::string Title;
};
