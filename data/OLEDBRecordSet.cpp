#include "data/OLEDBRecordSet.h"

#include "common/ByteAccess.h"
#include "common/Format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace provider;

namespace {

using bytes::Load;
using bytes::Store;

constexpr size_t AlignUp(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

uint16_t Clamp16(uint32_t value) { return static_cast<uint16_t>(std::min<uint32_t>(value, 0xFFFF)); }

// Values that a direct binding can leave as they are; the others are refused or need finishing.
bool StatusHasValue(uint32_t status) { return status == DBSTATUS_S_OK || status == DBSTATUS_S_TRUNCATED; }

bool IsLong(const ColumnInfo& column) { return (column.flags & DBCOLUMNFLAGS_ISLONG) != 0; }

// Largest staged value accepted for a variant (its text form).
constexpr size_t VariantTextRoom = 8000;

}  // namespace

// ===================================================================================================
// TOLEDBCommand

TOLEDBCommand::TOLEDBCommand() = default;

TOLEDBCommand::~TOLEDBCommand() {
    // Results go before the command they came from; nothing here may throw.
    FIUnknown.reset();
    FIMultipleResults.reset();
    FICommandText.reset();
}

void TOLEDBCommand::SetConnection(TCRConnection* connection) {
    auto* object = dynamic_cast<TOLEDBConnection*>(connection);
    if (object == FConnection) return;
    // Whatever the old connection handed out belongs to its session.
    FIUnknown.reset();
    FIMultipleResults.reset();
    {
        std::lock_guard lock(FLockCommandText);
        FICommandText.reset();
    }
    FUseCount = 0;
    FCursorState = csIdle;
    FPrepared = false;
    FConnection = object;
}

void TOLEDBCommand::CheckConnection() const {
    if (FConnection == nullptr || FConnection->GetSession() == nullptr) throw EDatabaseError(SConnectionClosed);
}

void TOLEDBCommand::Check(HRESULT hr, InterfaceId interfaceId) {
    if (hr == S_OK) return;
    if (FConnection == nullptr) {
        RaiseProviderFailure(hr, interfaceId, Format(SOLEDBError, static_cast<unsigned>(hr)));
    }
    FConnection->Check(hr, interfaceId);
}

void TOLEDBCommand::GetInterfaces() {
    if (FUseCount == 0) {
        CheckConnection();
        std::unique_ptr<provider::Command> command;
        Check(FConnection->GetSession()->CreateCommand(command), InterfaceId::IDBCreateCommand);
        if (!command) throw EAssertionError("FICommandText must be set after CreateCommand");
        std::lock_guard lock(FLockCommandText);
        FICommandText = std::move(command);
    }
    ++FUseCount;
}

void TOLEDBCommand::ReleaseInterfaces() {
    if (FUseCount == 0) return;
    if (FUseCount == 1) {
        std::lock_guard lock(FLockCommandText);
        FICommandText.reset();
    }
    --FUseCount;
}

void TOLEDBCommand::SetCommandText() {
    if (!FICommandText) throw EAssertionError("FICommandText must be set before the command text");
    Check(FICommandText->SetCommandText(FSQL), InterfaceId::ICommandText);
    TOLEDBPropertiesSet set(*FConnection, PropertySetId::Rowset);
    set.AddPropInt(DBPROP_COMMANDTIMEOUT, FCommandTimeout);
    set.SetProperties(*FICommandText);
}

void TOLEDBCommand::ApplyProperties(TOLEDBPropertiesSet& set) {
    if (!FICommandText) throw EAssertionError("FICommandText must be set before its properties");
    set.SetProperties(*FICommandText);
}

void TOLEDBCommand::Prepare() {
    if (FPrepared) return;
    // The seam has no server-side preparation: a prepared command keeps its provider command and
    // text until Unprepare, which is all that executing it again needs.
    GetInterfaces();
    try {
        SetCommandText();
    } catch (...) {
        ReleaseInterfaces();
        throw;
    }
    FDescribeParams = (FCommandOption & 1) != 0;
    FPrepared = true;
}

void TOLEDBCommand::Unprepare() {
    if (!FPrepared) return;
    FPrepared = false;
    ReleaseInterfaces();
}

void TOLEDBCommand::Execute() {
    if (FCursorState != csIdle) return;  // the outstanding rowset is the result
    bool acquired = false;
    FExecuting = true;
    try {
        CheckConnection();
        GetInterfaces();
        acquired = true;
        if (!FPrepared) SetCommandText();
        if (!FParams.empty()) {
            throw EDatabaseError(Format(SParametersUnsupported, static_cast<int>(FParams.size())));
        }
        const ExecuteMode mode = !RequestResult       ? ExecuteMode::NoResult
                                 : UseMultipleResults ? ExecuteMode::MultipleResults
                                                      : ExecuteMode::Rowset;
        ExecuteResult result;
        FAffectedRows = -1;
        const HRESULT hr = FICommandText->Execute(mode, result);
        if (hr == DB_E_OBJECTOPEN) RaiseProviderFailure(hr, InterfaceId::ICommand, SPreviousResultOpen);
        Check(hr, InterfaceId::ICommand);
        FAffectedRows = result.affectedRows;
        if (RequestResult) {
            if (result.results) {
                FIMultipleResults = std::move(result.results);
            } else if (result.rowset) {
                FIUnknown = std::move(result.rowset);
            }
        }
        if (FIMultipleResults) {
            // Row-count results (INSERT, UPDATE, DELETE) are skipped up to the first result set.
            for (;;) {
                int32_t rows = -1;
                std::unique_ptr<Rowset> rowset;
                const HRESULT step = FIMultipleResults->GetResult(rows, rowset);
                if (step != DB_S_NORESULT) Check(step, InterfaceId::IMultipleResults);
                if (rowset) {
                    FIUnknown = std::move(rowset);
                    break;
                }
                if (step != S_OK) break;
                if (rows >= 0) FAffectedRows = rows;
            }
            if (!FIUnknown) FIMultipleResults.reset();
        }
        FCursorState = FIUnknown ? csRowsetOutstanding : csIdle;
        ReleaseInterfaces();
        acquired = false;
        FExecuting = false;
    } catch (...) {
        FExecuting = false;
        FIUnknown.reset();
        FIMultipleResults.reset();
        FCursorState = csIdle;
        if (acquired) ReleaseInterfaces();
        TellExecutionFailed(AfterExecute);
        throw;
    }
    if (AfterExecute) AfterExecute(true);
}

void TOLEDBCommand::ReleaseResult(bool drain) {
    FIUnknown.reset();
    if (!FIMultipleResults) return;
    auto results = std::move(FIMultipleResults);
    if (!drain) return;
    for (;;) {
        int32_t rows = -1;
        std::unique_ptr<Rowset> rowset;
        const HRESULT hr = results->GetResult(rows, rowset);
        if (hr == DB_S_NORESULT) break;
        if (hr != S_OK) {
            Check(hr, InterfaceId::IMultipleResults);
            break;
        }
    }
}

bool TOLEDBCommand::SetProp(int prop, const TPropValue& value) {
    switch (prop) {
    case CRProp::CommandTimeout: {
        const int32_t seconds = PropAsInt(value);
        if (seconds < 0) throw EDatabaseError(SNegativeCommandTimeout);
        FCommandTimeout = seconds;
        return true;
    }
    case CRProp::CommandOption: FCommandOption = static_cast<uint8_t>(PropAsInt(value)); return true;
    case CRProp::CommandOption2: FCommandOption2 = static_cast<uint8_t>(PropAsInt(value)); return true;
    default: return TCRCommand::SetProp(prop, value);
    }
}

bool TOLEDBCommand::GetProp(int prop, TPropValue& value) const {
    switch (prop) {
    case CRProp::CommandTimeout: value = FCommandTimeout; return true;
    case CRProp::CommandOption: value = static_cast<int32_t>(FCommandOption); return true;
    case CRProp::CommandOption2: value = static_cast<int32_t>(FCommandOption2); return true;
    case CRProp::AffectedRows: value = FAffectedRows == -1 ? 0 : FAffectedRows; return true;
    case CRProp::IsStoredProc: value = false; return true;
    default: return TCRCommand::GetProp(prop, value);
    }
}

// ===================================================================================================
// TOLEDBRecordSet

// A staged field: where its status, length and value sit in a staging row.
struct TOLEDBRecordSet::TStagedField {
    int FieldNo = 0;
    size_t Slot = 0;  // status (4), length (4), then the value
    size_t MaxLength = 0;
    bool Wide = false;
};

// Collects the long values of stream bindings during one block fetch.
class TOLEDBRecordSet::TBlobSink : public LongDataSink {
public:
    void Reset(size_t rows, const std::vector<Binding>& bindings, const std::vector<bool>& unicode) {
        FBindingCount = bindings.size();
        FUnicode = unicode;
        FBlobs.assign(rows * FBindingCount, nullptr);
    }
    void Piece(size_t row, size_t binding, std::string_view bytes) override {
        auto& blob = Slot(row, binding);
        if (!blob) blob = std::make_shared<TBlob>(FUnicode.at(binding));
        auto room = blob->AllocPiece(std::max(bytes.size(), size_t{1}));
        std::memcpy(room.data(), bytes.data(), bytes.size());
        blob->CommitPiece(bytes.size());
    }
    void End(size_t row, size_t binding, bool isNull) override {
        auto& blob = Slot(row, binding);
        if (isNull) {
            blob.reset();
        } else if (!blob) {
            blob = std::make_shared<TBlob>(FUnicode.at(binding));
        }
    }
    std::shared_ptr<TBlob> Take(size_t row, size_t binding) { return std::move(Slot(row, binding)); }
    void Drop() { std::fill(FBlobs.begin(), FBlobs.end(), nullptr); }

private:
    std::shared_ptr<TBlob>& Slot(size_t row, size_t binding) {
        const size_t index = row * FBindingCount + binding;
        if (binding >= FBindingCount || index >= FBlobs.size()) throw EAssertionError("Long value outside the block");
        return FBlobs[index];
    }
    size_t FBindingCount = 0;
    std::vector<bool> FUnicode;
    std::vector<std::shared_ptr<TBlob>> FBlobs;
};

TOLEDBRecordSet::TOLEDBRecordSet() : FCommand(std::make_unique<TOLEDBCommand>()) {
    FCommand->RequestResult = true;
    FFetchAll = false;
    FFlatBuffers = true;
}

TOLEDBRecordSet::~TOLEDBRecordSet() {
    FIRowset = nullptr;
    FSink.reset();
}

void TOLEDBRecordSet::SetConnection(TCRConnection* connection) {
    if (dynamic_cast<TOLEDBConnection*>(connection) == FCommand->Connection()) return;
    FreeAccessors();
    FIRowset = nullptr;
    FResultState = rsUnknown;
    FCommand->SetConnection(connection);
}

const TOLEDBFieldDesc& TOLEDBRecordSet::FieldDesc(int fieldNo) const {
    return static_cast<const TOLEDBFieldDesc&>(CheckField(fieldNo));
}

bool TOLEDBRecordSet::HoldsRowset() const { return FIRowset != nullptr || FCommand->ResultRowset() != nullptr; }

void TOLEDBRecordSet::CheckCursorType() const {
    if (FCursorType != TCursorType::ctDefaultResultSet) throw EDatabaseError(SServerCursorsUnsupported);
}

void TOLEDBRecordSet::SetRowsetProperties() {
    TOLEDBConnection* connection = FCommand->Connection();
    if (connection == nullptr) return;
    // What a forward-only default result set needs: columns read in any order, multiple results, and
    // none of the cursor behaviours.
    TOLEDBPropertiesSet set(*connection, PropertySetId::Rowset);
    set.AddPropInt(DBPROP_ACCESSORDER, DBPROPVAL_AO_RANDOM);
    set.AddPropBool(DBPROP_UNIQUEROWS, FUniqueRecords || !FReadOnly);
    set.AddPropBool(DBPROP_IColumnsRowset, FColumnsRowset);
    set.AddPropBool(DBPROP_IMultipleResults, true);
    for (PropertyId id : {DBPROP_SERVERCURSOR, DBPROP_OWNINSERT, DBPROP_OTHERINSERT, DBPROP_OTHERUPDATEDELETE,
                          DBPROP_OWNUPDATEDELETE, DBPROP_IRowsetChange, DBPROP_IRowsetUpdate})
        set.AddPropBool(id, false);
    FCommand->ApplyProperties(set);
    FCommand->UseMultipleResults = true;
}

void TOLEDBRecordSet::ExecCommand() {
    CheckCursorType();
    FCommand->GetInterfaces();
    try {
        if (!Prepared() && !FCommand->HasMultipleResults()) SetRowsetProperties();
        FCommand->Execute();
        FResultState = (FCommand->ResultRowset() != nullptr || FIRowset != nullptr) ? rsResultSet : rsNoResultSet;
        if (FResultState == rsNoResultSet) FCommand->SetCursorState(csIdle);
    } catch (...) {
        FCommand->ReleaseInterfaces();
        if (FResultState != rsResultSet) FCommand->SetCursorState(csIdle);
        throw;
    }
    FCommand->ReleaseInterfaces();
}

void TOLEDBRecordSet::InternalOpen() {
    CheckCursorType();
    FMoreRowsMayFollow = true;
    // Held for the life of the open; Close gives them back.
    FCommand->GetInterfaces();
    try {
        const int stateBefore = FResultState;
        ExecCommand();
        if (stateBefore != rsResultSet) InitFields();
        if (FFetchAll) {
            FetchAll();
        } else {
            Fetch(false);
        }
    } catch (...) {
        // Nothing of a failed open may keep the connection busy.
        try {
            ReleaseRowset(false);
        } catch (...) {
            // The open's own error is the one to report.
        }
        FCommand->SetCursorState(csIdle);
        if (!Prepared()) FResultState = rsUnknown;
        FCommand->ReleaseInterfaces();
        throw;
    }
}

void TOLEDBRecordSet::InternalClose() {
    std::exception_ptr failure;
    try {
        ReleaseRowset(false);
    } catch (...) {
        failure = std::current_exception();
    }
    FCommand->SetCursorState(csIdle);
    if (!Prepared()) FResultState = rsUnknown;
    FCommand->ReleaseInterfaces();
    if (failure) std::rethrow_exception(failure);
}

void TOLEDBRecordSet::DiscardResult() {
    if (Active()) return;  // an open record set gives its result back in Close
    FreeAccessors();
    FIRowset = nullptr;
    FCommand->ReleaseResult(false);
    FCommand->SetCursorState(csIdle);
    if (!Prepared()) FResultState = rsUnknown;
}

void TOLEDBRecordSet::InternalInitFields() { DescribeColumns(); }

void TOLEDBRecordSet::DescribeColumns() {
    Rowset* rowset = FIRowset != nullptr ? FIRowset : FCommand->ResultRowset();
    if (rowset == nullptr) return;  // no result set: no fields
    std::vector<ColumnInfo> columns;
    FCommand->Check(rowset->GetColumnInfo(columns), InterfaceId::IColumnsInfo);
    for (const auto& column : columns) {
        auto field = std::make_unique<TOLEDBFieldDesc>();
        if (!DescribeField(column, *field)) {
            throw EDatabaseError(Format(SUnknownFieldType, column.name.c_str(), static_cast<unsigned>(column.type)));
        }
        FFields.Add(std::move(field));
    }
}

bool TOLEDBRecordSet::DescribeField(const ColumnInfo& c, TOLEDBFieldDesc& f) const {
    DescribeColumnFlags(c, f);
    switch (c.type) {
    case DBTYPE_STR:
    case DBTYPE_WSTR: return DescribeText(c, f);
    case DBTYPE_BYTES: return DescribeBytes(c, f);
    case DBTYPE_NUMERIC:
    case DBTYPE_DECIMAL: DescribeNumeric(c, f); return true;
    default: return DescribeFixedSize(c.type, f);
    }
}

void TOLEDBRecordSet::DescribeColumnFlags(const ColumnInfo& c, TOLEDBFieldDesc& f) {
    f.Name = c.name;
    f.ActualName = c.name;
    f.FieldNo = Clamp16(c.ordinal);
    f.ProviderType = c.type;
    f.ProviderFlags = c.flags;
    f.IsFixedLength = (c.flags & DBCOLUMNFLAGS_ISFIXEDLENGTH) != 0;
    f.IsNullable = (c.flags & (DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL)) != 0;
    f.IsRowVersion = (c.flags & DBCOLUMNFLAGS_ISROWVER) != 0;
    f.IsWritable = (c.flags & (DBCOLUMNFLAGS_WRITE | DBCOLUMNFLAGS_WRITEUNKNOWN)) != 0;
    f.IsAutoIncrement = c.isAutoIncrement;
    f.Fixed = f.IsFixedLength;
    f.Required = !f.IsNullable;
    f.ReadOnly = !f.IsWritable;
    f.Precision = c.precision;
    f.BaseCatalogName = c.baseCatalogName;
    f.BaseSchemaName = c.baseSchemaName;
    f.BaseTableName = c.baseTableName;
    f.BaseColumnName = c.baseColumnName;
}

uint16_t TOLEDBRecordSet::ReferenceSize() const {
    return FReadOnly ? 4 : 8;  // a writable record keeps the provider length after the reference
}

void TOLEDBRecordSet::DescribeLongValue(uint16_t kind, TOLEDBFieldDesc& f) const {
    f.DataType = kind;
    f.ReadByStream = true;
    f.Size = ReferenceSize();
}

bool TOLEDBRecordSet::DescribeText(const ColumnInfo& c, TOLEDBFieldDesc& f) const {
    const bool wide = c.type == DBTYPE_WSTR;
    if (wide) f.SubDataType |= DataKind::SubTypeWide;
    if (IsLong(c)) {
        DescribeLongValue(DataKind::Memo, f);
        f.SubDataType = static_cast<uint16_t>((f.SubDataType & DataKind::SubTypeWide) | DataKind::SubTypeStream);
        return true;
    }
    if (!FLongStrings && c.columnSize >= 256) {
        f.DataType = DataKind::Memo;
        f.Length = Clamp16(c.columnSize);
        f.Size = ReferenceSize();
        return true;
    }
    f.Length = Clamp16(std::max<uint32_t>(c.columnSize, 1));
    const bool asWide = wide && FWideStrings;
    const uint32_t size = asWide ? 2u * f.Length + 2 : f.Length + 1u;
    if (!FFlatBuffers && size >= 32 && FCursorType == TCursorType::ctDefaultResultSet) {
        f.DataType = asWide ? DataKind::ExtWideString : DataKind::ExtString;
        f.Size = 4;
        return true;
    }
    if (size > 0xFFFF) return false;
    f.DataType = asWide ? DataKind::WideString : DataKind::String;
    f.Size = static_cast<uint16_t>(size);
    return true;
}

bool TOLEDBRecordSet::DescribeBytes(const ColumnInfo& c, TOLEDBFieldDesc& f) const {
    if (IsLong(c)) {
        DescribeLongValue(DataKind::Blob, f);
        return true;
    }
    f.Length = Clamp16(std::max<uint32_t>(c.columnSize, 1));
    const uint16_t lengthSlot = ReferenceSize() - 4;
    if (f.IsFixedLength) {
        if (f.Length + lengthSlot > 0xFFFF) return false;
        f.DataType = DataKind::Bytes;
        f.Size = static_cast<uint16_t>(f.Length + lengthSlot);
    } else if (f.Length < 32 || FFlatBuffers || FCursorType != TCursorType::ctDefaultResultSet) {
        if (f.Length + 6u > 0xFFFF) return false;
        f.DataType = DataKind::VarBytes;
        f.Size = static_cast<uint16_t>(f.Length + 6);
    } else {
        f.DataType = DataKind::ExtVarBytes;
        f.Size = 8;
    }
    return true;
}

void TOLEDBRecordSet::DescribeNumeric(const ColumnInfo& c, TOLEDBFieldDesc& f) const {
    f.Length = c.precision;
    f.Scale = c.scale;
    TOLEDBConnection* connection = FCommand->Connection();
    const int providerMajor = connection != nullptr ? connection->ProviderPrimaryVer() : 8;
    if (providerMajor < 8 && c.precision == 19) {
        f.DataType = DataKind::Largeint;
        f.Size = 8;
    } else if (FEnableBCD && FEnableFMTBCD) {
        // The provider's text lands here first: sign, digits, point and terminator must fit.
        f.DataType = DataKind::FMTBCD;
        f.Size = static_cast<uint16_t>(std::max<uint32_t>(sizeof(TBcd), c.precision + 3u));
    } else if (FEnableBCD) {
        f.DataType = DataKind::BCD;
        f.Size = 8;
    } else {
        f.DataType = DataKind::Float;
        f.Size = 8;
    }
}

// Column types whose values take a fixed room in the record: their kind, that room, and the length and
// scale a field of them shows.
bool TOLEDBRecordSet::DescribeFixedSize(DBTYPE type, TOLEDBFieldDesc& f) {
    struct Shape {
        DBTYPE Type;
        uint16_t Kind;
        uint16_t Size;
        uint16_t Length;
        uint16_t Scale;
    };
    static constexpr Shape Shapes[] = {
        {DBTYPE_I2, DataKind::Smallint, 2, 0, 0},     {DBTYPE_I4, DataKind::Integer, 4, 0, 0},
        {DBTYPE_UI2, DataKind::Integer, 4, 0, 0},     {DBTYPE_UI4, DataKind::Integer, 4, 0, 0},
        {DBTYPE_R4, DataKind::Float, 8, 7, 0},        {DBTYPE_R8, DataKind::Float, 8, 15, 0},
        {DBTYPE_DATE, DataKind::DateTime, 8, 0, 0},   {DBTYPE_DBTIMESTAMP, DataKind::DateTime, 8, 0, 0},
        {DBTYPE_UI1, DataKind::Word, 2, 0, 0},        {DBTYPE_BOOL, DataKind::Boolean, 2, 0, 0},
        {DBTYPE_I8, DataKind::Largeint, 8, 0, 0},     {DBTYPE_CY, DataKind::Currency, 8, 19, 4},
        {DBTYPE_VARIANT, DataKind::Variant, 4, 0, 0}, {DBTYPE_GUID, DataKind::Guid, 39, 38, 0},
    };
    const auto* shape =
        std::find_if(std::begin(Shapes), std::end(Shapes), [&](const Shape& s) { return s.Type == type; });
    if (shape == std::end(Shapes)) return false;
    f.DataType = shape->Kind;
    f.Size = shape->Size;
    // Kinds without a length or scale of their own keep the field's.
    if (shape->Length != 0) f.Length = shape->Length;
    if (shape->Scale != 0) f.Scale = shape->Scale;
    return true;
}

void TOLEDBRecordSet::QueryRecordSetInterfaces() {
    if (FIRowset != nullptr) throw EAssertionError("Duplicate call to TOLEDBRecordSet.QueryRecordSetInterfaces");
    FIRowset = FCommand->ResultRowset();
}

void TOLEDBRecordSet::BuildAccessors() {
    FBindings.clear();
    FStaged.clear();
    FStreamFields.clear();
    FPostFetchFields.clear();
    // With staged or stream fields the block is read into the staging buffer, whose rows begin with a
    // record image (direct fields at their record offsets) followed by the staged slots.
    FRecordImageSize = AlignUp(RecordSize(), 8);
    size_t slot = FRecordImageSize;
    for (int i = 1; i <= FieldCount(); ++i) {
        const auto& f = FieldDesc(i);
        Binding b;
        b.ordinal = f.FieldNo;
        b.valueOffset = f.Offset;
        b.statusOffset = StatusOffset(i);
        b.maxLength = f.Size;
        if (IsStreamed(f)) {
            BindStream(f, b);
            FStreamFields.push_back(static_cast<size_t>(i));
        } else if (IsStaged(f)) {
            BindStaged(f, b);
            slot = StageAt(i, slot, b);
        } else {
            BindDirect(f, b);
            if (IsFinishedAfterFetch(f.DataType)) FPostFetchFields.push_back(i);
        }
        FBindings.push_back(b);
    }
    AllocateStaging(NeedsStaging() ? slot : 0);
    CreateSink();
    FAccessorsBuilt = true;
}

bool TOLEDBRecordSet::NeedsStaging() const {
    for (int i = 1; i <= FieldCount(); ++i) {
        const auto& f = FieldDesc(i);
        const uint16_t kind = f.DataType;
        if (f.ReadByStream || kind == DataKind::Memo || kind == DataKind::Variant || DataKind::IsByReference(kind))
            return true;
    }
    return false;
}

bool TOLEDBRecordSet::IsStreamed(const TOLEDBFieldDesc& f) {
    return (f.DataType == DataKind::Blob || f.DataType == DataKind::Memo) && f.ReadByStream;
}

// Fields held by reference (and variants) are read into a staging slot and moved into the store.
bool TOLEDBRecordSet::IsStaged(const TOLEDBFieldDesc& f) {
    switch (f.DataType) {
    case DataKind::Blob:
    case DataKind::Memo: return !f.ReadByStream;
    case DataKind::ExtString:
    case DataKind::ExtWideString:
    case DataKind::ExtVarBytes:
    case DataKind::Variant: return true;
    default: return false;
    }
}

// Kinds the provider writes in a form of its own that each record's value is made from after the fetch.
bool TOLEDBRecordSet::IsFinishedAfterFetch(uint16_t kind) {
    return kind == DataKind::FMTBCD || kind == DataKind::Guid || kind == DataKind::VarBytes;
}

void TOLEDBRecordSet::BindStream(const TOLEDBFieldDesc& f, Binding& b) const {
    const bool wide = (f.SubDataType & DataKind::SubTypeWide) != 0;
    b.type = f.DataType == DataKind::Blob ? DBTYPE_BYTES : wide ? DBTYPE_WSTR : DBTYPE_STR;
    b.stream = true;
    b.maxLength = 0;
    if (!FReadOnly) b.lengthOffset = f.Offset + 4;
}

void TOLEDBRecordSet::BindStaged(const TOLEDBFieldDesc& f, Binding& b) {
    const bool wide = (f.SubDataType & DataKind::SubTypeWide) != 0;
    switch (f.DataType) {
    case DataKind::Blob:
    case DataKind::Memo:
        b.type = wide ? DBTYPE_WSTR : DBTYPE_STR;
        b.maxLength = wide ? 2u * f.Length + 2 : f.Length + 1u;
        break;
    case DataKind::ExtString:
        b.type = DBTYPE_STR;
        b.maxLength = f.Length + 1u;
        break;
    case DataKind::ExtWideString:
        b.type = DBTYPE_WSTR;
        b.maxLength = 2u * f.Length + 2;
        break;
    case DataKind::ExtVarBytes:
        b.type = DBTYPE_BYTES;
        b.maxLength = f.Length;
        break;
    default:
        // The seam has no variant binding; the value comes as its text.
        b.type = DBTYPE_STR;
        b.maxLength = VariantTextRoom + 1;
        break;
    }
}

void TOLEDBRecordSet::BindDirect(const TOLEDBFieldDesc& f, Binding& b) const {
    switch (f.DataType) {
    case DataKind::String: b.type = DBTYPE_STR; break;
    case DataKind::WideString: b.type = DBTYPE_WSTR; break;
    case DataKind::Smallint:
    case DataKind::Word: b.type = DBTYPE_I2; break;
    case DataKind::Integer: b.type = DBTYPE_I4; break;
    case DataKind::Float:
    case DataKind::Currency: b.type = DBTYPE_R8; break;
    case DataKind::DateTime: b.type = DBTYPE_DATE; break;
    case DataKind::Boolean: b.type = DBTYPE_BOOL; break;
    case DataKind::Largeint: b.type = DBTYPE_I8; break;
    case DataKind::BCD: b.type = DBTYPE_CY; break;
    case DataKind::FMTBCD: b.type = DBTYPE_STR; break;
    case DataKind::Guid:
        b.type = DBTYPE_GUID;
        b.maxLength = 16;
        break;
    case DataKind::Bytes:
        b.type = DBTYPE_BYTES;
        b.maxLength = f.Length;
        if (!FReadOnly) b.lengthOffset = f.Offset + f.Length;
        break;
    case DataKind::VarBytes:
        b.type = DBTYPE_BYTES;
        b.valueOffset = f.Offset + 2;
        b.maxLength = f.Length;
        b.lengthOffset = f.Offset + 2 + f.Length;
        break;
    default: throw EAssertionError(Format("Field %s has no binding for kind %d", f.Name.c_str(), f.DataType));
    }
}

// Gives a staged binding its slot in the staging row; returns where the next slot starts.
size_t TOLEDBRecordSet::StageAt(int fieldNo, size_t slot, Binding& b) {
    TStagedField s;
    s.FieldNo = fieldNo;
    s.Slot = slot;
    s.MaxLength = b.maxLength;
    s.Wide = b.type == DBTYPE_WSTR;
    b.statusOffset = slot;
    b.lengthOffset = slot + 4;
    b.valueOffset = slot + 8;
    FStaged.push_back(s);
    return AlignUp(slot + 8 + b.maxLength, 8);
}

void TOLEDBRecordSet::AllocateStaging(size_t rowSize) {
    FStagingRowSize = rowSize;
    if (rowSize != 0) {
        FStagingBuffer.assign(rowSize * static_cast<size_t>(FFetchRows), std::byte{0});
    } else {
        FStagingBuffer.clear();
    }
}

void TOLEDBRecordSet::CreateSink() {
    if (FStreamFields.empty()) {
        FSink.reset();
        return;
    }
    std::vector<bool> unicode;
    for (const auto& b : FBindings) unicode.push_back(b.stream && b.type == DBTYPE_WSTR);
    FSink = std::make_unique<TBlobSink>();
    FSink->Reset(static_cast<size_t>(FFetchRows), FBindings, unicode);
}

void TOLEDBRecordSet::FreeAccessors() {
    FAccessorsBuilt = false;
    FBindings.clear();
    FStaged.clear();
    FStreamFields.clear();
    FPostFetchFields.clear();
    FStagingBuffer.clear();
    FStagingBuffer.shrink_to_fit();
    FStagingRowSize = 0;
    FSink.reset();
}

void TOLEDBRecordSet::ReleaseRowset(bool drain) {
    FreeAccessors();
    FIRowset = nullptr;
    FCommand->ReleaseResult(drain);
}

bool TOLEDBRecordSet::Fetch(bool backwards) {
    if (FieldCount() == 0) throw EDatabaseError(SNotOneResultSet);
    if (!FAccessorsBuilt) {
        if (FIRowset == nullptr) QueryRecordSetInterfaces();
        if (FIRowset == nullptr) return false;
        BuildAccessors();
    }
    if (FIRowset == nullptr || backwards) return false;  // a default result set reads forwards only

    const auto failFetch = [&] {
        FMoreRowsMayFollow = false;
        if (backwards)
            FBOF = true;
        else
            FEOF = true;
        try {
            ReleaseRowset(false);
        } catch (...) {
            // The fetch's own error is the one to report.
        }
    };
    TBlock& block = AllocRecordBlock(static_cast<uint16_t>(FFetchRows));
    size_t rows = 0;
    HRESULT hr = S_OK;
    std::string statusLines;
    try {
        rows = FetchIntoBlock(block, hr, statusLines);
    } catch (...) {
        BlockManager().FreeBlock(block);
        failFetch();
        throw;
    }
    // Rows that came before a failure are kept; the failure is reported after them.
    AppendBlock(block, static_cast<uint16_t>(rows));
    try {
        CheckFetchResult(hr, statusLines);
    } catch (...) {
        failFetch();
        throw;
    }
    if (rows < static_cast<size_t>(FFetchRows)) {
        // End of data: the cursor is closed and the connection is free for the next statement.
        FMoreRowsMayFollow = false;
        try {
            ReleaseRowset(true);
        } catch (...) {
            FEOF = true;
            throw;
        }
    }
    return rows > 0;
}

size_t TOLEDBRecordSet::FetchIntoBlock(TBlock& block, HRESULT& hr, std::string& statusLines) {
    const size_t maxRows = static_cast<size_t>(FFetchRows);
    const bool staging = FStagingRowSize != 0;
    std::byte* rows = staging ? FStagingBuffer.data() : BlockRecord(block, 0).data();
    const size_t rowSize = staging ? FStagingRowSize : BlockItemSize();
    if (staging) {
        // Statuses and values of a previous block must not show through in rows the provider skips.
        std::memset(rows, 0, FStagingBuffer.size());
    }
    size_t fetched = 0;
    hr = FIRowset->FetchBlock(FBindings, rows, rowSize, maxRows, fetched, FSink.get());
    fetched = std::min(fetched, maxRows);
    if (hr != S_OK && hr != DB_S_ENDOFROWSET) {
        // The statuses of the rows read and of the row that failed, for the error message.
        statusLines = StatusLines(rows, rowSize, std::min(fetched + 1, maxRows));
    }
    // The provider wrote the records whole: nothing is left to do per row.
    if (!staging && FPostFetchFields.empty()) return fetched;
    try {
        for (size_t r = 0; r < fetched; ++r) {
            TRecordSpan record = BlockRecord(block, r);
            if (staging) {
                std::byte* stagingRow = rows + r * rowSize;
                std::memcpy(record.data(), stagingRow, RecordSize());
                CopyStagedFields(stagingRow, record);
                for (size_t fieldNo : FStreamFields) {
                    const auto& f = FieldDesc(static_cast<int>(fieldNo));
                    Store<uint32_t>(record.data() + f.Offset, 0);
                    auto blob = FSink->Take(r, fieldNo - 1);
                    const uint32_t status = GetStatus(static_cast<int>(fieldNo), record);
                    if (blob && StatusHasValue(status)) {
                        PutFieldObject(static_cast<int>(fieldNo), record, std::move(blob));
                        SetStatus(static_cast<int>(fieldNo), record, status);
                    }
                }
            }
            FinishRecord(record);
        }
    } catch (...) {
        // Values already moved into records of this block belong to nobody once it is dropped.
        for (size_t r = 0; r < fetched; ++r) {
            TRecordSpan record = BlockRecord(block, r);
            for (int i = 1; i <= FieldCount(); ++i) {
                const uint16_t kind = FFields[static_cast<size_t>(i - 1)].DataType;
                if (staging && (DataKind::IsByReference(kind) || DataKind::IsSharedObject(kind))) {
                    ReleaseFieldValue(FFields[static_cast<size_t>(i - 1)], record);
                }
            }
        }
        if (FSink) FSink->Drop();
        throw;
    }
    return fetched;
}

void TOLEDBRecordSet::CopyStagedFields(std::byte* stagingRow, TRecordSpan record) {
    for (const auto& s : FStaged) {
        const auto& f = FieldDesc(s.FieldNo);
        const std::byte* slot = stagingRow + s.Slot;
        const uint32_t status = Load<uint32_t>(slot);
        const size_t length = Load<uint32_t>(slot + 4);
        const std::byte* value = slot + 8;
        std::byte* target = record.data() + f.Offset;
        Store<uint32_t>(target, 0);
        SetStatus(s.FieldNo, record, status);
        if (!StatusHasValue(status)) continue;
        switch (f.DataType) {
        case DataKind::ExtString: {
            const size_t chars = std::min(length, s.MaxLength - 1);
            Store<uint32_t>(target, FStringHeap.AllocStr(reinterpret_cast<const char*>(value), TrimFixedChar,
                                                         static_cast<int>(chars)));
            break;
        }
        case DataKind::ExtWideString: {
            const size_t units = std::min(length / 2, (s.MaxLength - 2) / 2);
            std::u16string text(units, u'\0');
            std::memcpy(text.data(), value, units * 2);
            Store<uint32_t>(target, FStringHeap.AllocWideStr(std::u16string_view(text), TrimFixedChar));
            break;
        }
        case DataKind::ExtVarBytes: {
            const size_t bytes = std::min(length, s.MaxLength);
            const auto ref = FStringHeap.Alloc(bytes + 2);
            auto data = FStringHeap.Data(ref);
            Store<uint16_t>(data.data(), static_cast<uint16_t>(bytes));
            std::memcpy(data.data() + 2, value, bytes);
            Store<uint32_t>(target, ref);
            break;
        }
        case DataKind::Memo: {
            const size_t room = s.Wide ? s.MaxLength - 2 : s.MaxLength - 1;
            const size_t bytes = std::min(length, room);
            auto blob = std::make_shared<TBlob>(s.Wide);
            blob->Write(0, std::span<const std::byte>(value, bytes));
            PutFieldObject(s.FieldNo, record, std::move(blob));
            SetStatus(s.FieldNo, record, status);
            break;
        }
        case DataKind::Variant: {
            const size_t chars = std::min(length, s.MaxLength - 1);
            auto object =
                std::make_shared<TVariantObject>(TVariant(std::string(reinterpret_cast<const char*>(value), chars)));
            PutFieldObject(s.FieldNo, record, std::move(object));
            SetStatus(s.FieldNo, record, status);
            break;
        }
        default: throw EAssertionError("Field " + f.Name + " is not a staged field");
        }
    }
}

void TOLEDBRecordSet::FinishRecord(TRecordSpan record) {
    for (int fieldNo : FPostFetchFields) {
        const auto& f = FieldDesc(fieldNo);
        std::byte* p = record.data() + f.Offset;
        const uint32_t status = GetStatus(fieldNo, record);
        if (!StatusHasValue(status)) continue;
        switch (f.DataType) {
        case DataKind::VarBytes: {
            const uint32_t length = Load<uint32_t>(p + 2 + f.Length);
            Store<uint16_t>(p, static_cast<uint16_t>(std::min<uint32_t>(length, f.Length)));
            break;
        }
        case DataKind::FMTBCD: {
            std::string text(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), f.Size));
            const char separator = LocaleDecimalSeparatorChar();
            std::replace(text.begin(), text.end(), '.', separator);
            TBcd bcd;
            if (!TBcd::FromString(text, separator, static_cast<uint8_t>(f.Length), static_cast<uint8_t>(f.Scale),
                                  bcd)) {
                throw EDatabaseError(Format(SFieldValueStatus, fieldNo - 1, f.Name.c_str(),
                                            StatusText(DBSTATUS_E_CANTCONVERTVALUE).c_str(),
                                            static_cast<unsigned>(DBSTATUS_E_CANTCONVERTVALUE)));
            }
            std::memset(p, 0, f.Size);
            std::memcpy(p, &bcd, sizeof bcd);
            break;
        }
        case DataKind::Guid: {
            uint8_t g[16];
            std::memcpy(g, p, sizeof g);
            uint32_t d1;
            uint16_t d2;
            uint16_t d3;
            std::memcpy(&d1, g, 4);
            std::memcpy(&d2, g + 4, 2);
            std::memcpy(&d3, g + 6, 2);
            char text[40];
            std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", d1, d2, d3, g[8],
                          g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
            std::memcpy(p, text, 39);
            break;
        }
        default: break;
        }
    }
}

