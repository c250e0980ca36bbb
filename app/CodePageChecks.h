#pragma once
// Text is never acted on once a conversion to the system code page changed it: typed text the code
// page cannot hold is refused before anything is sent, and account names read from the server that
// the code page did not keep are shown but not acted on.
#include <QString>

#include <initializer_list>
#include <string>
#include <string_view>

class IDialogs;

// "The login contains characters that the code page 1251 cannot hold."
std::string CannotHoldMessage(std::string_view field);
// "The account name read from the server did not survive the conversion to the code page 1251
// unchanged; nothing is done with it."
std::string ChangedNameMessage();

struct TTypedField {
    const char* Field;  // as the message names it: "login", "password", ...
    QString Text;
};

// True when the code page holds every field's text; otherwise shows the message for the first field
// it cannot hold and returns false.
bool CodePageHolds(IDialogs& dialogs, std::initializer_list<TTypedField> fields);

// Whether an account name read from the server (bytes as the driver gave them) can be acted on: its
// bytes decode and encode back unchanged, and it holds no "?", the mark the driver leaves for a
// character it could not convert (a "?" of the name's own cannot be told from one).
bool ServerNameKept(std::string_view bytes);
