#pragma once
// Text pasted between single quotes in a statement has each single quote doubled, so a name such as
// O'Brien is stored and found as itself and can never change what the statement means. Text without
// quotes comes back unchanged, so statements for ordinary input stay byte for byte the same.
#include <string>
#include <string_view>

std::string QuoteInner(std::string_view text);
