#pragma once
// Macros of a SQL text: "&name" outside strings and comments is replaced by the macro's value before
// the text is sent. The list is rebuilt from the text by Scan, so it always names what the text uses.
#include "data/CRParser.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMacros;
class TMacro;

// The component a macro list belongs to (a dataset, or a command without one). It is told when a
// macro's value or Active changes outside a list update, so it can rebuild the text it sends.
class TMacrosOwner {
public:
    virtual void MacroChanged(const TMacro& macro) = 0;

protected:
    ~TMacrosOwner() = default;
};

class TMacro {
public:
    TMacro(TMacros* collection, std::string name) : FCollection(collection), FName(std::move(name)) {}

    TMacro(const TMacro&) = delete;
    TMacro& operator=(const TMacro&) = delete;

    const std::string& Name() const { return FName; }
    const std::string& Value() const { return FValue; }
    bool Active() const { return FActive; }

    void SetValue(std::string value);
    void SetActive(bool active);

private:
    void Changed();

    TMacros* FCollection;
    std::string FName;
    std::string FValue;
    bool FActive = true;
};

class TMacros {
public:
    static constexpr char MacroChar = '&';

    // The SQL Server components use the TMSParser lexer class (the default).
    explicit TMacros(TMacrosOwner* owner = nullptr, TParserClass parserClass = nullptr);

    TMacros(const TMacros&) = delete;
    TMacros& operator=(const TMacros&) = delete;

    TMacrosOwner* Owner() const { return FOwner; }
    void SetParserClass(TParserClass parserClass);

    std::size_t Count() const { return FItems.size(); }
    TMacro& operator[](std::size_t index) { return *FItems.at(index); }
    const TMacro& operator[](std::size_t index) const { return *FItems.at(index); }

    TMacro& Add(std::string name);
    void Clear() { FItems.clear(); }

    // Changes made between BeginUpdate and EndUpdate do not notify the owner.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate() {
        if (FUpdateCount > 0) --FUpdateCount;
    }
    bool Updating() const { return FUpdateCount > 0; }

    // Rebuilds the list from the macros named in `text`, in order of first appearance. Macros already
    // in the list keep their value and Active state; those no longer named are dropped.
    void Scan(std::string_view text);
    // Replaces every "&name" naming a macro of the list by its value (nothing when inactive) and drops
    // every other "&" outside strings and comments. Does nothing while the list is empty.
    void Expand(std::string& text) const;

    // By name, ignoring case; nullptr when absent.
    TMacro* FindMacro(std::string_view name) const;
    // By name, ignoring case; raises EDatabaseError "Macro %s not found." when absent.
    TMacro& MacroByName(std::string_view name) const;

private:
    friend class TMacro;
    void NotifyChanged(const TMacro& macro);
    std::unique_ptr<TParser> MakeParser(std::string_view text) const;

    TMacrosOwner* FOwner;
    TParserClass FParserClass;
    std::vector<std::unique_ptr<TMacro>> FItems;
    int FUpdateCount = 0;
};
