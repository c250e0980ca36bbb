#pragma once
// The in-memory record store: field descriptors, fixed-size binary records allocated a block at a time,
// a small-object heap for out-of-line strings, reference-counted blobs and variants, and cursor movement.
//
// Records keep the classic layout (field offsets, even offsets for wide strings, a status area, an odd
// record size, item markers 238/221) because the fetch binds provider columns straight into them. Values
// that live outside a record (heap strings, blobs, variants) are referred to by 32-bit handles rather than
// by machine pointers: a record is plain bytes that callers may copy around (GetRecord/PutRecord), so
// every handle read back from one is validated before it is followed.
#include "common/ByteAccess.h"
#include "common/Exception.h"
#include "data/DAErrors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// An internal consistency check failed (a broken invariant, never the user's input).
class EAssertionError : public Exception {
public:
    using Exception::Exception;
};

// Data kinds: how a value is stored in a record (the provider mapping lives in the record set).
namespace DataKind {
inline constexpr uint16_t Unknown = 0;
inline constexpr uint16_t String = 1;    // characters and a zero, inline
inline constexpr uint16_t Smallint = 3;  // 16-bit
inline constexpr uint16_t Integer = 4;   // 32-bit
inline constexpr uint16_t Float = 5;     // 64-bit float
inline constexpr uint16_t Date = 6;      // 64-bit date-time (days since 1899-12-30)
inline constexpr uint16_t Time = 7;
inline constexpr uint16_t DateTime = 8;
inline constexpr uint16_t Word = 9;            // 16-bit
inline constexpr uint16_t Boolean = 10;        // 16-bit
inline constexpr uint16_t Largeint = 11;       // 64-bit integer
inline constexpr uint16_t Currency = 12;       // 64-bit float
inline constexpr uint16_t Blob = 13;           // handle of a TBlob
inline constexpr uint16_t Memo = 14;           // handle of a TBlob
inline constexpr uint16_t ADT = 15;            // a structured value (no SQL Server column is one)
inline constexpr uint16_t Reference = 16;      // a reference to an object (none here)
inline constexpr uint16_t Array = 17;          // an array value (none here)
inline constexpr uint16_t DataSet = 18;        // a nested dataset (none here)
inline constexpr uint16_t Variant = 19;        // handle of a TVariantObject
inline constexpr uint16_t ExtString = 20;      // handle of a heap string
inline constexpr uint16_t Bytes = 21;          // the bytes
inline constexpr uint16_t VarBytes = 22;       // 16-bit length, the bytes, 32-bit provider length slot
inline constexpr uint16_t ExtVarBytes = 23;    // handle of a heap buffer: 16-bit length and the bytes
inline constexpr uint16_t OtherLargeint = 24;  // a second 64-bit integer kind, shown as Largeint (none here)
inline constexpr uint16_t WideString = 25;     // UTF-16 characters and a zero, inline, even offset
inline constexpr uint16_t ExtWideString = 26;  // handle of a heap UTF-16 string
inline constexpr uint16_t BCD = 27;
inline constexpr uint16_t FMTBCD = 28;
inline constexpr uint16_t Guid = 29;  // 38 characters and a zero

// Sub-type bit: the column was a wide (UTF-16) type on the server.
inline constexpr uint16_t SubTypeWide = 0x8000;
// Sub-type, in the low 15 bits, of a memo read through a stream.
inline constexpr uint16_t SubTypeStream = 22;

// The bytes a kind needs at least in the record, so reading a value never leaves its field.
constexpr uint32_t MinimumSize(uint16_t kind) {
    switch (kind) {
    case String:
    case VarBytes: return kind == String ? 1 : 2;
    case WideString:
    case Smallint:
    case Word:
    case Boolean: return 2;
    case Integer:
    case Blob:
    case Memo:
    case Variant:
    case ExtString:
    case ExtWideString:
    case ExtVarBytes: return 4;
    case Float:
    case Date:
    case Time:
    case DateTime:
    case Largeint:
    case Currency:
    case BCD: return 8;
    default: return 0;
    }
}

bool IsByReference(uint16_t kind);   // 20, 23, 26: the record holds a heap handle
bool IsSharedObject(uint16_t kind);  // 13, 14, 19: the record holds a shared-object handle
}  // namespace DataKind

