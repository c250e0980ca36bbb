#pragma once
// Encodes the tokens of a TDS 7.4 response: LOGINACK, ENVCHANGE, INFO/ERROR, DONE, and result sets
// (COLMETADATA, ROW, NBCROW) for every column type the engine knows.
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/Engine.h"
#include "tools/standin/tds/TdsBuffer.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin::tds {

// SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, case-insensitive, sort id 52, code page 1252.
constexpr std::array<uint8_t, 5> kCollation = {0x09, 0x04, 0xD0, 0x00, 0x34};

// A collation as TDS carries it: 20 bits of LCID, the ignore-case, ignore-accent, ignore-kana and
// ignore-width flags, binary and binary2, a 4-bit version, then the SQL sort id (0 for Windows ones).
std::array<uint8_t, 5> collationBytes(const Collation& collation);

enum Token : uint8_t {
    kTokenColMetadata = 0x81,
    kTokenError = 0xAA,
    kTokenInfo = 0xAB,
    kTokenLoginAck = 0xAD,
    kTokenReturnStatus = 0x79,
    kTokenReturnValue = 0xAC,
    kTokenRow = 0xD1,
    kTokenNbcRow = 0xD2,
    kTokenEnvChange = 0xE3,
    kTokenDone = 0xFD,
    kTokenDoneProc = 0xFE,
    kTokenDoneInProc = 0xFF,
};

enum DoneStatus : uint16_t {
    kDoneFinal = 0x00,
    kDoneMore = 0x01,
    kDoneError = 0x02,
    kDoneInTransaction = 0x04,
    kDoneCount = 0x10,
    kDoneAttention = 0x20,
    kDoneServerError = 0x100,
};

enum EnvChange : uint8_t {
    kEnvDatabase = 1,
    kEnvLanguage = 2,
    kEnvPacketSize = 4,
    kEnvCollation = 7,
    kEnvBeginTransaction = 8,
    kEnvCommitTransaction = 9,
    kEnvRollbackTransaction = 10,
};

// A value the engine handed over does not fit its column's type (an engine defect, not client input).
class EncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void writeEnvChange(Bytes& out, EnvChange type, std::string_view newValue, std::string_view oldValue);
void writeEnvChangeBytes(Bytes& out, EnvChange type, std::span<const uint8_t> newValue,
                         std::span<const uint8_t> oldValue);
void writeLoginAck(Bytes& out, uint32_t tdsVersion, std::string_view programName, std::array<uint8_t, 4> version);
// INFO for severity 10 and below, ERROR above.
void writeMessage(Bytes& out, const Message& message, std::string_view serverName);
void writeDone(Bytes& out, uint16_t status, uint16_t currentCommand, uint64_t rowCount, Token token = kTokenDone);
void writeReturnStatus(Bytes& out, int32_t status);

// Describes one result set on the wire and encodes its rows.
class RowEncoder {
public:
    // nbcRows: the client speaks TDS 7.3B or later and understands null-bitmap rows.
    RowEncoder(std::vector<Column> columns, bool nbcRows);

    const std::vector<Column>& columns() const { return columns_; }
    void writeMetadata(Bytes& out) const;
    // ROW, or NBCROW when the null bitmap is shorter than the NULLs it replaces. On EncodeError
    // nothing is left in out.
    void writeRow(Bytes& out, const std::vector<Value>& values) const;
    // RETURNVALUE of an output parameter: the encoder's one column names it and gives its type.
    void writeReturnValue(Bytes& out, uint16_t ordinal, const Value& value) const;

    // How a column travels; public for the tests.
    enum class Wire : uint8_t {
        Fixed,       // fixed-length type, no length prefix (NOT NULL numbers and dates)
        ByteLen,     // 1-byte length prefix, 0 = NULL (INTN, FLTN, MONEYN, DATETIMN, BITN, DECIMALN, GUID)
        ShortLen,    // 2-byte length prefix, 0xFFFF = NULL (BIG*, N*)
        Plp,         // partially length-prefixed (max types)
        TextPointer  // text, ntext, image
    };
    struct ColumnWire {
        uint8_t typeCode = 0;
        Wire wire = Wire::ByteLen;
        uint32_t maxLength = 0;  // bytes on the wire
        uint8_t precision = 0;
        uint8_t scale = 0;
    };
    const std::vector<ColumnWire>& wires() const { return wires_; }

private:
    void writeTypeInfo(Bytes& out, size_t column) const;
    void writeValue(Bytes& out, size_t column, const Value& value) const;

    std::vector<Column> columns_;
    std::vector<ColumnWire> wires_;
    bool nbcRows_;
};

}  // namespace standin::tds
