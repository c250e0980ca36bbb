#pragma once
// The OLE DB command and record set: TOLEDBCommand turns one statement into a provider command and
// executes it on the session of an open TOLEDBConnection; TOLEDBRecordSet describes the result's
// columns, maps them onto data kinds and reads the rows, a block of FetchRows at a time, into the
// record store.
//
// Only the default result set (no server cursor) is supported; other cursor types and parameter
// binding are refused with EDatabaseError, since the provider seam offers neither.
#include "data/CRRecordSet.h"
#include "data/OLEDBAccess.h"
#include "data/provider/Provider.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The field descriptor with what the provider said about its column.
class TOLEDBFieldDesc : public TFieldDesc {
public:
    provider::DBTYPE ProviderType = provider::DBTYPE_EMPTY;
    uint32_t ProviderFlags = 0;  // DBCOLUMNFLAGS_*
    bool IsFixedLength = false;
    bool IsNullable = true;
    bool IsRowVersion = false;
    bool IsWritable = false;
    bool IsAutoIncrement = false;
    uint8_t Precision = 0;
    bool ReadByStream = false;  // blob or long memo read through the long-data sink
    std::string BaseCatalogName;
    std::string BaseSchemaName;
    std::string BaseTableName;
    std::string BaseColumnName;
};

class TOLEDBCommand : public TCRCommand {
public:
    // Called with true after a successful Execute and with false when Execute raised.
    using TAfterExecuteProc = std::function<void(bool succeeded)>;

    TOLEDBCommand();
    ~TOLEDBCommand() override;

    void Prepare() override;
    void Unprepare() override;
    bool IsPrepared() const override { return FPrepared; }
    void Execute() override;
    void SetConnection(TCRConnection* connection) override;
    bool SetProp(int prop, const TPropValue& value) override;
    bool GetProp(int prop, TPropValue& value) const override;

    // Hands a result code to the connection's result check (which raises on failure); 0 is not passed on.
    void Check(provider::HRESULT hr, provider::InterfaceId interfaceId = provider::InterfaceId::None);

    // The command's provider interfaces are acquired and released in pairs; the first acquire creates
    // the provider command, the last release drops it.
    void GetInterfaces();
    void ReleaseInterfaces();
    // Sends a rowset property set to the provider command (the interfaces must be held).
    void ApplyProperties(TOLEDBPropertiesSet& set);
    int InterfaceUseCount() const { return FUseCount; }

    TOLEDBConnection* Connection() const { return FConnection; }
    int32_t AffectedRows() const { return FAffectedRows; }
    int32_t CommandTimeout() const { return FCommandTimeout; }

    // The result of the last execution (owned here): the rowset, and the object that holds the rest
    // of the batch's results while the rowset is read.
    provider::Rowset* ResultRowset() const { return FIUnknown.get(); }
    bool HasMultipleResults() const { return FIMultipleResults != nullptr; }
    // Drops the rowset; with `drain`, reads the batch's remaining results first (so statements after
    // the SELECT still run) and hands their failures to the result check.
    void ReleaseResult(bool drain);

    TAfterExecuteProc AfterExecute;
    bool RequestResult = false;       // true for the command a record set creates
    bool UseMultipleResults = false;  // set by the record set before executing

private:
    void SetCommandText();
    void CheckConnection() const;

    TOLEDBConnection* FConnection = nullptr;
    int32_t FUseCount = 0;
    uint8_t FCommandOption = 0;   // property 1027
    uint8_t FCommandOption2 = 0;  // property 1029
    bool FDescribeParams = false;
    int32_t FCommandTimeout = 0;
    std::mutex FLockCommandText;
    std::unique_ptr<provider::Command> FICommandText;
    std::unique_ptr<provider::Rowset> FIUnknown;
    std::unique_ptr<provider::MultipleResults> FIMultipleResults;
    int32_t FAffectedRows = -1;
};

class TOLEDBRecordSet : public TCRRecordSet {
public:
    TOLEDBRecordSet();
    ~TOLEDBRecordSet() override;

    TCRCommand& GetCommand() override { return *FCommand; }
    TOLEDBCommand& Command() { return *FCommand; }
    void SetConnection(TCRConnection* connection) override;
    void ExecCommand() override;
    bool IsQuery() const override { return FResultState == rsResultSet; }
    bool Fetch(bool backwards = false) override;
    bool SetProp(int prop, const TPropValue& value) override;
    bool GetProp(int prop, TPropValue& value) const override;