// ---------------------------------------------------------------------------------------------------
// Field descriptors

class TFieldDesc {
public:
    virtual ~TFieldDesc() = default;

    std::string Name;                   // after the uniqueness rule
    std::string ActualName;             // as the source gave it
    TFieldDesc* ParentField = nullptr;  // object sub-fields only; never set for SQL Server
    uint16_t DataType = DataKind::Unknown;
    uint16_t SubDataType = 0;
    uint16_t Length = 0;  // characters for strings, bytes for binary, precision for numbers
    uint16_t Scale = 0;
    uint16_t FieldNo = 0;  // the source's column ordinal
    uint16_t Size = 0;     // bytes the value occupies in the record
    uint32_t Offset = 0;   // from the start of the record
    bool Required = false;
    bool ReadOnly = false;
    bool Fixed = false;
    bool Hidden = false;
};

// Owns its descriptors. Index access is 0-based; "field numbers" elsewhere are 1-based positions.
class TFieldDescs {
public:
    TFieldDesc& Add(std::unique_ptr<TFieldDesc> desc);
    size_t Count() const { return FItems.size(); }
    TFieldDesc& operator[](size_t index) const {
        if (index >= FItems.size()) IndexError(index);
        return *FItems[index];
    }
    void Clear() { FItems.clear(); }

    // Lookup by name: a name with "." or "[" is compared with the actual names, any other with the
    // names of top-level fields and then of sub-fields; always case-insensitively.
    TFieldDesc* FindField(std::string_view name) const;
    TFieldDesc& FieldByName(std::string_view name) const;  // raises "Field %s not found."

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    [[noreturn]] static void IndexError(size_t index);
    std::vector<std::unique_ptr<TFieldDesc>> FItems;
};

// Case-insensitive comparison of byte strings in the system code page (negative, zero, positive).
int CompareFieldNames(std::string_view a, std::string_view b);

// Renames duplicate and nameless top-level descriptors: x, x_1, x_2; _0, _1 for nameless ones; a name
// that then collides with another descriptor's name moves that descriptor aside as well.
void MakeUniqueFieldNames(TFieldDescs& fields);

// ---------------------------------------------------------------------------------------------------
// Record memory

class TBlock;

// One record in memory: a one-byte marker (238 in use, 221 free) followed by the record bytes, so an
// odd record size gives an even item. A value naming a block and a position in it. An item's place in
// the record order is its block's place and its index: blocks hold their records in order and know the
// order of their first one, so no per-record links or numbers are stored (a 1,000,000-row result
// would otherwise spend more on item headers than on its values).
class TItem {
public:
    static constexpr size_t HeaderSize = 1;  // odd, so header + odd record is even
    static constexpr uint8_t MarkerUsed = 238;
    static constexpr uint8_t MarkerFree = 221;

    TItem() = default;
    TItem(TBlock* block, uint32_t index) : FBlock(block), FIndex(index) {}
    explicit operator bool() const { return FBlock != nullptr; }
    bool operator==(const TItem&) const = default;

    TBlock* Block() const { return FBlock; }
    uint32_t Index() const { return FIndex; }
    int32_t Order() const;  // 1 for the first record of a store; 0-based index in a block not yet linked
    uint8_t Marker() const;
    void SetMarker(uint8_t value) const;
    std::byte* Address() const;
    std::byte* Record() const { return Address() + HeaderSize; }

private:
    TBlock* FBlock = nullptr;
    uint32_t FIndex = 0;
};

// One allocation holding this header and ItemCount items of equal size, contiguous (ItemSize apart),
// so a provider can bind a row array straight into it. Items 0..UsedItems-1 are in use; the rest are
// free and are handed out from the front by the block manager.
class TBlock {
public:
    struct TDeleter {
        void operator()(TBlock* block) const;
    };
    using TPtr = std::unique_ptr<TBlock, TDeleter>;
    static TPtr Create(uint16_t itemCount, size_t itemSize);  // items zeroed

