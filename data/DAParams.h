#pragma once
// The parameter list that the parameter parse fills: one item per ":name" found in a SQL text, in text
// order (a name used twice gives two items). The SQL Server parameter classes extend these items with
// data types and binding details; this base carries what the parse and the change handling need:
// a name and a value that survives re-parsing the text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A parameter value; std::monostate is "no value" (SQL NULL).
using TParamValue = std::variant<std::monostate, bool, int64_t, double, std::string>;

class TDAParam {
public:
    explicit TDAParam(std::string name) : FName(std::move(name)) {}
    virtual ~TDAParam() = default;

    const std::string& Name() const { return FName; }

    const TParamValue& Value() const { return FValue; }
    void SetValue(TParamValue value) { FValue = std::move(value); }
    bool IsNull() const { return std::holds_alternative<std::monostate>(FValue); }
    void Clear() { FValue = std::monostate{}; }

    // Takes over the value (and, in subclasses, whatever else describes it) of a parameter of the same
    // name from an earlier parse of the text.
    virtual void AssignValue(const TDAParam& source) { FValue = source.FValue; }

private:
    std::string FName;
    TParamValue FValue;
};

class TDAParams {
public:
    TDAParams() = default;
    virtual ~TDAParams() = default;
    TDAParams(const TDAParams&) = delete;
    TDAParams& operator=(const TDAParams&) = delete;
    TDAParams(TDAParams&&) = default;
    TDAParams& operator=(TDAParams&&) = default;

    std::size_t Count() const { return FItems.size(); }
    TDAParam& operator[](std::size_t index) { return *FItems.at(index); }
    const TDAParam& operator[](std::size_t index) const { return *FItems.at(index); }

    // Appends a new parameter; the list owns it.
    TDAParam& Add(std::string name);
    void Clear() { FItems.clear(); }

    // The first parameter with exactly this name, or nullptr.
    TDAParam* FindParam(std::string_view name);
    const TDAParam* FindParam(std::string_view name) const;

    // Every parameter takes over the value of the first parameter of `old` with the same name.
    void AssignValues(const TDAParams& old);

    // Replaces this list's items by those of `other`, which is left empty.
    void TakeItems(TDAParams& other) {
        FItems = std::move(other.FItems);
        other.FItems.clear();
    }

    // Makes an empty list of the same kind, for parsing a text into before replacing this one.
    virtual std::unique_ptr<TDAParams> CreateEmpty() const { return std::make_unique<TDAParams>(); }

protected:
    // Makes the item for Add; subclasses return their own parameter class.
    virtual std::unique_ptr<TDAParam> CreateParam(std::string name) const {
        return std::make_unique<TDAParam>(std::move(name));
    }

private:
    std::vector<std::unique_ptr<TDAParam>> FItems;
};
