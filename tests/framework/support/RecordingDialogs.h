#pragma once
// IDialogs for tests: records every box the program shows and answers Yes/No boxes from a script.
#include "framework/Dialogs.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

enum class TShownKind { Message, YesNo, Error };

struct TShownDialog {
    TShownKind Kind;
    std::string Text;
    std::string Caption;  // only Yes/No boxes are given a caption; the others use the application title

    bool operator==(const TShownDialog&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TShownDialog& shown) {
    static constexpr const char* Kinds[] = {"Message", "YesNo", "Error"};
    return out << Kinds[static_cast<int>(shown.Kind)] << "(\"" << shown.Text << "\", \"" << shown.Caption << "\")";
}

class TRecordingDialogs final : public IDialogs {
public:
    void ShowMessage(const std::string& text) override { Shown.push_back({TShownKind::Message, text, {}}); }

    TDialogAnswer AskYesNo(const std::string& text, const std::string& caption) override {
        Shown.push_back({TShownKind::YesNo, text, caption});
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected Yes/No box: " << text;
            return TDialogAnswer::No;
        }
        const TDialogAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }

    void ShowError(const std::string& text) override { Shown.push_back({TShownKind::Error, text, {}}); }

    std::vector<TShownDialog> Shown;
    std::deque<TDialogAnswer> Answers;
};