    TBlock(const TBlock&) = delete;
    TBlock& operator=(const TBlock&) = delete;

    uint16_t ItemCount() const { return FItemCount; }
    uint16_t UsedItems() const { return FUsedItems; }
    uint32_t ItemSize() const { return FItemSize; }
    int32_t FirstOrder() const { return FFirstOrder; }  // 0 until the store links the block's records
    void SetFirstOrder(int32_t order) { FFirstOrder = order; }
    size_t Index() const { return FIndex; }  // position in the manager's list, which is record order
    TItem Item(size_t index);                // raises EAssertionError outside 0..ItemCount-1
    std::byte* ItemAddress(size_t index) { return Items() + index * FItemSize; }

private:
    friend class TBlockManager;
    TBlock(uint16_t itemCount, uint32_t itemSize) : FItemCount(itemCount), FItemSize(itemSize) {}
    ~TBlock() = default;
    std::byte* Items() { return reinterpret_cast<std::byte*>(this) + sizeof(TBlock); }

    uint16_t FItemCount;
    uint16_t FUsedItems = 0;
    uint32_t FItemSize;
    int32_t FFirstOrder = 0;
    size_t FIndex = 0;
};

// Allocates records a block at a time and keeps the blocks in record order. Items are taken from
// the front of a block's free tail, so a block's records stay in order.
class TBlockManager {
public:
    static constexpr uint16_t DefaultItemCount = 10;

    void SetRecordSize(uint32_t size);  // only while no block exists with another size
    uint32_t RecordSize() const { return FRecordSize; }
    size_t ItemSize() const { return TItem::HeaderSize + FRecordSize; }

    TBlock& AllocBlock(uint16_t itemCount);        // at the end; every item in use, records zeroed
    TItem AllocItem();                             // the last block's first free item, or a new block's first
    void TrimBlock(TBlock& block, uint16_t used);  // items from used on become free; none kept frees it
    void FreeBlock(TBlock& block);
    void FreeAll();

    size_t BlockCount() const { return FBlocks.size(); }
    TBlock& Block(size_t index) const;
    size_t FreeItemCount() const { return FFreeCount; }
    size_t AllocatedBytes() const;
    bool Owns(const TBlock& block) const;

    TItem NextItem(TItem item) const;   // the following item in use, across blocks; nil after the last
    TItem PriorItem(TItem item) const;  // nil before the first

private:
    uint32_t FRecordSize = 0;
    std::vector<TBlock::TPtr> FBlocks;
    size_t FFreeCount = 0;
};

// ---------------------------------------------------------------------------------------------------
// String heap

// Small-object allocator for out-of-line values. A buffer is a 32-bit size word (bytes including this
// header) and a 16-bit reference word (100 + references) in front of its data. Buffers are named by
// handles: 0 is nil; small buffers are page * PageSize + position; large ones have the top bit set.
class TStringHeap {
public:
    using TRef = uint32_t;
    static constexpr size_t PageSize = 16384;
    static constexpr size_t PageLinkSize = 4;  // usable bytes per page: 16380
    static constexpr size_t Granularity = 8;
    static constexpr size_t SizeClassCount = 250;
    static constexpr size_t MaxSmallSize = SizeClassCount * Granularity;  // 2000
    static constexpr size_t BufferHeaderSize = 6;
    static constexpr size_t MinPageTail = 14;
    static constexpr uint16_t RefBase = 100;
    static constexpr TRef LargeFlag = 0x80000000u;

    TStringHeap() = default;
    TStringHeap(const TStringHeap&) = delete;
    TStringHeap& operator=(const TStringHeap&) = delete;

    TRef Alloc(size_t dataSize);  // a buffer with at least dataSize data bytes, reference word 101

