#include "data/DAMacros.h"

#include "common/Format.h"
#include "data/DAErrors.h"
#include "data/MSParser.h"

namespace {

// The token kinds that can name a macro after "&": identifiers and the symbols and keywords of the
// lexer's tables.
bool NamesMacro(int code) { return code == TParser::lcIdent || code > 0; }

// The macro character as a token of its own. A string token is never one, even when the string holds
// just "&" and the lexer leaves the quotes out of its lexeme.
bool IsMacroChar(int code, std::string_view lexeme) {
    return code != TParser::lcString && lexeme.size() == 1 && lexeme[0] == TMacros::MacroChar;
}

}  // namespace

void TMacro::SetValue(std::string value) {
    if (value == FValue) {
        return;
    }
    FValue = std::move(value);
    Changed();
}

void TMacro::SetActive(bool active) {
    if (active == FActive) {
        return;
    }
    FActive = active;
    Changed();
}

void TMacro::Changed() {
    if (FCollection != nullptr) {
        FCollection->NotifyChanged(*this);
    }
}

TMacros::TMacros(TMacrosOwner* owner, TParserClass parserClass)
    : FOwner(owner), FParserClass(parserClass != nullptr ? parserClass : &TMSParser::Create) {}

void TMacros::SetParserClass(TParserClass parserClass) {
    FParserClass = parserClass != nullptr ? parserClass : &TMSParser::Create;
}

std::unique_ptr<TParser> TMacros::MakeParser(std::string_view text) const { return FParserClass(text); }

TMacro& TMacros::Add(std::string name) {
    FItems.push_back(std::make_unique<TMacro>(this, std::move(name)));
    return *FItems.back();
}

void TMacros::NotifyChanged(const TMacro& macro) {
    if (!Updating() && FOwner != nullptr) {
        FOwner->MacroChanged(macro);
    }
}

TMacro* TMacros::FindMacro(std::string_view name) const {
    for (const auto& item : FItems) {
        if (AnsiSameText(item->Name(), name)) {
            return item.get();
        }
    }
    return nullptr;
}

TMacro& TMacros::MacroByName(std::string_view name) const {
    if (TMacro* macro = FindMacro(name)) {
        return *macro;
    }
    throw EDatabaseError(Format(SMacroNotFound, std::string(name).c_str()));
}

void TMacros::Scan(std::string_view text) {
    if (text.find(MacroChar) == std::string_view::npos) {
        Clear();
        return;
    }
    const auto parser = MakeParser(text);
    parser->OmitBlank = false;
    parser->Uppercase = false;

    // The names first, so that a lexer error leaves the list as it was.
    std::vector<std::string> names;
    auto alreadyNamed = [&names](std::string_view name) {
        for (const auto& known : names) {
            if (AnsiSameText(known, name)) {
                return true;
            }
        }
        return false;
    };
    for (int code = parser->GetNext(); code != TParser::lcEnd; code = parser->GetNext()) {
        if (!IsMacroChar(code, parser->Lexeme())) {
            continue;
        }
        code = parser->GetNext();
        if (code == TParser::lcEnd) {
            break;
        }
        if (NamesMacro(code) && !alreadyNamed(parser->Lexeme())) {
            names.emplace_back(parser->Lexeme());
        }
    }

    // An existing macro is moved over (value and Active kept, and references to it stay valid).
    std::vector<std::unique_ptr<TMacro>> collected;
    collected.reserve(names.size());
    for (auto& name : names) {
        std::unique_ptr<TMacro> macro;
        for (auto& existing : FItems) {
            if (existing && AnsiSameText(existing->Name(), name)) {
                macro = std::move(existing);
                break;
            }
        }
        if (!macro) {
            macro = std::make_unique<TMacro>(this, std::move(name));
        }
        collected.push_back(std::move(macro));
    }
    FItems = std::move(collected);
}

void TMacros::Expand(std::string& text) const {
    if (FItems.empty()) {
        return;
    }
    const auto parser = MakeParser(text);
    parser->OmitBlank = false;
    parser->Uppercase = false;
    parser->QuotedString = true;

    std::string result;
    result.reserve(text.size());
    for (int code = parser->GetNext(); code != TParser::lcEnd; code = parser->GetNext()) {
        if (!IsMacroChar(code, parser->Lexeme())) {
            result += parser->Lexeme();
            continue;
        }
        code = parser->GetNext();
        const TMacro* macro = NamesMacro(code) ? FindMacro(parser->Lexeme()) : nullptr;
        if (macro == nullptr) {
            result += parser->Lexeme();
        } else if (macro->Active()) {
            result += macro->Value();
        }
        if (code == TParser::lcEnd) {
            break;
        }
    }
    text = std::move(result);
}
