#include "app/CodePageChecks.h"

#include "common/CodePage.h"
#include "framework/Ansi.h"
#include "framework/Dialogs.h"

namespace {

std::string CodePageText() { return "the code page " + std::to_string(codepage::Active()); }

}  // namespace

std::string CannotHoldMessage(std::string_view field) {
    return "The " + std::string(field) + " contains characters that " + CodePageText() + " cannot hold.";
}

std::string ChangedNameMessage() {
    return "The account name read from the server did not survive the conversion to " + CodePageText() +
           " unchanged; nothing is done with it.";
}

bool CodePageHolds(IDialogs& dialogs, std::initializer_list<TTypedField> fields) {
    for (const TTypedField& field : fields) {
        if (!AnsiCanHold(field.Text)) {
            dialogs.ShowMessage(CannotHoldMessage(field.Field));
            return false;
        }
    }
    return true;
}

bool ServerNameKept(std::string_view bytes) {
    return bytes.find('?') == std::string_view::npos && AnsiRoundTrips(bytes);
}
