#include "data/DataSet.h"

#include "common/CodePage.h"
#include "common/Format.h"

#include <array>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

constexpr int64_t DaysFrom1970To1899 = -25569;  // 1899-12-30 relative to 1970-01-01

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Text helpers

std::string FieldTypeName(TFieldType type) {
    switch (type) {
    case TFieldType::ftUnknown: return "Unknown";
    case TFieldType::ftString: return "String";
    case TFieldType::ftSmallint: return "SmallInt";
    case TFieldType::ftInteger: return "Integer";
    case TFieldType::ftWord: return "Word";
    case TFieldType::ftBoolean: return "Boolean";
    case TFieldType::ftFloat: return "Float";
    case TFieldType::ftCurrency: return "Currency";
    case TFieldType::ftBCD: return "BCD";
    case TFieldType::ftDate: return "Date";
    case TFieldType::ftTime: return "Time";
    case TFieldType::ftDateTime: return "DateTime";
    case TFieldType::ftBytes: return "Bytes";
    case TFieldType::ftVarBytes: return "VarBytes";
    case TFieldType::ftBlob: return "Blob";
    case TFieldType::ftMemo: return "Memo";
    case TFieldType::ftWideString: return "WideString";
    case TFieldType::ftLargeint: return "LargeInt";
    case TFieldType::ftVariant: return "Variant";
    case TFieldType::ftGuid: return "Guid";
    case TFieldType::ftFMTBcd: return "FMTBcd";
    default: return "Unknown";
    }
}

std::string WideToAnsi(std::u16string_view text) { return codepage::FromUtf16(text); }

std::u16string AnsiToWide(std::string_view text) { return codepage::ToUtf16(text); }

std::string FloatToStrGeneral(double value, int precision) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, value);
    std::string_view text(buffer);
    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    const size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const char separator = LocaleDecimalSeparatorChar();
    std::string out = negative ? "-" : "";
    if (exponent >= precision || exponent < -4) {
        out += digits[0];
        if (digits.size() > 1) out += separator + digits.substr(1);
        out += 'E';
        if (exponent < 0) out += '-';
        out += std::to_string(std::abs(exponent));
        return out;
    }
    if (exponent >= 0) {
        const size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + separator + digits.substr(whole);
        }
        return out;
    }
    out += '0';
    out += separator;
    out += std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    return out;
}

std::string DateTimeToStr(double oleDate) {
    double whole = std::trunc(oleDate);
    double fraction = std::fabs(oleDate - whole);
    int64_t milliseconds = std::llround(fraction * 86400000.0);
    if (milliseconds >= 86400000) {
        milliseconds -= 86400000;
        whole += oleDate < 0 ? -1 : 1;
    }
    int64_t year;
    unsigned month;
    unsigned day;
    CivilFromDays(static_cast<int64_t>(whole) + DaysFrom1970To1899, year, month, day);
    std::string text = Format("%04lld-%02u-%02u", static_cast<long long>(year), month, day);
    const int64_t seconds = milliseconds / 1000;
    if (milliseconds != 0) {
        text += Format(" %02d:%02d:%02d", static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                       static_cast<int>(seconds % 60));
    }
    return text;
}

int32_t StrToInt(std::string_view text) {
    const auto fail = [&] { throw EConvertError(Format(SInvalidInteger, std::string(text).c_str())); };
    std::string_view s = text;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) fail();
    int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') fail();
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) fail();
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) fail();
    return static_cast<int32_t>(value);
}

int32_t RoundToInt32(double value, std::string_view textForError) {
    const double rounded = std::nearbyint(value);  // the default rounding mode: halves to even
    if (!(rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()))
        throw EConvertError(Format(SInvalidInteger, std::string(textForError).c_str()));
    return static_cast<int32_t>(rounded);
}

// ---------------------------------------------------------------------------------------------------
// TStringList

const std::string& TStringList::operator[](size_t index) const {
    if (index >= FLines.size()) throw EListError(Format(SListIndex, static_cast<int>(index)));
    return FLines[index];
}

void TStringList::Set(size_t index, std::string value) {
    if (index >= FLines.size()) throw EListError(Format(SListIndex, static_cast<int>(index)));
    FLines[index] = std::move(value);
    Changed();
}

size_t TStringList::Add(std::string line) {
    FLines.push_back(std::move(line));
    Changed();
    return FLines.size() - 1;
}

void TStringList::Insert(size_t index, std::string line) {
    if (index > FLines.size()) throw EListError(Format(SListIndex, static_cast<int>(index)));
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
    Changed();
}

void TStringList::Delete(size_t index) {
    if (index >= FLines.size()) throw EListError(Format(SListIndex, static_cast<int>(index)));
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(index));
    Changed();
}

