#include "data/DADataSet.h"

#include <string_view>

// ===================================================================================================
// TCustomDASQL

TCustomDASQL::TCustomDASQL(TCustomDADataSet* dataSet) : FDataSet(dataSet), FMacros(this) {
    FSQL.OnChange = [this] { SQLChanged(); };
}

TCustomDASQL::~TCustomDASQL() {
    if (FDataSet == nullptr && FConnection != nullptr) FConnection->UnRegisterClient(this);
}

void TCustomDASQL::Init(std::unique_ptr<TDAParams> params, std::unique_ptr<TCRCommand> ownCommand) {
    if (params) FParams = std::move(params);
    if (FDataSet == nullptr) {
        FOwnCommand = std::move(ownCommand);
        FICommand = FOwnCommand.get();
    }
}

void TCustomDASQL::SetParamCheck(bool value) {
    if (value == FParamCheck) return;
    FParamCheck = value;
    SQLChanged();
}

void TCustomDASQL::SQLChanged() {
    if (FDataSet != nullptr) {
        FDataSet->SQLChanged();
        return;
    }
    UnPrepare();
    RebuildText({}, true);
}

void TCustomDASQL::RebuildText(const std::vector<std::string>& macroOnlyTexts, bool rescanMacros) {
    const std::string sql = FSQL.Text();
    TSQLSource source;
    source.SQL = sql;
    for (const auto& text : macroOnlyTexts) source.MacroOnlyTexts.emplace_back(text);
    source.ParamCheck = FParamCheck;
    source.NameQuotes = FDataSet != nullptr ? QueryParamNameQuotes : CommandParamNameQuotes;
    try {
        FFinalSQL =
            rescanMacros ? SQLTextChanged(source, FMacros, *FParams) : BuildCommandText(source, FMacros, *FParams);
        FTextError = nullptr;
    } catch (...) {
        // Nothing of the old statement may run in place of the text that could not be read.
        FFinalSQL.clear();
        FTextError = std::current_exception();
        if (FICommand != nullptr) FICommand->SetSQL(FFinalSQL);
        throw;
    }
    if (FICommand != nullptr) FICommand->SetSQL(FFinalSQL);
}

void TCustomDASQL::RaiseTextError() const {
    if (FTextError) std::rethrow_exception(FTextError);
}

void TCustomDASQL::MacroChanged(const TMacro& macro) {
    if (FDataSet != nullptr) {
        FDataSet->MacroChanged(macro);
        return;
    }
    RebuildText({}, false);
}

void TCustomDASQL::SetConnection(TCustomDAConnection* connection) {
    if (connection == FConnection) return;
    UnPrepare();
    if (FConnection != nullptr) FConnection->UnRegisterClient(this);
    FConnection = connection;
    if (FICommand != nullptr) FICommand->SetConnection(nullptr);
    if (FConnection != nullptr) FConnection->RegisterClient(this);
}

void TCustomDASQL::AssignConnectionObject(TCRConnection* object) {
    if (FICommand != nullptr) FICommand->SetConnection(object);
}

void TCustomDASQL::ConnectionDestroyed() {
    FConnection = nullptr;
    if (FICommand != nullptr) FICommand->SetConnection(nullptr);
}

void TCustomDASQL::CheckConnection() {
    if (FConnection == nullptr) throw EDatabaseError(SConnectionNotDefined);
    if (!FConnection->Connected()) FConnection->Connect();
}

void TCustomDASQL::AssignParamValues() {
    if (FICommand == nullptr) return;
    auto& target = FICommand->Params();
    target.clear();
    for (size_t i = 0; i < FParams->Count(); ++i) {
        const TDAParam& param = (*FParams)[i];
        TParamDesc& desc = FICommand->AddParam();
        desc.Name = param.Name();
        const TParamValue& value = param.Value();
        if (const auto* b = std::get_if<bool>(&value))
            desc.Value = *b;
        else if (const auto* s = std::get_if<std::string>(&value))
            desc.Value = *s;
        else if (const auto* l = std::get_if<int64_t>(&value))
            desc.Value = std::to_string(*l);
        else if (const auto* d = std::get_if<double>(&value))
            desc.Value = std::to_string(*d);
    }
}

