#include "app/ConnectionOptions.h"

#include "app/SettingsLocation.h"
#include "app/mUnit.h"
#include "common/CodePage.h"
#include "framework/Ansi.h"

#include <QLineEdit>

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

void TConnectionOptions::Load() {
    Form.PageControl1->SetActivePageIndex(TMainForm::CreatePageIndex);
    Form.IniFile.SetPath(ChooseSettingsFile(Form.ExeName, Form.PerUserSettingsFolder));
    // Before any text of the file is decoded.
    ChooseCodePage();
    // Overrides the box's checked state on the form: without a settings file it ends up unchecked.
    Form.SavePassCheckBox->SetChecked(Form.IniFile.GetBoolValue(CommonSection, SavePassKey, false));
    Form.DBHostEdit->setText(FromAnsi(Form.IniFile.GetTextValue(ConnectionSection, HostNameKey, "")));
    Form.DBLoginEdit->setText(FromAnsi(Form.IniFile.GetTextValue(ConnectionSection, UserKey, "")));
    // Read whatever "Save password" says: a password saved at an earlier close comes back.
    Form.DBPassEdit->setText(FromAnsi(Form.IniFile.GetTextValue(ConnectionSection, PasswordKey, "")));
}

void TConnectionOptions::Save() {
    const bool savePassword = Form.SavePassCheckBox->Checked();
    Form.IniFile.PutBoolValue(CommonSection, SavePassKey, savePassword);
    if (Form.CodePageSetting) Form.IniFile.PutTextValue(CommonSection, CodePageKey, *Form.CodePageSetting);
    Form.IniFile.PutTextValue(ConnectionSection, HostNameKey, ToAnsi(Form.DBHostEdit->text()));
    Form.IniFile.PutTextValue(ConnectionSection, UserKey, ToAnsi(Form.DBLoginEdit->text()));
    // Unchecked leaves the key alone, so a password saved earlier stays in the file.
    if (savePassword) Form.IniFile.PutTextValue(ConnectionSection, PasswordKey, ToAnsi(Form.DBPassEdit->text()));
}

namespace {

// A value read from the file never holds a line break, so this default tells a missing key apart.
constexpr const char* MissingValue = "\n";

std::optional<unsigned> ParseCodePage(std::string_view text) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!codepage::IsAnsiCodePage(number)) return std::nullopt;
    return number;
}

}  // namespace

void TConnectionOptions::ChooseCodePage() {
    const std::string value = Form.IniFile.GetTextValue(CommonSection, CodePageKey, MissingValue);
    // Kept as it was written, so a value the program cannot use is still there to be corrected.
    Form.CodePageSetting.reset();
    if (value != MissingValue) Form.CodePageSetting = value;
    const unsigned fromLocale = codepage::ForEnvironment();
    const std::optional<unsigned> named = Form.CodePageSetting ? ParseCodePage(value) : std::nullopt;
    codepage::SetActive(named.value_or(fromLocale));
    // A missing or empty value names nothing and means the locale's code page.
    if (named || value.empty() || !Form.CodePageSetting) return;
    Form.Dialogs().ShowMessage("The settings file names the code page \"" + value +
                               "\", which is not a Windows ANSI code page (874, 932, 936, 949, 950, 1250 to "
                               "1258). The code page " +
                               std::to_string(fromLocale) + " of the locale is used instead.");
}

void TConnectionOptions::Test() {
    // The connect step closes an open connection first, so the current fields are always the ones tried.
    if (Form.ConnectWithOptions(ConnectionFailedText)) Form.Dialogs().ShowMessage(ConnectionSuccessfulText);
}
