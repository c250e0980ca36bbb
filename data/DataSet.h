#pragma once
// The dataset framework the query component sits on: a string list for SQL text, field definitions,
// field objects with their text and integer conversions, and TDataSet with its open / close / next
// cycle over one current record. Reading values is left to the subclass (TMemDataSet, data/MemDS.h).
#include "common/Exception.h"
#include "data/CRRecordSet.h"
#include "data/DAErrors.h"
#include "data/MemData.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An index outside a list: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A text that is no number of the requested kind: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

enum class TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
    ftTimeStamp,
    ftFMTBcd,
};

// "String", "Integer", ... as messages name the types.
std::string FieldTypeName(TFieldType type);

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsOpening };

// ---------------------------------------------------------------------------------------------------
// Text helpers shared by the field classes

// UTF-16 to the system code page and back (common/CodePage.h); a character the code page lacks
// becomes "?".
std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWide(std::string_view text);
// The general number format with `precision` significant digits (15 for floats).
std::string FloatToStrGeneral(double value, int precision = 15);
// An OLE date (days since 1899-12-30) as date and time text, the time left out at midnight.
std::string DateTimeToStr(double oleDate);
// A decimal integer text; raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view text);
// Rounds to the nearest integer, halves to even; raises EConvertError when it does not fit 32 bits.
int32_t RoundToInt32(double value, std::string_view textForError);

// ---------------------------------------------------------------------------------------------------
// String list

class TStringList {
public:
    using TNotifyEvent = std::function<void()>;

    size_t Count() const { return FLines.size(); }
    const std::string& operator[](size_t index) const;
    void Set(size_t index, std::string value);
    size_t Add(std::string line);
    void Insert(size_t index, std::string line);
    void Delete(size_t index);
    void Clear();  // no change event when already empty

    // The lines joined with CR LF; assigning splits at CR LF, LF or CR.
    std::string Text() const;
    void SetText(std::string_view text);

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

    TNotifyEvent OnChange;

private:
    void Changed();

    std::vector<std::string> FLines;
    int FUpdateCount = 0;
    bool FChangedWhileUpdating = false;
};

// ---------------------------------------------------------------------------------------------------
// Field definitions

struct TFieldDef {
    std::string Name;
    int FieldNo = 0;  // 1-based position in the record store
    TFieldType DataType = TFieldType::ftUnknown;
    int Size = 0;
    bool Required = false;
    int Precision = 0;
    int Scale = 0;
    bool ReadOnly = false;
    bool Hidden = false;
    bool Fixed = false;
};

class TFieldDefs {
public:
    size_t Count() const { return FItems.size(); }
    const TFieldDef& operator[](size_t index) const;
    TFieldDef& Add(TFieldDef def);
    void Clear() { FItems.clear(); }
    const TFieldDef* Find(std::string_view name) const;

    bool Updated = false;  // false: stale, rebuilt at the next open

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<TFieldDef> FItems;
};

// ---------------------------------------------------------------------------------------------------
// Fields

class TDataSet;

class TField {
public:
    explicit TField(TFieldType type) : FDataType(type) {}
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    const std::string& FieldName() const { return FFieldName; }
    const std::string& DisplayLabel() const { return FDisplayLabel; }
    void SetDisplayLabel(std::string value) { FDisplayLabel = std::move(value); }
    const std::string& DisplayName() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
    TFieldType DataType() const { return FDataType; }
    int FieldNo() const { return FFieldNo; }
    int Size() const { return FSize; }
    bool Required() const { return FRequired; }
    bool ReadOnly() const { return FReadOnly; }
    TDataSet* DataSet() const { return FDataSet; }

    // The current record's value; every field reads as null when there is no current record.
    bool IsNull() const;
    virtual std::string AsString() const;
    virtual int32_t AsInteger() const;

    // Set up by the dataset when it creates the field from its definition.
    void Setup(TDataSet* dataSet, const TFieldDef& def);
    void DetachDataSet() { FDataSet = nullptr; }

protected:
    [[noreturn]] void AccessError(TFieldType asType) const;
    // "Field '%s' has no dataset"; inline, as every value read passes here.
    TDataSet& CheckDataSet() const {
        if (FDataSet == nullptr) NoDataSetError();
        return *FDataSet;
    }
    [[noreturn]] void NoDataSetError() const;
    // Raw value of the fixed-size kinds; false when null.
    bool ReadFixed(void* destination, size_t size) const;
    template <typename T>
    std::optional<T> ReadFixedAs() const {
        T value;
        if (!ReadFixed(&value, sizeof value)) return std::nullopt;
        return value;
    }

private:
    std::string FFieldName;
    std::string FDisplayLabel;
    TFieldType FDataType;
    int FFieldNo = 0;
    int FSize = 0;
    bool FRequired = false;
    bool FReadOnly = false;
    TDataSet* FDataSet = nullptr;
};

