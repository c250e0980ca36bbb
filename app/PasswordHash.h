#pragma once
// The 16-byte password hash the game server stores in lin2db.dbo.user_auth.password, as the text that is
// pasted unquoted into SQL: "0x" followed by 32 upper-case hexadecimal digits.
#include <string>
#include <string_view>

// Pure function of the password bytes (only the first 16 count); never fails, keeps no state. The
// bytes are the password in the system code page (ToAnsi of the field), so a Cyrillic password
// under 1251 hashes its 1251 bytes.
std::string HashPassword(std::string_view password);
