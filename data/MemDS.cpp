#include "data/MemDS.h"

#include <cstring>

TMemDataSet::~TMemDataSet() = default;

int32_t TMemDataSet::RecordCount() const { return Active() && FData ? FData->RecordCount() : 0; }

int32_t TMemDataSet::RecNo() const { return Active() && FHasCurrent ? FActiveRecNo : 0; }

TFieldType TMemDataSet::FieldTypeOfKind(uint16_t kind) {
    switch (kind) {
    case DataKind::String:
    case DataKind::ExtString: return TFieldType::ftString;
    case DataKind::Smallint: return TFieldType::ftSmallint;
    case DataKind::Integer: return TFieldType::ftInteger;
    case DataKind::Float: return TFieldType::ftFloat;
    case DataKind::Date: return TFieldType::ftDate;
    case DataKind::Time: return TFieldType::ftTime;
    case DataKind::DateTime: return TFieldType::ftDateTime;
    case DataKind::Word: return TFieldType::ftWord;
    case DataKind::Boolean: return TFieldType::ftBoolean;
    case DataKind::Largeint:
    case DataKind::OtherLargeint: return TFieldType::ftLargeint;
    case DataKind::Currency: return TFieldType::ftCurrency;
    case DataKind::Blob: return TFieldType::ftBlob;
    case DataKind::Memo: return TFieldType::ftMemo;
    case DataKind::ADT: return TFieldType::ftADT;
    case DataKind::Reference: return TFieldType::ftReference;
    case DataKind::Array: return TFieldType::ftArray;
    case DataKind::DataSet: return TFieldType::ftDataSet;
    case DataKind::Variant: return TFieldType::ftVariant;
    case DataKind::Bytes: return TFieldType::ftBytes;
    case DataKind::VarBytes:
    case DataKind::ExtVarBytes: return TFieldType::ftVarBytes;
    case DataKind::WideString:
    case DataKind::ExtWideString: return TFieldType::ftWideString;
    case DataKind::BCD: return TFieldType::ftBCD;
    case DataKind::FMTBCD: return TFieldType::ftFMTBcd;
    case DataKind::Guid: return TFieldType::ftGuid;
    default: return TFieldType::ftUnknown;
    }
}

void TMemDataSet::CreateFieldDefs() {
    FFieldDefs.Clear();
    const TFieldDescs& descs = FData->Fields();
    for (size_t i = 0; i < descs.Count(); ++i) {
        const TFieldDesc& desc = descs[i];
        if (desc.ParentField != nullptr) continue;
        TFieldDef def;
        def.Name = desc.Name;
        def.FieldNo = static_cast<int>(i + 1);
        def.DataType = FieldTypeOfKind(desc.DataType);
        switch (def.DataType) {
        case TFieldType::ftString:
        case TFieldType::ftWideString:
        case TFieldType::ftGuid: def.Size = std::max<int>(desc.Length, 1); break;
        case TFieldType::ftBytes:
        case TFieldType::ftVarBytes: def.Size = desc.Length; break;
        default: def.Size = 0; break;
        }
        switch (def.DataType) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftWord:
        case TFieldType::ftLargeint:
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency: def.Precision = desc.Length; break;
        case TFieldType::ftBCD:
        case TFieldType::ftFMTBcd:
            def.Precision = desc.Length;
            def.Scale = desc.Scale;
            break;
        default: break;
        }
        def.Required = desc.Required && RequiredFieldsOption();
        def.ReadOnly = desc.ReadOnly;
        def.Hidden = desc.Hidden;
        def.Fixed = desc.Fixed;
        FFieldDefs.Add(std::move(def));
    }
    FFieldDefs.Updated = true;
}

void TMemDataSet::InternalOpen() {
    if (!FData) throw EDatabaseError(SNoRecordStore);
    FData->Open();
    CreateFieldDefs();
    CreateFields();
    FActive = {};
    FHasCurrent = false;
    FActiveRecNo = 0;
}

void TMemDataSet::InternalClose() {
    FHasCurrent = false;
    FActiveRecNo = 0;
    FActive = {};
    DestroyFields();
    if (FData) FData->Close();
}

void TMemDataSet::InternalFirst() {
    FHasCurrent = false;
    FData->SetToBegin();
}

bool TMemDataSet::GetNextRecord() {
    int32_t recNo = 0;
    const TConstRecordSpan record = FData->NextRecord(recNo);
    // Past the end the store has no current record; the fields keep showing the last one.
    if (recNo == 0) return false;
    FActive = record;
    FHasCurrent = true;
    FActiveRecNo = recNo;
    return true;
}

TConstRecordSpan TMemDataSet::Current(const TField& field, bool& isNull) const {
    isNull = true;
    if (!FHasCurrent || !FData || field.FieldNo() < 1) return {};
    isNull = FData->GetNull(field.FieldNo(), FActive);
    return FActive;
}

bool TMemDataSet::GetFieldNull(const TField& field) const {
    bool isNull;
    Current(field, isNull);
    return isNull;
}

bool TMemDataSet::GetFieldFixed(const TField& field, void* destination, size_t size) const {
    bool isNull;
    const auto record = Current(field, isNull);
    if (isNull) return false;
    const size_t room = std::max(FData->MaxFieldDataSize(field.FieldNo()), size);
    std::byte local[64];
    std::vector<std::byte> heap;
    std::span<std::byte> value(local, sizeof local);
    if (room > sizeof local) {
        heap.resize(room);
        value = heap;
    } else {
        value = value.first(room);
    }
    FData->GetFieldData(field.FieldNo(), record, isNull, value);
    std::memcpy(destination, value.data(), size);
    return !isNull;
}

std::string TMemDataSet::GetFieldStr(const TField& field) const {
    // The store's read reports the null itself (as an empty text): every row of a read passes here once.
    if (!FHasCurrent || !FData || field.FieldNo() < 1) return {};
    bool isNull;
    return FData->GetFieldString(field.FieldNo(), FActive, isNull);
}

std::optional<std::u16string> TMemDataSet::GetFieldWideStr(const TField& field) const {
    bool isNull;
    const auto record = Current(field, isNull);
    if (isNull) return std::nullopt;
    return FData->GetFieldWideString(field.FieldNo(), record, isNull);
}

std::optional<std::vector<std::byte>> TMemDataSet::GetFieldBytes(const TField& field) const {
    bool isNull;
    const auto record = Current(field, isNull);
    if (isNull) return std::nullopt;
    return FData->GetFieldBytes(field.FieldNo(), record, isNull);
}

std::shared_ptr<TBlob> TMemDataSet::GetFieldBlob(const TField& field) const {
    bool isNull;
    const auto record = Current(field, isNull);
    if (isNull) return nullptr;
    return FData->GetFieldBlob(field.FieldNo(), record);
}

TVariant TMemDataSet::GetFieldVariant(const TField& field) const {
    bool isNull;
    const auto record = Current(field, isNull);
    if (isNull) return {};
    return FData->GetFieldVariant(field.FieldNo(), record, isNull);
}