void TStringList::Clear() {
    if (FLines.empty()) return;
    FLines.clear();
    Changed();
}

std::string TStringList::Text() const {
    std::string text;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += FLines[i];
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    FLines = std::move(lines);
    Changed();  // assigning the text is a change even when it is the same text
}

void TStringList::EndUpdate() {
    if (FUpdateCount == 0) return;
    if (--FUpdateCount == 0 && FChangedWhileUpdating) {
        FChangedWhileUpdating = false;
        if (OnChange) OnChange();
    }
}

void TStringList::Changed() {
    if (FUpdateCount > 0) {
        FChangedWhileUpdating = true;
        return;
    }
    if (OnChange) OnChange();
}

// ---------------------------------------------------------------------------------------------------
// TFieldDefs

const TFieldDef& TFieldDefs::operator[](size_t index) const {
    if (index >= FItems.size()) throw EListError(Format(SListIndex, static_cast<int>(index)));
    return FItems[index];
}

TFieldDef& TFieldDefs::Add(TFieldDef def) { return FItems.emplace_back(std::move(def)); }

const TFieldDef* TFieldDefs::Find(std::string_view name) const {
    for (const auto& def : FItems)
        if (CompareFieldNames(def.Name, name) == 0) return &def;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------
// TField

void TField::Setup(TDataSet* dataSet, const TFieldDef& def) {
    FDataSet = dataSet;
    FFieldName = def.Name;
    FFieldNo = def.FieldNo;
    FSize = def.Size;
    FRequired = def.Required;
    FReadOnly = def.ReadOnly;
}

void TField::NoDataSetError() const { throw EDatabaseError(Format(SFieldHasNoDataSet, DisplayName().c_str())); }

void TField::AccessError(TFieldType asType) const {
    throw EDatabaseError(Format(SFieldAccess, DisplayName().c_str(), FieldTypeName(asType).c_str()));
}

bool TField::IsNull() const { return CheckDataSet().GetFieldNull(*this); }

std::string TField::AsString() const { AccessError(TFieldType::ftString); }

int32_t TField::AsInteger() const { AccessError(TFieldType::ftInteger); }

bool TField::ReadFixed(void* destination, size_t size) const {
    return CheckDataSet().GetFieldFixed(*this, destination, size);
}

std::string TStringField::AsString() const { return CheckDataSet().GetFieldStr(*this); }

int32_t TStringField::AsInteger() const { return StrToInt(AsString()); }

std::u16string TWideStringField::AsWideString() const {
    return CheckDataSet().GetFieldWideStr(*this).value_or(std::u16string());
}

std::string TWideStringField::AsString() const { return WideToAnsi(AsWideString()); }

int32_t TWideStringField::AsInteger() const { return StrToInt(AsString()); }

std::string TNumericIntegerField::AsString() const {
    const auto value = Value();
    return value ? std::to_string(*value) : std::string();
}

int32_t TNumericIntegerField::AsInteger() const { return static_cast<int32_t>(Value().value_or(0)); }

std::optional<int64_t> TSmallintField::Value() const { return ReadFixedAs<int16_t>(); }

std::optional<int64_t> TIntegerField::Value() const { return ReadFixedAs<int32_t>(); }

std::optional<int64_t> TWordField::Value() const { return ReadFixedAs<uint16_t>(); }

std::optional<int64_t> TLargeintField::Value() const { return ReadFixedAs<int64_t>(); }

int32_t TLargeintField::AsInteger() const {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Value().value_or(0))));
}

std::optional<bool> TBooleanField::Value() const {
    int16_t v;
    if (!ReadFixed(&v, sizeof v)) return std::nullopt;
    return v != 0;
}

std::string TBooleanField::AsString() const {
    const auto value = Value();
    return value ? (*value ? "True" : "False") : std::string();
}

int32_t TBooleanField::AsInteger() const { AccessError(TFieldType::ftInteger); }

std::optional<double> TFloatField::Value() const { return ReadFixedAs<double>(); }

std::string TFloatField::AsString() const {
    const auto value = Value();
    return value ? FloatToStrGeneral(*value) : std::string();
}

int32_t TFloatField::AsInteger() const {
    const auto value = Value();
    return value ? RoundToInt32(*value, FloatToStrGeneral(*value)) : 0;
}

std::optional<int64_t> TBCDField::ScaledValue() const { return ReadFixedAs<int64_t>(); }

std::string TBCDField::AsString() const {
    const auto value = ScaledValue();
    if (!value) return {};
    const bool negative = *value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(*value) : static_cast<uint64_t>(*value);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    std::string fraction = Format("%04u", static_cast<unsigned>(magnitude % 10000));
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += LocaleDecimalSeparatorChar() + fraction;
    return text;
}