    // The characters (up to length, -1 = up to the first zero) and a terminating zero; trailing blanks
    // dropped when trim is on. Nil text gives nil.
    TRef AllocStr(const char* text, bool trim, int length = -1);
    TRef AllocStr(std::string_view text, bool trim);
    TRef AllocWideStr(const char16_t* text, bool trim, int length = -1);
    TRef AllocWideStr(std::u16string_view text, bool trim);

    void AddRefStr(TRef ref);   // "AddRefStr failed" on a buffer that is not in use
    void DisposeBuf(TRef ref);  // "DisposeBuf failed" on a buffer that is not in use

    std::span<std::byte> Data(TRef ref);  // the buffer's whole data area; the buffer must be in use
    std::span<const std::byte> Data(TRef ref) const;
    std::string_view Str(TRef ref) const;  // up to the first zero
    std::u16string WideStr(TRef ref) const;
    uint16_t RefWord(TRef ref) const;  // also for freed buffers (100)
    uint32_t BufferSize(TRef ref) const;

    bool HasLargeBlocks() const { return FHasLargeBlocks; }
    size_t PageCount() const { return FPages.size(); }
    size_t FreeListLength(size_t sizeClass) const;  // sizeClass 1..250 (bytes / 8)
    size_t AllocatedBytes() const;
    void Clear();

private:
    std::byte* Locate(TRef ref, uint32_t& size) const;  // validated header address, or an error
    TRef AllocSmall(size_t total);
    TRef AllocLarge(size_t total);
    TRef NewBuffer(size_t page, size_t position, uint32_t size, uint16_t refWord);
    void StartPage();

    std::vector<std::unique_ptr<std::byte[]>> FPages;
    size_t FPagePos = PageSize;  // next free position in the last page
    std::vector<std::vector<TRef>> FFreeLists = std::vector<std::vector<TRef>>(SizeClassCount);
    struct TLarge {
        std::unique_ptr<std::byte[]> Memory;
        size_t Size = 0;
    };
    std::vector<TLarge> FLarge;  // slots are not reused before Clear, so stale handles stay detectable
    bool FHasLargeBlocks = false;
};

// ---------------------------------------------------------------------------------------------------
// Shared objects

class TSharedObject {
public:
    virtual ~TSharedObject() = default;
    int32_t AddRef();   // returns the new count
    int32_t Release();  // returns the new count
    int32_t RefCount() const { return FRefCount; }

private:
    int32_t FRefCount = 1;
};

// A long value as a chain of pieces.
class TBlob : public TSharedObject {
public:
    static constexpr size_t PieceAllocation = 65536;
    static constexpr size_t PieceHeaderSize = 22;
    static constexpr size_t DefaultPieceSize = PieceAllocation - PieceHeaderSize;  // 65514

    explicit TBlob(bool isUnicode = false) : FIsUnicode(isUnicode) {}

    bool IsUnicode() const { return FIsUnicode; }
    size_t Size() const;
    size_t PieceCount() const { return FPieces.size(); }
    size_t PieceCapacity(size_t index) const;
    size_t PieceUsed(size_t index) const;

    // Appends an empty piece and returns its whole capacity to be filled (a stream read lands here);
    // CommitPiece then says how many bytes of the last piece hold data.
    std::span<std::byte> AllocPiece(size_t capacity = DefaultPieceSize);
    void CommitPiece(size_t used);

    void Write(size_t position, std::span<const std::byte> bytes);  // position at most Size()
    size_t Read(size_t position, std::span<std::byte> destination) const;
    void Truncate(size_t size);
    void Clear() { FPieces.clear(); }

    std::string AsString() const;         // the bytes
    std::u16string AsWideString() const;  // the bytes as UTF-16 code units

private:
    struct TPiece {
        std::unique_ptr<std::byte[]> Data;
        size_t Capacity = 0;
        size_t Used = 0;
    };
    std::vector<TPiece> FPieces;
    bool FIsUnicode;
};

struct TVarDate {
    double Value = 0;
    bool operator==(const TVarDate&) const = default;
};
using TVariant = std::variant<std::monostate, bool, int32_t, int64_t, double, TVarDate, std::string, std::u16string,
                              std::vector<std::byte>>;