std::string TOLEDBRecordSet::StatusText(uint32_t status) {
    switch (status) {
    case DBSTATUS_S_OK:
    case DBSTATUS_S_ISNULL:
    case DBSTATUS_E_UNAVAILABLE:
    case DBSTATUS_S_DEFAULT: return {};
    case DBSTATUS_E_BADACCESSOR: return "bad accessor";
    case DBSTATUS_E_CANTCONVERTVALUE: return "invalid Value";
    case DBSTATUS_S_TRUNCATED: return "data truncated";
    case DBSTATUS_E_SIGNMISMATCH: return "sign mismatch";
    case DBSTATUS_E_DATAOVERFLOW: return "data overflow";
    case DBSTATUS_E_CANTCREATE:
        return "the provider could not allocate memory in which to return data or a storage object was already open "
               "on the rowset. ";
    case DBSTATUS_E_PERMISSIONDENIED: return "user did not have permission to write to the column";
    case DBSTATUS_E_INTEGRITYVIOLATION: return "the data value violates the integrity constraints for the column";
    case DBSTATUS_E_SCHEMAVIOLATION: return "the data value violates the schema's constraint for the column";
    case DBSTATUS_E_BADSTATUS: return "bad status";
    default: return "unknown status";
    }
}

void TOLEDBRecordSet::CheckFetchResult(HRESULT hr, const std::string& statusLines) {
    if (hr == S_OK || hr == DB_S_ENDOFROWSET || hr == DB_S_ROWLIMITEXCEEDED) return;
    TOLEDBConnection* connection = FCommand->Connection();
    if (hr == DB_E_NOTINITIALIZED && connection != nullptr && connection->ProviderPrimaryVer() == 7) return;
    try {
        FCommand->Check(hr, InterfaceId::IRowset);
    } catch (EAbort&) {
        if (hr == DB_S_ERRORSOCCURRED) return;
        throw;
    } catch (Exception& error) {
        // Some values could not be read: the rest of the block stands, with their statuses.
        if (hr == DB_S_ERRORSOCCURRED) return;
        error.Message += statusLines;
        throw;
    }
}

