#include "tools/standin/tds/TdsWriter.h"

#include "tools/standin/sql/CodePage.h"
#include "tools/standin/sql/Utf.h"
#include "tools/standin/tds/TdsTypeCode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

namespace standin::tds {
namespace {

constexpr uint16_t kFlagNullable = 0x0001;
constexpr uint16_t kFlagUpdatableUnknown = 0x0008;
constexpr uint16_t kFlagIdentity = 0x0010;
constexpr uint16_t kNullShortLen = 0xFFFF;
constexpr uint64_t kPlpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr uint32_t kMaxShortLenBytes = 8000;
// Messages longer than this are cut so the token's 16-bit length always fits.
constexpr size_t kMaxMessageChars = 4000;

void putBVarChar(Bytes& out, std::string_view utf8) {
    std::u16string u = utf8ToUtf16(utf8);
    if (u.size() > 255) u.resize(255);
    putU8(out, static_cast<uint8_t>(u.size()));
    putUtf16(out, u);
}

void patchU16LE(Bytes& out, size_t at, size_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

std::string typeName(const Value& v) {
    static const char* const names[] = {"NULL",           "integer", "float",    "decimal",         "string",
                                        "unicode string", "binary",  "datetime", "uniqueidentifier"};
    return names[v.index()];
}

[[noreturn]] void mismatch(const Column& column, const Value& v) {
    throw EncodeError("column '" + column.name + "' cannot carry a " + typeName(v) + " value");
}

__int128 pow10(int n) {
    __int128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

// Brings an unscaled value from one scale to another, rounding half away from zero.
__int128 rescale(__int128 unscaled, int from, int to) {
    if (to >= from) return unscaled * pow10(to - from);
    const __int128 d = pow10(from - to);
    const __int128 q = unscaled / d;
    const __int128 r = unscaled % d;
    if (r * 2 >= d) return q + 1;
    if (r * 2 <= -d) return q - 1;
    return q;
}

int64_t asInt64(const Column& c, const Value& v) {
    if (auto* i = std::get_if<int64_t>(&v)) return *i;
    if (auto* d = std::get_if<double>(&v)) return static_cast<int64_t>(std::trunc(*d));
    if (auto* m = std::get_if<DecimalValue>(&v)) return static_cast<int64_t>(m->unscaled / pow10(m->scale));
    mismatch(c, v);
}

double asDouble(const Column& c, const Value& v) {
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    if (auto* m = std::get_if<DecimalValue>(&v))
        return static_cast<double>(m->unscaled) / static_cast<double>(pow10(m->scale));
    mismatch(c, v);
}

__int128 asScaled(const Column& c, const Value& v, int scale) {
    if (auto* m = std::get_if<DecimalValue>(&v)) return rescale(m->unscaled, m->scale, scale);
    if (auto* i = std::get_if<int64_t>(&v)) return static_cast<__int128>(*i) * pow10(scale);
    if (auto* d = std::get_if<double>(&v))
        return static_cast<__int128>(std::llround(*d * static_cast<double>(pow10(scale))));
    mismatch(c, v);
}

// Char values travel as bytes of their column's code page.
std::string asCodePageText(const Column& c, const Value& v) {
    const uint16_t codePage = orDefault(c.type.collation).codePage;
    if (auto* s = std::get_if<std::string>(&v)) return encodeCodePage(*s, codePage);
    if (auto* u = std::get_if<std::u16string>(&v)) return encodeCodePage(utf16ToUtf8(*u), codePage);
    mismatch(c, v);
}

std::u16string asUtf16(const Column& c, const Value& v) {
    if (auto* u = std::get_if<std::u16string>(&v)) return *u;
    if (auto* s = std::get_if<std::string>(&v)) return utf8ToUtf16(*s);
    mismatch(c, v);
}

const std::vector<uint8_t>& asBytes(const Column& c, const Value& v) {
    if (auto* b = std::get_if<std::vector<uint8_t>>(&v)) return *b;
    mismatch(c, v);
}

uint8_t decimalStorage(int precision) {
    if (precision <= 9) return 5;
    if (precision <= 19) return 9;
    if (precision <= 28) return 13;
    return 17;
}

RowEncoder::ColumnWire describe(const Column& c) {
    using Wire = RowEncoder::Wire;
    RowEncoder::ColumnWire w;
    const bool fixed = !c.nullable;
    auto number = [&](uint8_t fixedCode, uint8_t nullableCode, uint32_t size) {
        w.typeCode = fixed ? fixedCode : nullableCode;
        w.wire = fixed ? Wire::Fixed : Wire::ByteLen;
        w.maxLength = size;
    };
    auto varLength = [&](uint8_t code, uint32_t bytes) {
        w.typeCode = code;
        if (c.type.length < 0 || bytes > kMaxShortLenBytes) {
            w.wire = Wire::Plp;
            w.maxLength = kNullShortLen;
        } else {
            w.wire = Wire::ShortLen;
            w.maxLength = std::max<uint32_t>(bytes, 1);
        }
    };
    auto fixedLength = [&](uint8_t code, uint32_t bytes) {
        w.typeCode = code;
        w.wire = Wire::ShortLen;
        w.maxLength = std::clamp<uint32_t>(bytes, 1, kMaxShortLenBytes);
    };
    const auto length = static_cast<uint32_t>(std::max(c.type.length, 0));
    switch (c.type.type) {
    case SqlType::Int: number(kInt4, kIntN, 4); break;
    case SqlType::SmallInt: number(kInt2, kIntN, 2); break;
    case SqlType::TinyInt: number(kInt1, kIntN, 1); break;
    case SqlType::BigInt: number(kInt8, kIntN, 8); break;
    case SqlType::Bit: number(kBit, kBitN, 1); break;
    case SqlType::Real: number(kFloat4, kFloatN, 4); break;
    case SqlType::Float: number(kFloat8, kFloatN, 8); break;
    case SqlType::Money: number(kMoney, kMoneyN, 8); break;
    case SqlType::SmallMoney: number(kMoney4, kMoneyN, 4); break;
    case SqlType::DateTime: number(kDateTime, kDateTimeN, 8); break;
    case SqlType::SmallDateTime: number(kDateTime4, kDateTimeN, 4); break;
    case SqlType::UniqueIdentifier:
        w.typeCode = kGuid;
        w.wire = Wire::ByteLen;
        w.maxLength = 16;
        break;
    case SqlType::Decimal: {
        const int precision = c.type.precision > 0 ? std::min(c.type.precision, 38) : 18;
        w.typeCode = kDecimalN;
        w.wire = Wire::ByteLen;
        w.precision = static_cast<uint8_t>(precision);
        w.scale = static_cast<uint8_t>(std::clamp(c.type.scale, 0, precision));
        w.maxLength = decimalStorage(precision);
        break;
    }
    case SqlType::Char: fixedLength(kBigChar, length); break;
    case SqlType::VarChar: varLength(kBigVarChar, length); break;
    case SqlType::NChar: fixedLength(kNChar, length * 2); break;
    case SqlType::NVarChar: varLength(kNVarChar, length * 2); break;
    case SqlType::Binary: fixedLength(kBigBinary, length); break;
    case SqlType::VarBinary: varLength(kBigVarBinary, length); break;
    case SqlType::Text:
        w.typeCode = kText;
        w.wire = Wire::TextPointer;
        w.maxLength = 0x7FFFFFFF;
        break;
    case SqlType::NText:
        w.typeCode = kNText;
        w.wire = Wire::TextPointer;
        w.maxLength = 0x7FFFFFFE;
        break;
    case SqlType::Image:
        w.typeCode = kImage;
        w.wire = Wire::TextPointer;
        w.maxLength = 0x7FFFFFFF;
        break;
    }
    return w;
}

bool hasCollation(uint8_t code) {
    return code == kBigChar || code == kBigVarChar || code == kNChar || code == kNVarChar || code == kText ||
           code == kNText;
}

// Bytes a NULL takes in a plain ROW; fixed types cannot express NULL there at all.
size_t nullCost(RowEncoder::Wire wire) {
    switch (wire) {
    case RowEncoder::Wire::Fixed: return 0;
    case RowEncoder::Wire::ByteLen: return 1;
    case RowEncoder::Wire::ShortLen: return 2;
    case RowEncoder::Wire::Plp: return 8;
    case RowEncoder::Wire::TextPointer: return 1;
    }
    return 0;
}

void putNull(Bytes& out, RowEncoder::Wire wire) {
    switch (wire) {
    case RowEncoder::Wire::Fixed: break;
    case RowEncoder::Wire::ByteLen: putU8(out, 0); break;
    case RowEncoder::Wire::ShortLen: putU16LE(out, kNullShortLen); break;
    case RowEncoder::Wire::Plp: putU64LE(out, kPlpNull); break;
    case RowEncoder::Wire::TextPointer: putU8(out, 0); break;
    }
}

// Writes a variable-length payload in the column's framing.
void putVariable(Bytes& out, const RowEncoder::ColumnWire& w, const uint8_t* data, size_t size) {
    switch (w.wire) {
    case RowEncoder::Wire::ShortLen:
        putU16LE(out, static_cast<uint16_t>(size));
        out.insert(out.end(), data, data + size);
        break;
    case RowEncoder::Wire::Plp:
        putU64LE(out, size);
        if (size > 0) {
            putU32LE(out, static_cast<uint32_t>(size));
            out.insert(out.end(), data, data + size);
        }
        putU32LE(out, 0);
        break;
    case RowEncoder::Wire::TextPointer:
        putU8(out, 16);
        for (int i = 0; i < 16; ++i) putU8(out, 0xAA);  // text pointer: clients only echo it back
        for (int i = 0; i < 8; ++i) putU8(out, 0);      // timestamp
        putU32LE(out, static_cast<uint32_t>(size));
        out.insert(out.end(), data, data + size);
        break;
    default: throw EncodeError("variable-length value for a fixed column");
    }
}

}  // namespace

std::array<uint8_t, 5> collationBytes(const Collation& c) {
    uint32_t info = c.lcid & 0xFFFFF;
    if (c.binary == Collation::Binary::No) {
        if (!c.caseSensitive) info |= 1u << 20;
        if (!c.accentSensitive) info |= 1u << 21;
        if (!c.kanaSensitive) info |= 1u << 22;
        if (!c.widthSensitive) info |= 1u << 23;
    } else {
        info |= c.binary == Collation::Binary::Bin ? 1u << 24 : 1u << 25;
    }
    info |= uint32_t(c.version & 0x0F) << 28;
    return {static_cast<uint8_t>(info), static_cast<uint8_t>(info >> 8), static_cast<uint8_t>(info >> 16),
            static_cast<uint8_t>(info >> 24), c.sortId};
}

void writeEnvChange(Bytes& out, EnvChange type, std::string_view newValue, std::string_view oldValue) {
    putU8(out, kTokenEnvChange);
    const size_t lengthAt = out.size();
    putU16LE(out, 0);
    putU8(out, type);
    putBVarChar(out, newValue);
    putBVarChar(out, oldValue);
    patchU16LE(out, lengthAt, out.size() - lengthAt - 2);
}

void writeEnvChangeBytes(Bytes& out, EnvChange type, std::span<const uint8_t> newValue,
                         std::span<const uint8_t> oldValue) {
    putU8(out, kTokenEnvChange);
    putU16LE(out, static_cast<uint16_t>(1 + 1 + newValue.size() + 1 + oldValue.size()));
    putU8(out, type);
    putU8(out, static_cast<uint8_t>(newValue.size()));
    putBytes(out, newValue);
    putU8(out, static_cast<uint8_t>(oldValue.size()));
    putBytes(out, oldValue);
}

void writeLoginAck(Bytes& out, uint32_t tdsVersion, std::string_view programName, std::array<uint8_t, 4> version) {
    std::u16string name = utf8ToUtf16(programName);
    if (name.size() > 255) name.resize(255);
    putU8(out, kTokenLoginAck);
    // FreeTDS derives the name length from this total, so it must be exact.
    putU16LE(out, static_cast<uint16_t>(1 + 4 + 1 + 2 * name.size() + 4));
    putU8(out, 1);  // interface: SQL_TSQL
    putU32BE(out, tdsVersion);
    putU8(out, static_cast<uint8_t>(name.size()));
    putUtf16(out, name);
    putBytes(out, version);
}

void writeMessage(Bytes& out, const Message& message, std::string_view serverName) {
    std::u16string text = utf8ToUtf16(message.text);
    if (text.size() > kMaxMessageChars) text.resize(kMaxMessageChars);
    putU8(out, message.severity <= 10 ? kTokenInfo : kTokenError);
    const size_t lengthAt = out.size();
    putU16LE(out, 0);
    putU32LE(out, static_cast<uint32_t>(message.number));
    putU8(out, message.state);
    putU8(out, message.severity);
    putU16LE(out, static_cast<uint16_t>(text.size()));
    putUtf16(out, text);
    putBVarChar(out, serverName);
    putBVarChar(out, message.procedure);
    putU32LE(out, static_cast<uint32_t>(message.line));
    patchU16LE(out, lengthAt, out.size() - lengthAt - 2);
}

void writeReturnStatus(Bytes& out, int32_t status) {
    putU8(out, kTokenReturnStatus);
    putU32LE(out, static_cast<uint32_t>(status));
}

void writeDone(Bytes& out, uint16_t status, uint16_t currentCommand, uint64_t rowCount, Token token) {
    putU8(out, token);
    putU16LE(out, status);
    putU16LE(out, currentCommand);
    putU64LE(out, rowCount);
}

RowEncoder::RowEncoder(std::vector<Column> columns, bool nbcRows) : columns_(std::move(columns)), nbcRows_(nbcRows) {
    wires_.reserve(columns_.size());
    for (const auto& c : columns_) wires_.push_back(describe(c));
}

void RowEncoder::writeMetadata(Bytes& out) const {
    putU8(out, kTokenColMetadata);
    putU16LE(out, static_cast<uint16_t>(columns_.size()));
    for (size_t i = 0; i < columns_.size(); ++i) {
        const Column& c = columns_[i];
        const ColumnWire& w = wires_[i];
        putU32LE(out, 0);  // user type
        uint16_t flags = kFlagUpdatableUnknown;
        if (c.nullable) flags |= kFlagNullable;
        if (c.identity) flags |= kFlagIdentity;
        putU16LE(out, flags);
        writeTypeInfo(out, i);
        if (w.wire == Wire::TextPointer) putU8(out, 0);  // no table name parts
        putBVarChar(out, c.name);
    }
}

void RowEncoder::writeTypeInfo(Bytes& out, size_t column) const {
    const ColumnWire& w = wires_[column];
    putU8(out, w.typeCode);
    switch (w.wire) {
    case Wire::Fixed: break;
    case Wire::ByteLen:
        putU8(out, static_cast<uint8_t>(w.maxLength));
        if (w.typeCode == kDecimalN) {
            putU8(out, w.precision);
            putU8(out, w.scale);
        }
        break;
    case Wire::ShortLen:
    case Wire::Plp: putU16LE(out, static_cast<uint16_t>(w.maxLength)); break;
    case Wire::TextPointer: putU32LE(out, w.maxLength); break;
    }
    if (hasCollation(w.typeCode)) putBytes(out, collationBytes(orDefault(columns_[column].type.collation)));
}

void RowEncoder::writeReturnValue(Bytes& out, uint16_t ordinal, const Value& value) const {
    if (columns_.size() != 1) throw EncodeError("a return value has exactly one column");
    const size_t start = out.size();
    try {
        putU8(out, kTokenReturnValue);
        putU16LE(out, ordinal);
        putBVarChar(out, columns_[0].name);
        putU8(out, 0x01);  // an output parameter
        putU32LE(out, 0);  // user type
        putU16LE(out, kFlagNullable);
        writeTypeInfo(out, 0);
        if (isNull(value)) {
            putNull(out, wires_[0].wire);
        } else {
            writeValue(out, 0, value);
        }
    } catch (...) {
        out.resize(start);
        throw;
    }
}

void RowEncoder::writeRow(Bytes& out, const std::vector<Value>& values) const {
    if (values.size() != columns_.size())
        throw EncodeError("row has " + std::to_string(values.size()) + " values for " +
                          std::to_string(columns_.size()) + " columns");
    const size_t start = out.size();
    try {
        size_t saved = 0;
        bool nullInFixed = false;
        for (size_t i = 0; i < values.size(); ++i) {
            if (!isNull(values[i])) continue;
            saved += nullCost(wires_[i].wire);
            if (wires_[i].wire == Wire::Fixed) nullInFixed = true;
        }
        const size_t bitmapBytes = (values.size() + 7) / 8;
        const bool nbc = nbcRows_ && (nullInFixed || saved > bitmapBytes);
        if (nullInFixed && !nbcRows_) throw EncodeError("NULL in a NOT NULL column");
        if (nbc) {
            putU8(out, kTokenNbcRow);
            const size_t bitmapAt = out.size();
            out.resize(out.size() + bitmapBytes, 0);
            for (size_t i = 0; i < values.size(); ++i) {
                if (isNull(values[i])) {
                    out[bitmapAt + i / 8] = static_cast<uint8_t>(out[bitmapAt + i / 8] | (1u << (i % 8)));
                } else {
                    writeValue(out, i, values[i]);
                }
            }
        } else {
            putU8(out, kTokenRow);
            for (size_t i = 0; i < values.size(); ++i) {
                if (isNull(values[i])) {
                    putNull(out, wires_[i].wire);
                } else {
                    writeValue(out, i, values[i]);
                }
            }
        }
    } catch (...) {
        out.resize(start);
        throw;
    }
}

namespace {

using ColumnWire = RowEncoder::ColumnWire;

void writeDateTime(Bytes& out, const Column& c, const Value& v, bool lengthByte) {
    const auto* d = std::get_if<DateTimeValue>(&v);
    if (!d) mismatch(c, v);
    if (lengthByte) putU8(out, 8);
    putU32LE(out, static_cast<uint32_t>(d->days));
    putU32LE(out, d->ticks);
}

// 1/300 s ticks to the nearest whole minute, carrying into the next day at midnight.
void writeSmallDateTime(Bytes& out, const Column& c, const Value& v, bool lengthByte) {
    const auto* d = std::get_if<DateTimeValue>(&v);
    if (!d) mismatch(c, v);
    int32_t days = d->days;
    uint32_t minutes = (d->ticks + 9000) / 18000;
    if (minutes >= 24 * 60) {
        minutes -= 24 * 60;
        ++days;
    }
    if (lengthByte) putU8(out, 4);
    putU16LE(out, static_cast<uint16_t>(days));
    putU16LE(out, static_cast<uint16_t>(minutes));
}

void writeGuid(Bytes& out, const Column& c, const Value& v, bool lengthByte) {
    const auto* g = std::get_if<Guid>(&v);
    if (!g) mismatch(c, v);
    if (lengthByte) putU8(out, 16);
    putBytes(out, *g);
}

// Length, sign byte, then the magnitude little-endian in as many bytes as the precision needs.
void writeDecimal(Bytes& out, const Column& c, const ColumnWire& w, const Value& v) {
    __int128 unscaled = asScaled(c, v, w.scale);
    const bool negative = unscaled < 0;
    unsigned __int128 magnitude =
        negative ? static_cast<unsigned __int128>(-unscaled) : static_cast<unsigned __int128>(unscaled);
    const size_t magnitudeBytes = w.maxLength - 1u;
    if (magnitudeBytes < 16 && (magnitude >> (8 * magnitudeBytes)) != 0)
        throw EncodeError("value does not fit decimal(" + std::to_string(w.precision) + ")");
    putU8(out, static_cast<uint8_t>(w.maxLength));
    putU8(out, negative ? 0 : 1);
    for (size_t i = 0; i < magnitudeBytes; ++i) {
        putU8(out, static_cast<uint8_t>(magnitude & 0xFF));
        magnitude >>= 8;
    }
}

// char, varchar and text in the column's code page; char padded with blanks.
void writeChars(Bytes& out, const Column& c, const ColumnWire& w, const Value& v) {
    std::string text = asCodePageText(c, v);
    if (c.type.type == SqlType::Char && text.size() < w.maxLength) text.resize(w.maxLength, ' ');
    if (w.wire == RowEncoder::Wire::ShortLen && text.size() > w.maxLength)
        throw EncodeError("value longer than column '" + c.name + "'");
    putVariable(out, w, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// nchar, nvarchar and ntext as UTF-16LE; nchar padded with blanks.
void writeNChars(Bytes& out, const Column& c, const ColumnWire& w, const Value& v) {
    std::u16string text = asUtf16(c, v);
    if (c.type.type == SqlType::NChar && text.size() * 2 < w.maxLength) text.resize(w.maxLength / 2, u' ');
    Bytes encoded;
    encoded.reserve(text.size() * 2);
    putUtf16(encoded, text);
    if (w.wire == RowEncoder::Wire::ShortLen && encoded.size() > w.maxLength)
        throw EncodeError("value longer than column '" + c.name + "'");
    putVariable(out, w, encoded.data(), encoded.size());
}

// binary, varbinary and image; binary padded with zeros.
void writeBinary(Bytes& out, const Column& c, const ColumnWire& w, const Value& v) {
    const auto& bytes = asBytes(c, v);
    if (c.type.type == SqlType::Binary && bytes.size() < w.maxLength) {
        Bytes padded = bytes;
        padded.resize(w.maxLength, 0);
        putVariable(out, w, padded.data(), padded.size());
        return;
    }
    if (w.wire == RowEncoder::Wire::ShortLen && bytes.size() > w.maxLength)
        throw EncodeError("value longer than column '" + c.name + "'");
    putVariable(out, w, bytes.data(), bytes.size());
}

}  // namespace

void RowEncoder::writeValue(Bytes& out, size_t column, const Value& v) const {
    const Column& c = columns_[column];
    const ColumnWire& w = wires_[column];
    const bool lengthByte = w.wire == Wire::ByteLen;
    auto lenPrefix = [&](uint8_t size) {
        if (lengthByte) putU8(out, size);
    };
    switch (c.type.type) {
    case SqlType::Int:
        lenPrefix(4);
        putU32LE(out, static_cast<uint32_t>(asInt64(c, v)));
        break;
    case SqlType::SmallInt:
        lenPrefix(2);
        putU16LE(out, static_cast<uint16_t>(asInt64(c, v)));
        break;
    case SqlType::TinyInt:
        lenPrefix(1);
        putU8(out, static_cast<uint8_t>(asInt64(c, v)));
        break;
    case SqlType::BigInt:
        lenPrefix(8);
        putU64LE(out, static_cast<uint64_t>(asInt64(c, v)));
        break;
    case SqlType::Bit:
        lenPrefix(1);
        putU8(out, asInt64(c, v) != 0 ? 1 : 0);
        break;
    case SqlType::Real:
        lenPrefix(4);
        putU32LE(out, std::bit_cast<uint32_t>(static_cast<float>(asDouble(c, v))));
        break;
    case SqlType::Float:
        lenPrefix(8);
        putU64LE(out, std::bit_cast<uint64_t>(asDouble(c, v)));
        break;
    case SqlType::Money: {
        // Eight bytes, the high half first, each half little-endian.
        const auto m = static_cast<int64_t>(asScaled(c, v, 4));
        lenPrefix(8);
        putU32LE(out, static_cast<uint32_t>(static_cast<uint64_t>(m) >> 32));
        putU32LE(out, static_cast<uint32_t>(m));
        break;
    }
    case SqlType::SmallMoney:
        lenPrefix(4);
        putU32LE(out, static_cast<uint32_t>(static_cast<int32_t>(asScaled(c, v, 4))));
        break;
    case SqlType::DateTime: writeDateTime(out, c, v, lengthByte); break;
    case SqlType::SmallDateTime: writeSmallDateTime(out, c, v, lengthByte); break;
    case SqlType::UniqueIdentifier: writeGuid(out, c, v, lengthByte); break;
    case SqlType::Decimal: writeDecimal(out, c, w, v); break;
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::Text: writeChars(out, c, w, v); break;
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::NText: writeNChars(out, c, w, v); break;
    case SqlType::Binary:
    case SqlType::VarBinary:
    case SqlType::Image: writeBinary(out, c, w, v); break;
    }
}

}  // namespace standin::tds
