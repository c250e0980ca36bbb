#pragma once
// Abstract bases of the provider-level command and record set: TCRCommand (one statement, its
// properties and parameters) and TCRRecordSet (a record store that a command fills). The OLE DB
// implementations are TOLEDBCommand and TOLEDBRecordSet (data/OLEDBRecordSet.h).
#include "data/CRAccess.h"
#include "data/MemData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Property values as the command and record set take them; a value of the wrong kind is an internal error.
bool PropAsBool(const TPropValue& value);
int32_t PropAsInt(const TPropValue& value);

// Property ids shared by commands and record sets (SetProp / GetProp).
namespace CRProp {
// TCRCommand
inline constexpr int OptionFlag = 5;     // a plain option flag of the base command
inline constexpr int IsStoredProc = 11;  // always false here
inline constexpr int AffectedRows = 13;  // 0 while unknown
inline constexpr int Executing = 24;     // the command is inside Execute
// TCRRecordSet
inline constexpr int UniDirectional = 20;
inline constexpr int FetchRows = 21;
inline constexpr int FetchAll = 22;
inline constexpr int LongStrings = 25;
inline constexpr int KeepEmptyStrings = 26;  // off: writing "" into a string field stores null
inline constexpr int FlatBuffers = 27;
inline constexpr int FilterText = 29;
// TOLEDBCommand / TOLEDBRecordSet
inline constexpr int ReadOnly = 1006;
inline constexpr int EnableBCD = 1007;
inline constexpr int UniqueRecords = 1008;
inline constexpr int CursorType = 1009;
inline constexpr int ColumnsRowset = 1010;
inline constexpr int CursorUpdate = 1012;
inline constexpr int KeepResultInterfaces = 1013;
inline constexpr int CommandTimeout = 1015;
inline constexpr int RefreshOption = 1021;
inline constexpr int WideStrings = 1022;
inline constexpr int EnableFMTBCD = 1025;
inline constexpr int CommandOption = 1027;
inline constexpr int CommandOption2 = 1029;
}  // namespace CRProp

enum class TCursorType : int32_t { ctDefaultResultSet = 0, ctStatic = 1, ctKeyset = 2, ctDynamic = 3 };

// Command states (GetCursorState / SetCursorState).
inline constexpr int csIdle = 0;
inline constexpr int csRowsetOutstanding = 6;

// Result states of a record set.
inline constexpr int rsUnknown = 0;
inline constexpr int rsNoResultSet = 1;
inline constexpr int rsResultSet = 2;

// A parameter as the command sees it: a name and a value (the binding details would follow the
// provider's types; nothing on the account tool's path has parameters).
struct TParamDesc {
    std::string Name;
    TPropValue Value;
};

// A numeric value in packed decimal form (precision, sign and scale, 64 digit nibbles), as the
// FMT BCD fields keep it in the record.
struct TBcd {
    uint8_t Precision = 0;
    uint8_t SignSpecialPlaces = 0;  // bit 7: negative; low 6 bits: digits after the point
    uint8_t Fraction[32] = {};

    // Text such as "-123.45" (decimal point given as `separator`) into a value of the given precision
    // and scale; false when it is no number or has more integer digits than precision - scale allows.
    static bool FromString(std::string_view text, char separator, uint8_t precision, uint8_t scale, TBcd& out);
    // Plain decimal text without needless zeros, with `separator` as the decimal point.
    std::string ToString(char separator) const;
    double ToDouble() const;
    bool IsNegative() const { return (SignSpecialPlaces & 0x80) != 0; }
    uint8_t Scale() const { return SignSpecialPlaces & 0x3F; }
};
static_assert(sizeof(TBcd) == 34);

// The decimal separator of the C locale's numeric category (what the system's settings say).
char LocaleDecimalSeparatorChar();

class TCRCommand {
public:
    TCRCommand() = default;
    virtual ~TCRCommand() = default;
    TCRCommand(const TCRCommand&) = delete;
    TCRCommand& operator=(const TCRCommand&) = delete;

    virtual void Prepare() { FPrepared = true; }
    virtual void Unprepare() { FPrepared = false; }
    virtual bool IsPrepared() const { return FPrepared; }
    virtual void Execute() = 0;
    virtual void SetConnection(TCRConnection* connection) = 0;
    virtual void SetSQL(const std::string& sql) { FSQL = sql; }
    virtual int GetCursorState() const { return FCursorState; }
    virtual void SetCursorState(int value) { FCursorState = value; }
    virtual TParamDesc& AddParam();
    // Unknown ids raise EAssertionError naming the id.
    virtual bool SetProp(int prop, const TPropValue& value);
    virtual bool GetProp(int prop, TPropValue& value) const;

    const std::string& SQL() const { return FSQL; }
    std::vector<TParamDesc>& Params() { return FParams; }
    const std::vector<TParamDesc>& Params() const { return FParams; }
    bool Executing() const { return FExecuting; }

protected:
    std::string FSQL;
    std::vector<TParamDesc> FParams;
    int FCursorState = csIdle;
    bool FPrepared = false;
    bool FExecuting = false;
    bool FOptionFlag = false;
};

class TCRRecordSet : public TMemData {
public:
    TCRRecordSet() = default;

    virtual TCRCommand& GetCommand() = 0;
    virtual void SetConnection(TCRConnection* connection) = 0;
    virtual void SetSQL(const std::string& sql) { GetCommand().SetSQL(sql); }
    // Runs the statement without opening; afterwards IsQuery tells whether rows came back.
    virtual void ExecCommand() = 0;
    virtual void FetchAll();
    virtual bool IsQuery() const = 0;
    // True while a provider rowset of this record set is still open (not fetched to the end).
    virtual bool HoldsRowset() const { return false; }
    // Gives back a result that an execution left outstanding while the record set is not open.
    virtual void DiscardResult() {}
    virtual bool SetProp(int prop, const TPropValue& value);
    virtual bool GetProp(int prop, TPropValue& value) const;

    bool UniDirectional() const { return FUniDirectional; }
    int FetchRows() const { return FFetchRows; }
    bool FetchAllRows() const { return FFetchAll; }
    bool LongStrings() const { return FLongStrings; }
    bool FlatBuffers() const { return FFlatBuffers; }

protected:
    bool FUniDirectional = false;
    int FFetchRows = 25;
    bool FFetchAll = false;
    bool FLongStrings = true;
    bool FKeepEmptyStrings = false;
    bool FFlatBuffers = true;
    std::string FFilterText;
};