class TStringField : public TField {
public:
    TStringField() : TField(TFieldType::ftString) {}
    std::string AsString() const override;
    int32_t AsInteger() const override;

protected:
    explicit TStringField(TFieldType type) : TField(type) {}
};

class TGuidField : public TStringField {
public:
    TGuidField() : TStringField(TFieldType::ftGuid) {}
};

class TWideStringField : public TField {
public:
    TWideStringField() : TField(TFieldType::ftWideString) {}
    std::u16string AsWideString() const;
    std::string AsString() const override;
    int32_t AsInteger() const override;
};

// Integer fields: the value widened to 64 bits.
class TNumericIntegerField : public TField {
public:
    using TField::TField;
    std::string AsString() const override;
    int32_t AsInteger() const override;
    virtual std::optional<int64_t> Value() const = 0;
};

class TSmallintField : public TNumericIntegerField {
public:
    TSmallintField() : TNumericIntegerField(TFieldType::ftSmallint) {}
    std::optional<int64_t> Value() const override;
};

class TIntegerField : public TNumericIntegerField {
public:
    TIntegerField() : TNumericIntegerField(TFieldType::ftInteger) {}
    std::optional<int64_t> Value() const override;
};

class TWordField : public TNumericIntegerField {
public:
    TWordField() : TNumericIntegerField(TFieldType::ftWord) {}
    std::optional<int64_t> Value() const override;
};

class TLargeintField : public TNumericIntegerField {
public:
    TLargeintField() : TNumericIntegerField(TFieldType::ftLargeint) {}
    std::optional<int64_t> Value() const override;
    int32_t AsInteger() const override;  // the low 32 bits
};

class TBooleanField : public TField {
public:
    TBooleanField() : TField(TFieldType::ftBoolean) {}
    std::optional<bool> Value() const;
    std::string AsString() const override;
    int32_t AsInteger() const override;  // not an integer: raises
};

class TFloatField : public TField {
public:
    TFloatField() : TField(TFieldType::ftFloat) {}
    std::optional<double> Value() const;
    std::string AsString() const override;
    int32_t AsInteger() const override;

protected:
    explicit TFloatField(TFieldType type) : TField(type) {}
};

class TCurrencyField : public TFloatField {
public:
    TCurrencyField() : TFloatField(TFieldType::ftCurrency) {}
};

// numeric/decimal as BCD: the record holds the value times 10000 as a 64-bit integer.
class TBCDField : public TField {
public:
    TBCDField() : TField(TFieldType::ftBCD) {}
    std::optional<int64_t> ScaledValue() const;
    std::string AsString() const override;
    int32_t AsInteger() const override;
};

class TFMTBCDField : public TField {
public:
    TFMTBCDField() : TField(TFieldType::ftFMTBcd) {}
    std::optional<TBcd> Value() const;
    std::string AsString() const override;
    int32_t AsInteger() const override;
};

class TDateTimeField : public TField {
public:
    TDateTimeField() : TField(TFieldType::ftDateTime) {}
    std::optional<double> Value() const;  // OLE date
    std::string AsString() const override;

protected:
    explicit TDateTimeField(TFieldType type) : TField(type) {}
};

class TDateField : public TDateTimeField {
public:
    TDateField() : TDateTimeField(TFieldType::ftDate) {}
};

class TTimeField : public TDateTimeField {
public:
    TTimeField() : TDateTimeField(TFieldType::ftTime) {}
};

class TBytesField : public TField {
public:
    TBytesField() : TField(TFieldType::ftBytes) {}
    std::optional<std::vector<std::byte>> Value() const;
    std::string AsString() const override;

protected:
    explicit TBytesField(TFieldType type) : TField(type) {}
};

class TVarBytesField : public TBytesField {
public:
    TVarBytesField() : TBytesField(TFieldType::ftVarBytes) {}
};