    int ResultState() const { return FResultState; }
    void DiscardResult() override;
    bool HoldsRowset() const override;
    const TOLEDBFieldDesc& FieldDesc(int fieldNo) const;  // 1-based

    // The status text of a DBSTATUS value as error messages show it ("" for the harmless ones).
    static std::string StatusText(uint32_t status);

protected:
    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFields() override;
    uint32_t StatusWordSize() const override { return 4; }
    uint32_t NullStatus() const override { return provider::DBSTATUS_S_ISNULL; }

private:
    struct TStagedField;
    class TBlobSink;

    void CheckCursorType() const;
    void SetRowsetProperties();
    void DescribeColumns();
    // The field's kind and record room for a column; false for a column no kind can hold.
    bool DescribeField(const provider::ColumnInfo& column, TOLEDBFieldDesc& field) const;
    static void DescribeColumnFlags(const provider::ColumnInfo& column, TOLEDBFieldDesc& field);
    bool DescribeText(const provider::ColumnInfo& column, TOLEDBFieldDesc& field) const;
    bool DescribeBytes(const provider::ColumnInfo& column, TOLEDBFieldDesc& field) const;
    void DescribeNumeric(const provider::ColumnInfo& column, TOLEDBFieldDesc& field) const;
    static bool DescribeFixedSize(provider::DBTYPE type, TOLEDBFieldDesc& field);
    void DescribeLongValue(uint16_t kind, TOLEDBFieldDesc& field) const;
    uint16_t ReferenceSize() const;  // record room of a value held by reference
    void QueryRecordSetInterfaces();
    void BuildAccessors();
    bool NeedsStaging() const;
    static bool IsStreamed(const TOLEDBFieldDesc& field);
    static bool IsStaged(const TOLEDBFieldDesc& field);
    static bool IsFinishedAfterFetch(uint16_t kind);
    void BindStream(const TOLEDBFieldDesc& field, provider::Binding& binding) const;
    static void BindStaged(const TOLEDBFieldDesc& field, provider::Binding& binding);
    void BindDirect(const TOLEDBFieldDesc& field, provider::Binding& binding) const;
    size_t StageAt(int fieldNo, size_t slot, provider::Binding& binding);
    void AllocateStaging(size_t rowSize);
    void CreateSink();
    void FreeAccessors();
    void ReleaseRowset(bool drain);
    size_t FetchIntoBlock(TBlock& block, provider::HRESULT& hr, std::string& statusLines);
    void CopyStagedFields(std::byte* stagingRow, TRecordSpan record);
    void FinishRecord(TRecordSpan record);
    void CheckFetchResult(provider::HRESULT hr, const std::string& statusLines);
    // One line per field with an error status, from the first row that has one ("" when none).
    std::string StatusLines(const std::byte* rows, size_t rowSize, size_t rowCount) const;

    std::unique_ptr<TOLEDBCommand> FCommand;
    provider::Rowset* FIRowset = nullptr;  // the command's result rowset while it is read
    int FResultState = rsUnknown;

    // Accessors: the direct bindings go straight into records; when staged or stream fields exist the
    // block is read into the staging buffer instead, whose rows start with a record image.
    bool FAccessorsBuilt = false;
    std::vector<provider::Binding> FBindings;
    std::vector<TStagedField> FStaged;
    std::vector<size_t> FStreamFields;  // 1-based field numbers, in binding order after the others
    size_t FStagingRowSize = 0;
    size_t FRecordImageSize = 0;
    std::vector<std::byte> FStagingBuffer;
    std::unique_ptr<TBlobSink> FSink;
    std::vector<int> FPostFetchFields;  // kinds 22, 28, 29 finished after each block

    bool FMoreRowsMayFollow = true;

    // Properties from 1000 on.
    bool FReadOnly = false;
    bool FEnableBCD = false;
    bool FEnableFMTBCD = false;
    bool FUniqueRecords = false;
    TCursorType FCursorType = TCursorType::ctDefaultResultSet;
    bool FColumnsRowset = false;
    bool FCursorUpdate = true;
    bool FKeepResultInterfaces = false;
    bool FRefreshOption = false;
    bool FWideStrings = true;
};
