#pragma once
// The generic SQL components: TCustomDASQL (a SQL text with its parameters and macros and the command
// that runs it; standalone or as the SQL part of a dataset) and TCustomDADataSet (a dataset bound to
// a connection that opens or executes its SQL through a provider record set).
#include "data/CRRecordSet.h"
#include "data/DAMacros.h"
#include "data/DAParams.h"
#include "data/DASQLParse.h"
#include "data/DBAccess.h"
#include "data/MemDS.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>

class TCustomDADataSet;

class TCustomDASQL : public TCommandClient, protected TMacrosOwner {
public:
    using TAfterExecuteEvent = std::function<void(TCustomDASQL* sender, bool result)>;

    // With a dataset the SQL text belongs to it and runs through its record set's command; without
    // one the component has a command of its own (CreateICommand) and must be given a connection.
    explicit TCustomDASQL(TCustomDADataSet* dataSet = nullptr);
    ~TCustomDASQL() override;
    TCustomDASQL(const TCustomDASQL&) = delete;
    TCustomDASQL& operator=(const TCustomDASQL&) = delete;

    TStringList& SQL() { return FSQL; }
    const TStringList& SQL() const { return FSQL; }
    TDAParams& Params() { return *FParams; }
    TMacros& Macros() { return FMacros; }
    bool ParamCheck() const { return FParamCheck; }
    void SetParamCheck(bool value);
    // The text the command sends (macros expanded, parameter markers, keywords upper-cased).
    const std::string& FinalSQL() const { return FFinalSQL; }

    // Standalone use.
    TCustomDAConnection* Connection() const { return FConnection; }
    void SetConnection(TCustomDAConnection* connection);
    void Execute();
    int32_t AffectedRows() const { return FAffectedRows; }
    bool Executing() const { return FICommand != nullptr && FICommand->Executing(); }
    void Prepare();
    void UnPrepare();
    bool Prepared() const { return FICommand != nullptr && FICommand->IsPrepared(); }
    TAfterExecuteEvent AfterExecute;

    // TCommandClient
    bool IsPrepared() const override { return Prepared(); }
    void AssignConnectionObject(TCRConnection* object) override;
    void ConnectionDestroyed() override;

    // The command this SQL runs through (the dataset's record set command when owned by a dataset).
    TCRCommand* ICommand() const { return FICommand; }
    void SetICommand(TCRCommand* command) { FICommand = command; }
    // Copies the parameter values into the command's parameter list.
    void AssignParamValues();
    // Rebuilds the text to send and hands it to the command (also used by the owning dataset). With
    // rescanMacros the macro list is rebuilt from the texts first. A lexer error propagates, and the
    // component then refuses to run until the text is set again (RaiseTextError).
    void RebuildText(const std::vector<std::string>& macroOnlyTexts, bool rescanMacros);
    void RaiseTextError() const;

protected:
    // Called once by the SQL Server subclass: the parameter list class and the standalone command.
    void Init(std::unique_ptr<TDAParams> params, std::unique_ptr<TCRCommand> ownCommand);
    void MacroChanged(const TMacro& macro) override;

private:
    void SQLChanged();
    void CheckConnection();

    TCustomDADataSet* FDataSet;
    TStringList FSQL;
    std::unique_ptr<TDAParams> FParams = std::make_unique<TDAParams>();
    TMacros FMacros;
    bool FParamCheck = true;
    std::string FFinalSQL;
    std::exception_ptr FTextError;
    TCustomDAConnection* FConnection = nullptr;
    std::unique_ptr<TCRCommand> FOwnCommand;
    TCRCommand* FICommand = nullptr;
    int32_t FAffectedRows = -1;
};

class TDADataSetOptions {
public:
    virtual ~TDADataSetOptions() = default;

    bool RequiredFields = false;
    bool StrictUpdate = true;
    bool TrimFixedChar = true;
    bool LongStrings = true;
    bool FlatBuffers = false;
    bool RemoveOnRefresh = true;
    bool QueryRecCount = false;
    bool NumberRange = false;
    bool ReturnParams = false;
    bool QuoteNames = false;
    bool SetFieldsReadOnly = false;
};

