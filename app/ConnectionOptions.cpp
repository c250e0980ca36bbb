#include "app/ConnectionOptions.h"

#include "app/SettingsLocation.h"
#include "app/mUnit.h"
#include "framework/Ansi.h"

#include <QLineEdit>

void TConnectionOptions::Load() {
    Form.PageControl1->SetActivePageIndex(TMainForm::CreatePageIndex);
    Form.IniFile.SetPath(ChooseSettingsFile(Form.ExeName, Form.PerUserSettingsFolder));
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
    Form.IniFile.PutTextValue(ConnectionSection, HostNameKey, ToAnsi(Form.DBHostEdit->text()));
    Form.IniFile.PutTextValue(ConnectionSection, UserKey, ToAnsi(Form.DBLoginEdit->text()));
    // Unchecked leaves the key alone, so a password saved earlier stays in the file.
    if (savePassword) Form.IniFile.PutTextValue(ConnectionSection, PasswordKey, ToAnsi(Form.DBPassEdit->text()));
}

void TConnectionOptions::Test() {
    // The connect step closes an open connection first, so the current fields are always the ones tried.
    if (Form.ConnectWithOptions(ConnectionFailedText)) Form.Dialogs().ShowMessage(ConnectionSuccessfulText);
}
