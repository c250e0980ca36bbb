#pragma once
// The SQL Server query components: TMSQuery (a dataset that opens or executes its SQL text on a
// TMSConnection) with its bases TCustomMSDataSet and options TMSDataSetOptions, the SQL component
// TMSSQL and the parameter list TMSParams.
//
// What the account pages use (the run statement step is SQL().SetText(statement) then Execute()):
//   query.SetConnection(&connection);
//   query.SQL().SetText("SELECT uid FROM lin2db.dbo.user_auth WHERE account = 'x'");
//   query.Open();                        // runs, describes and reads every row
//   query.RecordCount(); query.EndOfData(); query.Next();
//   query.Fields()[0].AsString(); query.Fields()[0].AsInteger();
//   query.Close();
//   query.Execute();                     // INSERT / UPDATE / DELETE: runs, the dataset stays closed
#include "data/DADataSet.h"
#include "data/MSAccess.h"
#include "data/OLEDBRecordSet.h"

#include <memory>
#include <string>

class TMSParam : public TDAParam {
public:
    using TDAParam::TDAParam;
    TFieldType DataType = TFieldType::ftUnknown;

    void AssignValue(const TDAParam& source) override {
        TDAParam::AssignValue(source);
        if (const auto* ms = dynamic_cast<const TMSParam*>(&source)) DataType = ms->DataType;
    }
};

class TMSParams : public TDAParams {
public:
    std::unique_ptr<TDAParams> CreateEmpty() const override { return std::make_unique<TMSParams>(); }

protected:
    std::unique_ptr<TDAParam> CreateParam(std::string name) const override {
        return std::make_unique<TMSParam>(std::move(name));
    }
};

class TCustomMSDataSet;

// The SQL part of a SQL Server dataset, or a command component of its own (the connection's private
// command) that runs its text through a TOLEDBCommand.
class TMSSQL : public TCustomDASQL {
public:
    explicit TMSSQL(TCustomMSDataSet* dataSet = nullptr);

    TMSConnection* Connection() const { return static_cast<TMSConnection*>(TCustomDASQL::Connection()); }
    void SetConnection(TMSConnection* connection) { TCustomDASQL::SetConnection(connection); }
};

class TMSDataSetOptions : public TDADataSetOptions {
public:
    bool EnableBCD = false;
    bool UniqueRecords = false;
    bool CursorUpdate = true;
    bool QueryIdentity = true;
    bool CheckRowVersion = false;
    bool FullRefresh = false;
};

class TCustomMSDataSet : public TCustomDADataSet {
public:
    TCustomMSDataSet();
    ~TCustomMSDataSet() override;

    TMSConnection* Connection() const { return static_cast<TMSConnection*>(FConnection); }
    void SetConnection(TMSConnection* connection) { TCustomDADataSet::SetConnection(connection); }

    TCursorType CursorType() const { return FCursorType; }
    void SetCursorType(TCursorType value);  // inactive only
    int CommandTimeout() const { return FCommandTimeout; }
    void SetCommandTimeout(int seconds);
    int RefreshOptions() const { return FRefreshOptions; }
    void SetRefreshOptions(int value) { FRefreshOptions = value; }

    TMSDataSetOptions& Options() { return FOptions; }
    const TMSDataSetOptions& Options() const { return FOptions; }
    TDADataSetOptions& BaseOptions() override { return FOptions; }

    TMSSQL& SQLComponent() { return static_cast<TMSSQL&>(*FCommand); }
    TOLEDBRecordSet& OLEDBRecordSet() { return static_cast<TOLEDBRecordSet&>(*FIRecordSet); }

protected:
    void SetRecordSetOptions() override;

private:
    TMSDataSetOptions FOptions;
    TCursorType FCursorType = TCursorType::ctDefaultResultSet;
    int FCommandTimeout = 0;
    int FRefreshOptions = 0;
};

class TMSQuery : public TCustomMSDataSet {
public:
    TMSQuery() = default;
};