int32_t TBCDField::AsInteger() const {
    const auto value = ScaledValue();
    if (!value) return 0;
    // Exact halves-to-even on the scaled integer.
    int64_t whole = *value / 10000;
    const int64_t rest = *value % 10000;
    if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
    if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
    if (whole > std::numeric_limits<int32_t>::max() || whole < std::numeric_limits<int32_t>::min())
        throw EConvertError(Format(SInvalidInteger, AsString().c_str()));
    return static_cast<int32_t>(whole);
}

std::optional<TBcd> TFMTBCDField::Value() const { return ReadFixedAs<TBcd>(); }

std::string TFMTBCDField::AsString() const {
    const auto value = Value();
    return value ? value->ToString(LocaleDecimalSeparatorChar()) : std::string();
}

int32_t TFMTBCDField::AsInteger() const {
    const auto value = Value();
    return value ? RoundToInt32(value->ToDouble(), value->ToString(LocaleDecimalSeparatorChar())) : 0;
}

std::optional<double> TDateTimeField::Value() const { return ReadFixedAs<double>(); }

std::string TDateTimeField::AsString() const {
    const auto value = Value();
    return value ? DateTimeToStr(*value) : std::string();
}

std::optional<std::vector<std::byte>> TBytesField::Value() const { return CheckDataSet().GetFieldBytes(*this); }

std::string TBytesField::AsString() const {
    const auto value = Value();
    if (!value) return {};
    return std::string(reinterpret_cast<const char*>(value->data()), value->size());
}

std::shared_ptr<TBlob> TBlobField::Blob() const { return CheckDataSet().GetFieldBlob(*this); }

std::string TBlobField::AsString() const {
    const auto blob = Blob();
    if (!blob) return {};
    return blob->IsUnicode() ? WideToAnsi(blob->AsWideString()) : blob->AsString();
}

TVariant TVariantField::Value() const { return CheckDataSet().GetFieldVariant(*this); }

std::string TVariantField::AsString() const {
    const TVariant value = Value();
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(bool v) const { return v ? "True" : "False"; }
        std::string operator()(int32_t v) const { return std::to_string(v); }
        std::string operator()(int64_t v) const { return std::to_string(v); }
        std::string operator()(double v) const { return FloatToStrGeneral(v); }
        std::string operator()(const TVarDate& v) const { return DateTimeToStr(v.Value); }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(const std::u16string& v) const { return WideToAnsi(v); }
        std::string operator()(const std::vector<std::byte>& v) const {
            return std::string(reinterpret_cast<const char*>(v.data()), v.size());
        }
    };
    return std::visit(Visitor{}, value);
}

int32_t TVariantField::AsInteger() const {
    const TVariant value = Value();
    if (std::holds_alternative<std::monostate>(value)) return 0;
    if (const bool* b = std::get_if<bool>(&value)) return *b ? -1 : 0;
    if (const int32_t* i = std::get_if<int32_t>(&value)) return *i;
    if (const int64_t* l = std::get_if<int64_t>(&value)) {
        if (*l > std::numeric_limits<int32_t>::max() || *l < std::numeric_limits<int32_t>::min())
            throw EConvertError(Format(SInvalidInteger, std::to_string(*l).c_str()));
        return static_cast<int32_t>(*l);
    }
    if (const double* d = std::get_if<double>(&value)) return RoundToInt32(*d, FloatToStrGeneral(*d));
    if (const TVarDate* t = std::get_if<TVarDate>(&value)) return RoundToInt32(t->Value, DateTimeToStr(t->Value));
    return StrToInt(AsString());
}

std::unique_ptr<TField> CreateFieldOfType(TFieldType type) {
    switch (type) {
    case TFieldType::ftString: return std::make_unique<TStringField>();
    case TFieldType::ftSmallint: return std::make_unique<TSmallintField>();
    case TFieldType::ftInteger: return std::make_unique<TIntegerField>();
    case TFieldType::ftWord: return std::make_unique<TWordField>();
    case TFieldType::ftBoolean: return std::make_unique<TBooleanField>();
    case TFieldType::ftFloat: return std::make_unique<TFloatField>();
    case TFieldType::ftCurrency: return std::make_unique<TCurrencyField>();
    case TFieldType::ftBCD: return std::make_unique<TBCDField>();
    case TFieldType::ftDate: return std::make_unique<TDateField>();
    case TFieldType::ftTime: return std::make_unique<TTimeField>();
    case TFieldType::ftDateTime: return std::make_unique<TDateTimeField>();
    case TFieldType::ftBytes: return std::make_unique<TBytesField>();
    case TFieldType::ftVarBytes: return std::make_unique<TVarBytesField>();
    case TFieldType::ftBlob: return std::make_unique<TBlobField>();
    case TFieldType::ftMemo: return std::make_unique<TMemoField>();
    case TFieldType::ftWideString: return std::make_unique<TWideStringField>();
    case TFieldType::ftLargeint: return std::make_unique<TLargeintField>();
    case TFieldType::ftVariant: return std::make_unique<TVariantField>();
    case TFieldType::ftGuid: return std::make_unique<TGuidField>();
    case TFieldType::ftFMTBcd: return std::make_unique<TFMTBCDField>();
    default: return nullptr;
    }
}

