#include "data/CRRecordSet.h"

#include <clocale>
#include <cmath>

namespace {

[[noreturn]] void UnknownProp(int prop) { throw EAssertionError(std::to_string(prop)); }

uint8_t Nibble(const TBcd& bcd, size_t index) {
    const uint8_t byte = bcd.Fraction[index / 2];
    return index % 2 == 0 ? static_cast<uint8_t>(byte >> 4) : static_cast<uint8_t>(byte & 0x0F);
}

void SetNibble(TBcd& bcd, size_t index, uint8_t digit) {
    uint8_t& byte = bcd.Fraction[index / 2];
    byte = index % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | (digit << 4))
                          : static_cast<uint8_t>((byte & 0xF0) | digit);
}

}  // namespace

bool PropAsBool(const TPropValue& value) {
    if (const bool* b = std::get_if<bool>(&value)) return *b;
    if (const int32_t* i = std::get_if<int32_t>(&value)) return *i != 0;
    throw EAssertionError("Property value is not a boolean");
}

int32_t PropAsInt(const TPropValue& value) {
    if (const int32_t* i = std::get_if<int32_t>(&value)) return *i;
    if (const bool* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
    throw EAssertionError("Property value is not an integer");
}

// ---------------------------------------------------------------------------------------------------
// TBcd

char LocaleDecimalSeparatorChar() {
    const std::lconv* conv = std::localeconv();
    return conv != nullptr && conv->decimal_point != nullptr && conv->decimal_point[0] != '\0' ? conv->decimal_point[0]
                                                                                               : '.';
}

bool TBcd::FromString(std::string_view text, char separator, uint8_t precision, uint8_t scale, TBcd& out) {
    out = TBcd{};
    if (precision == 0 || precision > 64 || scale > precision) return false;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const size_t point = text.find(separator);
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return false;
    for (char c : whole)
        if (c < '0' || c > '9') return false;
    for (char c : fraction)
        if (c < '0' || c > '9') return false;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    if (whole.size() > static_cast<size_t>(precision - scale)) return false;
    // Digits beyond the scale are dropped (the provider already rounded to the column's scale).
    if (fraction.size() > scale) fraction = fraction.substr(0, scale);
    out.Precision = precision;
    const size_t integerDigits = static_cast<size_t>(precision - scale);
    size_t index = integerDigits - whole.size();
    bool nonZero = false;
    for (char c : whole) {
        SetNibble(out, index++, static_cast<uint8_t>(c - '0'));
        nonZero |= c != '0';
    }
    index = integerDigits;
    for (char c : fraction) {
        SetNibble(out, index++, static_cast<uint8_t>(c - '0'));
        nonZero |= c != '0';
    }
    out.SignSpecialPlaces = static_cast<uint8_t>(((negative && nonZero) ? 0x80 : 0) | (scale & 0x3F));
    return true;
}

std::string TBcd::ToString(char separator) const {
    const size_t scale = Scale();
    const size_t integerDigits = Precision > scale ? Precision - scale : 0;
    std::string whole;
    for (size_t i = 0; i < integerDigits; ++i) {
        const uint8_t d = Nibble(*this, i);
        if (whole.empty() && d == 0) continue;
        whole += static_cast<char>('0' + d);
    }
    if (whole.empty()) whole.push_back('0');
    std::string fraction;
    for (size_t i = 0; i < scale; ++i) fraction += static_cast<char>('0' + Nibble(*this, integerDigits + i));
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string text = IsNegative() ? "-" + whole : whole;
    if (!fraction.empty()) text += separator + fraction;
    return text;
}

double TBcd::ToDouble() const {
    double value = 0;
    for (size_t i = 0; i < Precision; ++i) value = value * 10 + Nibble(*this, i);
    value /= std::pow(10.0, Scale());
    return IsNegative() ? -value : value;
}

// ---------------------------------------------------------------------------------------------------
// TCRCommand

TParamDesc& TCRCommand::AddParam() { return FParams.emplace_back(); }

bool TCRCommand::SetProp(int prop, const TPropValue& value) {
    if (prop == CRProp::OptionFlag) {
        FOptionFlag = PropAsBool(value);
        return true;
    }
    UnknownProp(prop);
}

bool TCRCommand::GetProp(int prop, TPropValue& value) const {
    switch (prop) {
    case CRProp::IsStoredProc: value = false; return true;
    case CRProp::Executing: value = FExecuting; return true;
    default: UnknownProp(prop);
    }
}

// ---------------------------------------------------------------------------------------------------
// TCRRecordSet

void TCRRecordSet::FetchAll() {
    while (Fetch(false)) {}
}

bool TCRRecordSet::SetProp(int prop, const TPropValue& value) {
    switch (prop) {
    case CRProp::UniDirectional: FUniDirectional = PropAsBool(value); return true;
    case CRProp::FetchRows: {
        const int32_t rows = PropAsInt(value);
        if (rows < 1 || rows > 10000) throw EDatabaseError(SFetchRowsRange);
        FFetchRows = rows;
        return true;
    }
    case CRProp::FetchAll: FFetchAll = PropAsBool(value); return true;
    case CRProp::LongStrings: FLongStrings = PropAsBool(value); return true;
    case CRProp::KeepEmptyStrings: FKeepEmptyStrings = PropAsBool(value); return true;
    case CRProp::FlatBuffers: FFlatBuffers = PropAsBool(value); return true;
    case CRProp::FilterText:
        if (const auto* s = std::get_if<std::string>(&value)) {
            FFilterText = *s;
            return true;
        }
        throw EAssertionError("Property value is not a string");
    default: UnknownProp(prop);
    }
}

bool TCRRecordSet::GetProp(int prop, TPropValue& value) const {
    switch (prop) {
    case CRProp::UniDirectional: value = FUniDirectional; return true;
    case CRProp::FetchRows: value = static_cast<int32_t>(FFetchRows); return true;
    case CRProp::FetchAll: value = FFetchAll; return true;
    case CRProp::LongStrings: value = FLongStrings; return true;
    case CRProp::KeepEmptyStrings: value = FKeepEmptyStrings; return true;
    case CRProp::FlatBuffers: value = FFlatBuffers; return true;
    case CRProp::FilterText: value = FFilterText; return true;
    default: UnknownProp(prop);
    }
}