class TVariantObject : public TSharedObject {
public:
    explicit TVariantObject(TVariant value = {}) : Value(std::move(value)) {}
    TVariant Value;
};

// The shared objects a store's records refer to, named by handles (0 is nil). Record references are
// counted with AddRef/Release; callers that keep an object beyond its record hold the shared_ptr.
class TSharedObjects {
public:
    using TRef = uint32_t;
    TRef Add(std::shared_ptr<TSharedObject> object);  // the record's reference (count 1)
    void AddRef(TRef ref);
    void Release(TRef ref);
    std::shared_ptr<TSharedObject> Get(TRef ref) const;  // raises EAssertionError for a dead handle
    size_t LiveCount() const { return FLive; }
    void Clear();

private:
    std::vector<std::shared_ptr<TSharedObject>> FItems;  // slot = handle - 1, not reused before Clear
    size_t FLive = 0;
};

// ---------------------------------------------------------------------------------------------------
// The store

using TRecordSpan = std::span<std::byte>;
using TConstRecordSpan = std::span<const std::byte>;

class TData {
public:
    TData() = default;
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;
    virtual ~TData() = default;

    virtual void InitData();
    virtual void FreeData();

    virtual bool IsEOF() const { return FEOF; }
    virtual bool IsBOF() const { return FBOF; }
    virtual int32_t RecordCount() const { return FRecordCount; }
    virtual int32_t RecNo() const = 0;
    virtual bool SetRecNo(int32_t value) = 0;  // false (position kept) when no such record

    void Open();
    void Close();
    void Prepare();
    void UnPrepare();
    void Reopen();
    virtual void InitFields();
    virtual void ClearFields();

    // Copies one value out of a record by kind into destination and returns the bytes written
    // (with string terminators). An empty destination only reports is-null. A destination too small
    // for the value raises EDatabaseError; nothing is written past its end.
    size_t GetFieldData(int fieldNo, TConstRecordSpan record, bool& isNull, std::span<std::byte> destination) const;
    // The bytes GetFieldData may need for this field (inline kinds; heap values may need more).
    size_t MaxFieldDataSize(int fieldNo) const;

    // The same rules as GetFieldData, for callers that want the value whole.
    // Inline for a plain string field, which every row of a read passes through; the other kinds and
    // the conversions go the general way.
    std::string GetFieldString(int fieldNo, TConstRecordSpan record, bool& isNull) const {  // 1, 20, 29
        // The kind is tested before the layout, so that the layout check is the one of a string.
        const TFieldDesc& f = FieldOf(fieldNo);
        if (f.DataType != DataKind::String || ConvertEOL || (f.Fixed && TrimFixedChar))
            return ConvertedFieldString(CheckField(fieldNo), fieldNo, record, isNull);
        CheckLayout(f);
        CheckRecord(record);
        isNull = StatusWord(fieldNo, record) == FNullStatus;
        if (isNull) return {};
        const char* p = reinterpret_cast<const char*>(record.data() + f.Offset);
        return std::string(p, ::strnlen(p, f.Size - 1));  // the last byte holds the terminator
    }
    std::u16string GetFieldWideString(int fieldNo, TConstRecordSpan record, bool& isNull) const;     // 25, 26
    std::vector<std::byte> GetFieldBytes(int fieldNo, TConstRecordSpan record, bool& isNull) const;  // 21, 22, 23
    std::shared_ptr<TBlob> GetFieldBlob(int fieldNo, TConstRecordSpan record) const;     // 13, 14; nil when null
    TVariant GetFieldVariant(int fieldNo, TConstRecordSpan record, bool& isNull) const;  // 19

