#include "data/MSQuery.h"

TMSSQL::TMSSQL(TCustomMSDataSet* dataSet) : TCustomDASQL(dataSet) {
    std::unique_ptr<TCRCommand> command;
    if (dataSet == nullptr) command = std::make_unique<TOLEDBCommand>();
    Init(std::make_unique<TMSParams>(), std::move(command));
}

TCustomMSDataSet::TCustomMSDataSet() { Init(std::make_unique<TMSSQL>(this), std::make_unique<TOLEDBRecordSet>()); }

TCustomMSDataSet::~TCustomMSDataSet() {
    // Closed here, while the record set and the overrides still exist.
    try {
        Close();
    } catch (...) {}
}

void TCustomMSDataSet::SetCursorType(TCursorType value) {
    if (value == FCursorType) return;
    CheckInactive();
    FCursorType = value;
}

void TCustomMSDataSet::SetCommandTimeout(int seconds) {
    if (seconds == FCommandTimeout) return;
    if (seconds < 0) throw EDatabaseError(SNegativeCommandTimeout);
    FCommandTimeout = seconds;
    FIRecordSet->SetProp(CRProp::CommandTimeout, static_cast<int32_t>(seconds));
}

void TCustomMSDataSet::SetRecordSetOptions() {
    TCustomDADataSet::SetRecordSetOptions();
    TCRRecordSet& rs = *FIRecordSet;
    const TDANumericType numericType =
        Connection() != nullptr ? Connection()->Options().NumericType() : TDANumericType::ntFloat;
    rs.SetProp(CRProp::ReadOnly, ReadOnly());
    rs.SetProp(CRProp::EnableBCD, FOptions.EnableBCD || numericType != TDANumericType::ntFloat);
    rs.SetProp(CRProp::UniqueRecords, FOptions.UniqueRecords);
    rs.SetProp(CRProp::CursorType, static_cast<int32_t>(FCursorType));
    rs.SetProp(CRProp::ColumnsRowset, true);
    rs.SetProp(CRProp::CursorUpdate, FOptions.CursorUpdate);
    rs.SetProp(CRProp::CommandTimeout, static_cast<int32_t>(FCommandTimeout));
    rs.SetProp(CRProp::RefreshOption, (FRefreshOptions & 2) != 0);
    rs.SetProp(CRProp::EnableFMTBCD, numericType == TDANumericType::ntFmtBCD);
}