class TBlobField : public TField {
public:
    TBlobField() : TField(TFieldType::ftBlob) {}
    std::shared_ptr<TBlob> Blob() const;  // nullptr when null
    std::string AsString() const override;

protected:
    explicit TBlobField(TFieldType type) : TField(type) {}
};

class TMemoField : public TBlobField {
public:
    TMemoField() : TBlobField(TFieldType::ftMemo) {}
};

class TVariantField : public TField {
public:
    TVariantField() : TField(TFieldType::ftVariant) {}
    TVariant Value() const;
    std::string AsString() const override;
    int32_t AsInteger() const override;
};

// The field class for a field type (nullptr for the types no field class serves).
std::unique_ptr<TField> CreateFieldOfType(TFieldType type);

class TFields {
public:
    size_t Count() const { return FItems.size(); }
    // "List index out of bounds (%d)" outside 0..Count-1.
    TField& operator[](int index) const {
        if (index < 0 || static_cast<size_t>(index) >= FItems.size()) IndexError(index);
        return *FItems[static_cast<size_t>(index)];
    }
    TField* FindField(std::string_view name) const;
    void Add(std::unique_ptr<TField> field) { FItems.push_back(std::move(field)); }
    void Clear() { FItems.clear(); }

private:
    [[noreturn]] static void IndexError(int index);
    std::vector<std::unique_ptr<TField>> FItems;
};

// ---------------------------------------------------------------------------------------------------
// TDataSet

class TDataSet {
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;

    TDataSet() = default;
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    bool Active() const { return FActive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return FState; }

    bool EndOfData() const { return FEOF; }
    bool StartOfData() const { return FBOF; }
    bool Eof() const { return FEOF; }
    bool Bof() const { return FBOF; }

    virtual int32_t RecordCount() const { return 0; }
    virtual int32_t RecNo() const { return 0; }
    // Moves to the following record; at the last one the position stays and EndOfData is set.
    void Next();

    TFields& Fields() { return FFields; }
    const TFields& Fields() const { return FFields; }
    TFieldDefs& FieldDefs() { return FFieldDefs; }
    const TFieldDefs& FieldDefs() const { return FFieldDefs; }
    TField* FindField(std::string_view name) const { return FFields.FindField(name); }
    TField& FieldByName(std::string_view name) const;  // "Field '%s' not found"

    TDataSetNotifyEvent BeforeOpen;
    TDataSetNotifyEvent AfterOpen;
    TDataSetNotifyEvent BeforeClose;
    TDataSetNotifyEvent AfterClose;
    TDataSetNotifyEvent BeforeScroll;
    TDataSetNotifyEvent AfterScroll;

    // Value access for the field objects (current record; nothing when there is none).
    virtual bool HasCurrentRecord() const { return false; }
    virtual bool GetFieldNull(const TField& field) const;
    virtual bool GetFieldFixed(const TField& field, void* destination, size_t size) const;
    // Empty for a null as for an empty text (GetFieldNull tells them apart): returned as it is read,
    // without the copies an optional would cost on every row of a read.
    virtual std::string GetFieldStr(const TField& field) const;
    virtual std::optional<std::u16string> GetFieldWideStr(const TField& field) const;
    virtual std::optional<std::vector<std::byte>> GetFieldBytes(const TField& field) const;
    virtual std::shared_ptr<TBlob> GetFieldBlob(const TField& field) const;
    virtual TVariant GetFieldVariant(const TField& field) const;

protected:
    // Runs before BeforeOpen when an inactive dataset opens (options reach the record set here).
    virtual void PrepareOpen() {}
    // The open and close of the underlying cursor.
    virtual void OpenCursor() { InternalOpen(); }
    virtual void CloseCursor() { InternalClose(); }
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    // Moves to the first record before the first read (the store's begin).
    virtual void InternalFirst() {}
    // Reads the following record into the current position; false when there is none.
    virtual bool GetNextRecord() { return false; }

    void CheckBrowseMode() const;  // "Cannot perform this operation on a closed dataset"
    void CheckInactive() const;    // "Cannot perform this operation on an open dataset"
    // One field object per definition, in order (the default fields, destroyed at close).
    void CreateFields();
    void DestroyFields();
    bool DefaultFields() const { return FDefaultFields; }

    TFields FFields;
    TFieldDefs FFieldDefs;
    bool FEOF = true;
    bool FBOF = true;

private:
    TDataSetState FState = TDataSetState::dsInactive;
    bool FActive = false;
    bool FDefaultFields = false;
};