    // Writes one value into a record and clears its null status. Characters for kinds 1, 20, 25, 26
    // (UTF-16 code units as bytes for the wide kinds), bytes for 21, 22, 23, at most Size bytes for the
    // fixed kinds. A value that does not fit raises EDatabaseError. By-reference values go to the heap
    // (trimmed when TrimFixedChar is on) and release the value they replace.
    void PutFieldData(int fieldNo, TRecordSpan record, std::span<const std::byte> value);
    void PutFieldString(int fieldNo, TRecordSpan record, std::string_view value);
    void PutFieldWideString(int fieldNo, TRecordSpan record, std::u16string_view value);
    // Stores a shared object (kinds 13, 14: a TBlob; 19: a TVariantObject) and hands the record its
    // reference; the object released from the field's previous value, if any.
    void PutFieldObject(int fieldNo, TRecordSpan record, std::shared_ptr<TSharedObject> object);

    virtual bool GetNull(int fieldNo, TConstRecordSpan record) const;
    virtual void SetNull(int fieldNo, TRecordSpan record, bool value);  // null also releases a by-reference value
    // The raw status word (little-endian). Inline, with the two widths in use read without a call:
    // every value access reads one.
    uint32_t GetStatus(int fieldNo, TConstRecordSpan record) const {
        CheckRecord(record);
        CheckField(fieldNo);
        return StatusWord(fieldNo, record);
    }
    uint32_t StatusOffset(int fieldNo) const;

    void InitRecord(TRecordSpan record);  // zeroed, every field null

    virtual bool GetRecord(TRecordSpan buffer) const = 0;  // false when there is no current record
    virtual void GetNextRecord(TRecordSpan buffer) = 0;    // empty buffer: move only
    // Moves to the following record and returns it in the store with its number, as GetNextRecord,
    // RecNo and CurrentRecord would; an empty span and 0 past the end. One call for a read's every row.
    virtual TConstRecordSpan NextRecord(int32_t& recNo) = 0;
    // The current record in the store itself (empty when there is none); it stays where it is while
    // the store is open, since records are only ever appended.
    virtual TConstRecordSpan CurrentRecord() const = 0;
    virtual void GetPriorRecord(TRecordSpan buffer) = 0;
    virtual void PutRecord(TConstRecordSpan buffer) = 0;  // raises when there is no current record
    virtual void SetToBegin() = 0;
    virtual void SetToEnd() = 0;

    TFieldDescs& Fields() { return FFields; }
    const TFieldDescs& Fields() const { return FFields; }
    int FieldCount() const { return static_cast<int>(FFields.Count()); }
    TStringHeap& StringHeap() { return FStringHeap; }
    const TStringHeap& StringHeap() const { return FStringHeap; }
    TSharedObjects& SharedObjects() { return FObjects; }
    uint32_t DataSize() const { return FDataSize; }
    uint32_t RecordSize() const { return FRecordSize; }
    int32_t RecNoOffset() const { return FRecNoOffset; }
    bool Active() const { return FActive; }
    bool Prepared() const { return FPrepared; }

    bool TrimFixedChar = false;
    bool ConvertEOL = false;  // LF without CR reads as CR LF in string kinds

protected:
    virtual void InternalPrepare() {}
    virtual void InternalUnPrepare() {}
    virtual void InternalOpen() {}
    virtual void InternalClose() {}
    virtual void InternalInitFields() {}
    virtual uint32_t StatusWordSize() const { return 1; }  // per field in the status area
    virtual uint32_t NullStatus() const { return 1; }      // the status that means null
    uint32_t StatusAreaSize() const { return StatusWordSize() * static_cast<uint32_t>(FFields.Count()); }
    virtual void RecordSizeChanged() {}