class TCustomDADataSet : public TMemDataSet, public TDataSetClient {
public:
    using TAfterExecuteEvent = std::function<void(TDataSet* sender, bool result)>;

    TCustomDADataSet();
    ~TCustomDADataSet() override;

    TCustomDAConnection* Connection() const { return FConnection; }
    // Closes and unprepares, leaves the old connection, registers with the new one.
    void SetConnection(TCustomDAConnection* connection);

    TStringList& SQL() { return FCommand->SQL(); }
    const TStringList& SQL() const { return FCommand->SQL(); }
    TDAParams& Params() { return FCommand->Params(); }
    TMacros& Macros() { return FCommand->Macros(); }
    bool ParamCheck() const { return FCommand->ParamCheck(); }
    void SetParamCheck(bool value) { FCommand->SetParamCheck(value); }
    const std::string& FinalSQL() const { return FCommand->FinalSQL(); }

    // Texts that exist on the component and are scanned for macros; the account tool leaves them empty.
    TStringList& SQLInsert() { return FSQLInsert; }
    TStringList& SQLDelete() { return FSQLDelete; }
    TStringList& SQLUpdate() { return FSQLUpdate; }
    TStringList& SQLRefresh() { return FSQLRefresh; }

    bool FetchAll() const { return FFetchAll; }
    void SetFetchAll(bool value);
    int FetchRows() const { return FFetchRows; }
    void SetFetchRows(int value);  // 1..10000, inactive only
    bool UniDirectional() const { return FUniDirectional; }
    void SetUniDirectional(bool value);  // inactive only
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    bool CachedUpdates() const { return FCachedUpdates; }
    void SetCachedUpdates(bool value) { FCachedUpdates = value; }
    bool Debug() const { return FDebug; }
    void SetDebug(bool value) { FDebug = value; }
    const std::string& FilterSQL() const { return FFilterSQL; }
    void SetFilterSQL(const std::string& value) { FFilterSQL = value; }

    // Runs the statement; opens the dataset when it returned rows, else leaves it closed.
    void Execute();
    bool Executing() const;
    // -1 initially and after each open; after Execute the provider's count (0 when it gave none).
    int32_t AffectedRows() const { return FAffectedRows; }
    void Prepare();
    void UnPrepare();
    bool Prepared() const;

    TAfterExecuteEvent AfterExecute;

    virtual TDADataSetOptions& BaseOptions() = 0;
    TCRRecordSet& RecordSet() const { return *FIRecordSet; }

    // TDataSetClient
    void ConnectionChangeNotice(bool connecting) override;
    bool IsActive() const override { return Active(); }
    void AssignConnectionObject(TCRConnection* object) override;
    void ConnectionDestroyed() override;
    bool HoldsProviderRowset() const override;

    // The SQL text changed: close, unprepare, field definitions stale, text rebuilt (called by the SQL
    // list's change event through the SQL component).
    void SQLChanged();
    void MacroChanged(const TMacro& macro);

protected:
    // Called once by the subclass constructor: the SQL component and the record set.
    void Init(std::unique_ptr<TCustomDASQL> command, std::unique_ptr<TCRRecordSet> recordSet);

    void PrepareOpen() override;
    void OpenCursor() override;
    void CloseCursor() override;
    void InternalOpen() override;
    bool RequiredFieldsOption() const override {
        return const_cast<TCustomDADataSet*>(this)->BaseOptions().RequiredFields;
    }

    // Pushes the properties and options that shape fetched data into the record set.
    virtual void SetRecordSetOptions();
    // "Connection is not defined." without a connection; connects a closed one.
    void CheckConnection();

    std::unique_ptr<TCustomDASQL> FCommand;
    TCRRecordSet* FIRecordSet = nullptr;  // owned as the store (FData)
    TCustomDAConnection* FConnection = nullptr;

private:
    std::vector<std::string> MacroOnlyTexts() const;

    TStringList FSQLInsert;
    TStringList FSQLDelete;
    TStringList FSQLUpdate;
    TStringList FSQLRefresh;
    bool FFetchAll = true;
    int FFetchRows = 25;
    bool FUniDirectional = false;
    bool FReadOnly = false;
    bool FCachedUpdates = false;
    bool FDebug = false;
    std::string FFilterSQL;
    int32_t FAffectedRows = -1;
};