// ---------------------------------------------------------------------------------------------------
// TFields

void TFields::IndexError(int index) { throw EListError(Format(SListIndex, index)); }

TField* TFields::FindField(std::string_view name) const {
    for (const auto& field : FItems)
        if (CompareFieldNames(field->FieldName(), name) == 0) return field.get();
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------
// TDataSet

TDataSet::~TDataSet() {
    for (size_t i = 0; i < FFields.Count(); ++i) FFields[static_cast<int>(i)].DetachDataSet();
}

void TDataSet::SetActive(bool value) {
    if (value == FActive) return;
    if (value) {
        PrepareOpen();
        if (BeforeOpen) BeforeOpen(this);
        FState = TDataSetState::dsOpening;
        try {
            OpenCursor();
        } catch (...) {
            FState = TDataSetState::dsInactive;
            CleanUpKeepingError([this] { CloseCursor(); });
            FEOF = FBOF = true;
            throw;
        }
        FActive = true;
        FState = TDataSetState::dsBrowse;
        InternalFirst();
        try {
            const bool any = GetNextRecord();
            FEOF = FBOF = !any;
        } catch (...) {
            FActive = false;
            FState = TDataSetState::dsInactive;
            try {
                CloseCursor();
            } catch (...) {}
            FEOF = FBOF = true;
            throw;
        }
        if (AfterOpen) AfterOpen(this);
        return;
    }
    if (BeforeClose) BeforeClose(this);
    FState = TDataSetState::dsInactive;
    FActive = false;
    std::exception_ptr failure;
    try {
        CloseCursor();
    } catch (...) {
        failure = std::current_exception();
    }
    FEOF = FBOF = true;
    if (failure) std::rethrow_exception(failure);
    if (AfterClose) AfterClose(this);
}

void TDataSet::Next() {
    CheckBrowseMode();
    if (BeforeScroll) BeforeScroll(this);
    if (FEOF) return;
    if (GetNextRecord()) {
        FBOF = false;
    } else {
        FEOF = true;
    }
    if (AfterScroll) AfterScroll(this);
}

TField& TDataSet::FieldByName(std::string_view name) const {
    TField* field = FFields.FindField(name);
    if (field == nullptr) throw EDatabaseError(Format(SFieldNotFound, std::string(name).c_str()));
    return *field;
}

void TDataSet::CheckBrowseMode() const {
    if (!FActive) throw EDatabaseError(SDataSetClosed);
}

void TDataSet::CheckInactive() const {
    if (FActive) throw EDatabaseError(SDataSetOpen);
}

void TDataSet::CreateFields() {
    FFields.Clear();
    for (const auto& def : FFieldDefs) {
        if (def.Hidden) continue;
        auto field = CreateFieldOfType(def.DataType);
        if (!field) {
            throw EDatabaseError(Format(SFieldTypeUnsupported, def.Name.c_str(), FieldTypeName(def.DataType).c_str()));
        }
        field->Setup(this, def);
        FFields.Add(std::move(field));
    }
    FDefaultFields = true;
}

void TDataSet::DestroyFields() {
    if (!FDefaultFields) return;
    for (size_t i = 0; i < FFields.Count(); ++i) FFields[static_cast<int>(i)].DetachDataSet();
    FFields.Clear();
    FDefaultFields = false;
}

bool TDataSet::GetFieldNull(const TField&) const { return true; }
bool TDataSet::GetFieldFixed(const TField&, void*, size_t) const { return false; }
std::string TDataSet::GetFieldStr(const TField&) const { return {}; }
std::optional<std::u16string> TDataSet::GetFieldWideStr(const TField&) const { return std::nullopt; }
std::optional<std::vector<std::byte>> TDataSet::GetFieldBytes(const TField&) const { return std::nullopt; }
std::shared_ptr<TBlob> TDataSet::GetFieldBlob(const TField&) const { return nullptr; }
TVariant TDataSet::GetFieldVariant(const TField&) const { return {}; }