    // Internal errors: a field number outside 1..FieldCount, a descriptor outside the layout, a record
    // buffer shorter than the record size. Inline because every value access runs them.
    const TFieldDesc& CheckField(int fieldNo) const {
        const TFieldDesc& f = FieldOf(fieldNo);
        CheckLayout(f);
        return f;
    }
    const TFieldDesc& FieldOf(int fieldNo) const {
        if (fieldNo < 1 || static_cast<size_t>(fieldNo) > FFields.Count()) FieldNumberError(fieldNo);
        return FFields[static_cast<size_t>(fieldNo - 1)];
    }
    void CheckLayout(const TFieldDesc& f) const {
        if (uint64_t{f.Offset} + f.Size > FDataSize || f.Size < DataKind::MinimumSize(f.DataType)) LayoutError(f);
    }
    void CheckRecord(TConstRecordSpan record) const {
        if (record.size() < FRecordSize) RecordSizeError();
    }
    // The status word of a field and record already checked.
    uint32_t StatusWord(int fieldNo, TConstRecordSpan record) const {
        const std::byte* p = record.data() + FDataSize + FStatusWidth * static_cast<uint32_t>(fieldNo - 1);
        if (FStatusWidth == 4) return bytes::Load<uint32_t>(p);
        if (FStatusWidth == 1) return bytes::Load<uint8_t>(p);
        uint32_t value = 0;
        std::memcpy(&value, p, FStatusWidth < sizeof value ? FStatusWidth : sizeof value);
        return value;
    }
    std::string ConvertedFieldString(const TFieldDesc& f, int fieldNo, TConstRecordSpan record, bool& isNull) const;
    [[noreturn]] static void FieldNumberError(int fieldNo);
    [[noreturn]] static void LayoutError(const TFieldDesc& field);
    [[noreturn]] static void RecordSizeError();
    void ComputeLayout();
    void SetStatus(int fieldNo, TRecordSpan record, uint32_t value);
    void ReleaseFieldValue(const TFieldDesc& field, TRecordSpan record);
    std::span<const std::byte> HeapData(uint32_t ref) const;

    TFieldDescs FFields;
    TStringHeap FStringHeap;
    TSharedObjects FObjects;
    uint32_t FDataSize = 0;
    uint32_t FRecordSize = 0;
    uint32_t FStatusWidth = 1;  // StatusWordSize(), taken when the layout is computed
    uint32_t FNullStatus = 1;   // NullStatus(), taken with it: GetNull runs for every value read
    int32_t FRecordCount = 0;
    int32_t FRecNoOffset = 0;
    bool FBOF = true;
    bool FEOF = true;
    bool FActive = false;
    bool FPrepared = false;
};

class TMemData : public TData {
public:
    void InitData() override;
    void FreeData() override;

    int32_t RecNo() const override;
    bool SetRecNo(int32_t value) override;

    bool GetRecord(TRecordSpan buffer) const override;
    void GetNextRecord(TRecordSpan buffer) override;
    TConstRecordSpan NextRecord(int32_t& recNo) override;
    void GetPriorRecord(TRecordSpan buffer) override;
    void PutRecord(TConstRecordSpan buffer) override;
    void SetToBegin() override;
    void SetToEnd() override;

    // Reads the next block from the source; a pure in-memory store has nothing more to fetch.
    virtual bool Fetch(bool backwards = false);

    // Appending records. AppendRecord copies one record to a new item at the end. The block path is
    // the fetch's: AllocRecordBlock, fill BlockRecord(block, i) (records are BlockItemSize() apart),
    // then AppendBlock(block, rows) links the first rows items and frees the rest (or the whole block).
    void AppendRecord(TConstRecordSpan record);
    TBlock& AllocRecordBlock(uint16_t itemCount);
    TRecordSpan BlockRecord(TBlock& block, size_t index);
    size_t BlockItemSize() const { return FBlockMan.ItemSize(); }
    void AppendBlock(TBlock& block, uint16_t rows);

    TConstRecordSpan CurrentRecord() const override;
    TRecordSpan CurrentRecord();
    uint32_t SerialNumber() const { return FSerialNumber; }
    TBlockManager& BlockManager() { return FBlockMan; }
    const TBlockManager& BlockManager() const { return FBlockMan; }
    size_t MemoryUsed() const { return FBlockMan.AllocatedBytes() + FStringHeap.AllocatedBytes(); }

protected:
    void RecordSizeChanged() override;

private:
    void LinkAtEnd(TItem item, int32_t count);  // count consecutive items of one block
    TItem NextOf(TItem item) const;
    TItem PriorOf(TItem item) const;

    TBlockManager FBlockMan;
    TItem FFirstItem;
    TItem FLastItem;
    TItem FCurrentItem;
    uint32_t FSerialNumber = 0;
};