void TCustomDASQL::Execute() {
    if (Executing()) return;
    RaiseTextError();
    CheckConnection();
    if (FSQL.Count() == 0) throw EDatabaseError(SNoSQLStatement);
    if (FICommand == nullptr) throw EDatabaseError(SNoCommand);
    AssignParamValues();
    try {
        FICommand->Execute();
    } catch (...) {
        TellExecutionFailed(AfterExecute, this);
        throw;
    }
    TPropValue rows;
    FICommand->GetProp(CRProp::AffectedRows, rows);
    FAffectedRows = std::get<int32_t>(rows);
    if (AfterExecute) AfterExecute(this, true);
}

void TCustomDASQL::Prepare() {
    if (Prepared()) return;
    RaiseTextError();
    CheckConnection();
    if (FICommand == nullptr) throw EDatabaseError(SNoCommand);
    FICommand->Prepare();
}

void TCustomDASQL::UnPrepare() {
    if (FICommand != nullptr && FDataSet == nullptr) FICommand->Unprepare();
}

// ===================================================================================================
// TCustomDADataSet

TCustomDADataSet::TCustomDADataSet() = default;

TCustomDADataSet::~TCustomDADataSet() {
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the record set releases its provider objects regardless.
    }
    if (FConnection != nullptr) FConnection->UnRegisterClient(this);
}

void TCustomDADataSet::Init(std::unique_ptr<TCustomDASQL> command, std::unique_ptr<TCRRecordSet> recordSet) {
    FCommand = std::move(command);
    // The record set lives on in FData; cppcheck loses track of it through the move.
    // cppcheck-suppress danglingLifetime
    FIRecordSet = recordSet.get();
    FData = std::move(recordSet);
    // cppcheck-suppress danglingLifetime
    FCommand->SetICommand(&FIRecordSet->GetCommand());
}

void TCustomDADataSet::SetConnection(TCustomDAConnection* connection) {
    if (connection == FConnection) return;
    Close();
    UnPrepare();
    if (FConnection != nullptr) FConnection->UnRegisterClient(this);
    FConnection = connection;
    FIRecordSet->SetConnection(nullptr);
    if (FConnection != nullptr) FConnection->RegisterClient(this);
}

std::vector<std::string> TCustomDADataSet::MacroOnlyTexts() const {
    return {FSQLInsert.Text(), FSQLUpdate.Text(), FSQLDelete.Text(), FSQLRefresh.Text()};
}

void TCustomDADataSet::SQLChanged() {
    Close();
    UnPrepare();
    FFieldDefs.Updated = false;
    FCommand->RebuildText(MacroOnlyTexts(), true);
}

void TCustomDADataSet::MacroChanged(const TMacro& macro) {
    if (Active() && !SQLUsesMacro(SQL().Text(), macro.Name())) return;
    FCommand->RebuildText(MacroOnlyTexts(), false);
}

void TCustomDADataSet::SetFetchAll(bool value) {
    if (value == FFetchAll) return;
    if (value) FUniDirectional = false;
    FFetchAll = value;
    if (Active() && value) {
        FIRecordSet->SetProp(CRProp::FetchAll, true);
        FIRecordSet->FetchAll();
    }
}

void TCustomDADataSet::SetFetchRows(int value) {
    if (value == FFetchRows) return;
    CheckInactive();
    if (value < 1 || value > 10000) throw EDatabaseError(SFetchRowsRange);
    FFetchRows = value;
}

void TCustomDADataSet::SetUniDirectional(bool value) {
    if (value == FUniDirectional) return;
    CheckInactive();
    FUniDirectional = value;
    if (value) FFetchAll = false;
}