std::string TOLEDBRecordSet::StatusLines(const std::byte* rows, size_t rowSize, size_t rowCount) const {
    const auto statusOf = [&](const std::byte* row, int fieldNo) -> uint32_t {
        for (const auto& s : FStaged)
            if (s.FieldNo == fieldNo) return Load<uint32_t>(row + s.Slot);
        return Load<uint32_t>(row + StatusOffset(fieldNo));
    };
    for (size_t r = 0; r < rowCount; ++r) {
        const std::byte* row = rows + r * rowSize;
        std::string lines;
        for (int i = 1; i <= FieldCount(); ++i) {
            const uint32_t status = statusOf(row, i);
            const std::string text = StatusText(status);
            if (text.empty()) continue;
            const auto& f = FFields[static_cast<size_t>(i - 1)];
            const std::string name = f.Name.empty() ? std::to_string(i - 1) : ":" + f.Name;
            lines += "\n" + Format("Field[%d] %s - %s (Status = %Xh).", i - 1, name.c_str(), text.c_str(),
                                   static_cast<unsigned>(status));
        }
        if (!lines.empty()) return lines;
    }
    return {};
}

bool TOLEDBRecordSet::SetProp(int prop, const TPropValue& value) {
    switch (prop) {
    case CRProp::ReadOnly: FReadOnly = PropAsBool(value); return true;
    case CRProp::EnableBCD: FEnableBCD = PropAsBool(value); return true;
    case CRProp::UniqueRecords: FUniqueRecords = PropAsBool(value); return true;
    case CRProp::CursorType: {
        const int32_t type = PropAsInt(value);
        if (type < 0 || type > 3) throw EAssertionError("Cursor type " + std::to_string(type));
        FCursorType = static_cast<TCursorType>(type);
        if (FCursorType != TCursorType::ctDefaultResultSet) FFetchAll = false;
        return true;
    }
    case CRProp::ColumnsRowset: FColumnsRowset = PropAsBool(value); return true;
    case CRProp::CursorUpdate: FCursorUpdate = PropAsBool(value); return true;
    case CRProp::KeepResultInterfaces: FKeepResultInterfaces = PropAsBool(value); return true;
    case CRProp::CommandTimeout: return FCommand->SetProp(prop, value);
    case CRProp::RefreshOption: FRefreshOption = PropAsBool(value); return true;
    case CRProp::WideStrings: FWideStrings = PropAsBool(value); return true;
    case CRProp::EnableFMTBCD: FEnableFMTBCD = PropAsBool(value); return true;
    case CRProp::CommandOption: return FCommand->SetProp(prop, value);
    default: return TCRRecordSet::SetProp(prop, value);
    }
}

bool TOLEDBRecordSet::GetProp(int prop, TPropValue& value) const {
    switch (prop) {
    case CRProp::ReadOnly: value = FReadOnly; return true;
    case CRProp::EnableBCD: value = FEnableBCD; return true;
    case CRProp::UniqueRecords: value = FUniqueRecords; return true;
    case CRProp::CursorType: value = static_cast<int32_t>(FCursorType); return true;
    case CRProp::ColumnsRowset: value = FColumnsRowset; return true;
    case CRProp::CursorUpdate: value = FCursorUpdate; return true;
    case CRProp::KeepResultInterfaces: value = FKeepResultInterfaces; return true;
    case CRProp::CommandTimeout: return FCommand->GetProp(prop, value);
    case CRProp::RefreshOption: value = FRefreshOption; return true;
    case CRProp::WideStrings: value = FWideStrings; return true;
    case CRProp::EnableFMTBCD: value = FEnableFMTBCD; return true;
    case CRProp::CommandOption: return FCommand->GetProp(prop, value);
    default: return TCRRecordSet::GetProp(prop, value);
    }
}