void TCustomDADataSet::SetRecordSetOptions() {
    TCRRecordSet& rs = *FIRecordSet;
    const TDADataSetOptions& options = BaseOptions();
    rs.SetProp(CRProp::UniDirectional, FUniDirectional);
    rs.SetProp(CRProp::FetchRows, static_cast<int32_t>(FFetchRows));
    rs.SetProp(CRProp::FetchAll, FFetchAll);
    rs.SetProp(CRProp::LongStrings, options.LongStrings);
    rs.SetProp(CRProp::KeepEmptyStrings, true);
    rs.SetProp(CRProp::FlatBuffers, options.FlatBuffers);
    rs.SetProp(CRProp::FilterText, FFilterSQL);
    rs.TrimFixedChar = options.TrimFixedChar;
}

void TCustomDADataSet::CheckConnection() {
    if (FConnection == nullptr) throw EDatabaseError(SConnectionNotDefined);
    if (!FConnection->Connected()) FConnection->Connect();
}

void TCustomDADataSet::PrepareOpen() { SetRecordSetOptions(); }

void TCustomDADataSet::OpenCursor() {
    if (SQL().Count() == 0) throw EDatabaseError(SNoSQLStatement);
    FCommand->RaiseTextError();
    CheckConnection();
    FCommand->AssignParamValues();
    TMemDataSet::OpenCursor();
}

void TCustomDADataSet::InternalOpen() {
    TMemDataSet::InternalOpen();
    FAffectedRows = -1;
}

void TCustomDADataSet::CloseCursor() {
    std::exception_ptr failure;
    try {
        TMemDataSet::CloseCursor();
    } catch (...) {
        failure = std::current_exception();
    }
    FIRecordSet->DiscardResult();
    if (failure) std::rethrow_exception(failure);
}

bool TCustomDADataSet::Executing() const { return FIRecordSet->GetCommand().Executing(); }

void TCustomDADataSet::Execute() {
    if (Executing()) return;
    CheckConnection();
    if (Active()) Close();
    if (FIRecordSet->IsQuery()) {
        Open();
        return;
    }
    try {
        FCommand->RaiseTextError();
        SetRecordSetOptions();
        FCommand->AssignParamValues();
        FIRecordSet->ExecCommand();
        if (FIRecordSet->IsQuery()) {
            // The rows of this same execution are read by the open; the statement does not run again.
            FIRecordSet->InitFields();
            Open();
        } else {
            FIRecordSet->GetCommand().SetCursorState(csIdle);
        }
    } catch (...) {
        FIRecordSet->DiscardResult();
        TellExecutionFailed(AfterExecute, this);
        throw;
    }
    TPropValue rows;
    FIRecordSet->GetCommand().GetProp(CRProp::AffectedRows, rows);
    FAffectedRows = std::get<int32_t>(rows);
    if (AfterExecute) AfterExecute(this, true);
}

void TCustomDADataSet::Prepare() {
    if (Prepared()) return;
    FCommand->RaiseTextError();
    CheckConnection();
    SetRecordSetOptions();
    FIRecordSet->GetCommand().Prepare();
    FIRecordSet->Prepare();
}

void TCustomDADataSet::UnPrepare() {
    if (!FIRecordSet->Prepared() && !FIRecordSet->GetCommand().IsPrepared()) return;
    FIRecordSet->UnPrepare();
    FIRecordSet->GetCommand().Unprepare();
}

bool TCustomDADataSet::Prepared() const { return FIRecordSet->Prepared(); }

void TCustomDADataSet::ConnectionChangeNotice(bool connecting) {
    if (connecting) return;
    Close();
    UnPrepare();
    FFieldDefs.Updated = false;
}

void TCustomDADataSet::AssignConnectionObject(TCRConnection* object) {
    if (Active()) {
        try {
            Close();
        } catch (...) {
            // The old connection object is leaving; its errors no longer matter.
        }
    }
    FIRecordSet->SetConnection(object);
}

void TCustomDADataSet::ConnectionDestroyed() {
    try {
        Close();
    } catch (...) {
        // The connection is going away with everything it handed out.
    }
    FConnection = nullptr;
    FIRecordSet->SetConnection(nullptr);
}

bool TCustomDADataSet::HoldsProviderRowset() const { return FIRecordSet->HoldsRowset(); }
