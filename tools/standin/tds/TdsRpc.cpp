#include "tools/standin/tds/TdsRpc.h"

#include "tools/standin/sql/CodePage.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/Utf.h"
#include "tools/standin/tds/TdsTypeCode.h"

#include <cstring>

namespace standin::tds {
namespace {

constexpr uint16_t kProcIdSwitch = 0xFFFF;
constexpr uint16_t kMaxMarker = 0xFFFF;
constexpr uint64_t kPlpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr uint32_t kLongNull = 0xFFFFFFFFu;
constexpr uint8_t kBatchFlag = 0x80;    // TDS 7.1 separator between calls
constexpr uint8_t kNoExecFlag = 0xFE;   // TDS 7.2+ separator
constexpr uint8_t kBatchFlag72 = 0xFF;  // TDS 7.2+ separator
constexpr int32_t kDaysFrom0001To1900 = 693595;

// ProcIDs of the system procedures (MS-TDS 2.2.6.6).
const char* systemProcedure(uint16_t id) {
    static const char* const names[] = {"",
                                        "sp_cursor",
                                        "sp_cursoropen",
                                        "sp_cursorprepare",
                                        "sp_cursorexecute",
                                        "sp_cursorprepexec",
                                        "sp_cursorunprepare",
                                        "sp_cursorfetch",
                                        "sp_cursoroption",
                                        "sp_cursorclose",
                                        "sp_executesql",
                                        "sp_prepare",
                                        "sp_execute",
                                        "sp_prepexec",
                                        "sp_prepexecrpc",
                                        "sp_unprepare"};
    return id > 0 && id < std::size(names) ? names[id] : nullptr;
}

int64_t signedLE(std::span<const uint8_t> b) {
    uint64_t v = 0;
    for (size_t i = 0; i < b.size(); ++i) v |= static_cast<uint64_t>(b[i]) << (8 * i);
    if (b.size() < 8 && (b.back() & 0x80)) v |= ~uint64_t{0} << (8 * b.size());
    return static_cast<int64_t>(v);
}

uint64_t unsignedLE(std::span<const uint8_t> b) {
    uint64_t v = 0;
    for (size_t i = 0; i < b.size(); ++i) v |= static_cast<uint64_t>(b[i]) << (8 * i);
    return v;
}

// How a parameter's value is framed, read from its TYPE_INFO.
struct TypeInfo {
    uint8_t code = 0;
    uint32_t maxLength = 0;  // the length field; kMaxMarker with a short length means PLP
    uint8_t precision = 0;
    uint8_t scale = 0;
    enum class Framing { None, Fixed, ByteLen, ShortLen, Plp, LongLen } framing = Framing::None;
    size_t fixedSize = 0;
    uint16_t codePage = 1252;  // char types: the code page their collation names
};

// A char parameter's collation says in which code page the client sent its bytes.
uint16_t readCollationCodePage(ByteReader& r) {
    const uint32_t lcidAndFlags = r.u32LE();
    return codePageOfWireCollation(lcidAndFlags, r.u8());
}

TypeInfo readTypeInfo(ByteReader& r) {
    TypeInfo t;
    t.code = r.u8();
    using F = TypeInfo::Framing;
    switch (t.code) {
    case kNull: t.framing = F::None; break;
    case kInt1:
    case kBit:
        t.framing = F::Fixed;
        t.fixedSize = 1;
        break;
    case kInt2:
        t.framing = F::Fixed;
        t.fixedSize = 2;
        break;
    case kInt4:
    case kDateTime4:
    case kFloat4:
    case kMoney4:
        t.framing = F::Fixed;
        t.fixedSize = 4;
        break;
    case kInt8:
    case kMoney:
    case kDateTime:
    case kFloat8:
        t.framing = F::Fixed;
        t.fixedSize = 8;
        break;
    case kGuid:
    case kIntN:
    case kBitN:
    case kFloatN:
    case kMoneyN:
    case kDateTimeN:
        t.framing = F::ByteLen;
        t.maxLength = r.u8();
        break;
    case kDecimalN:
    case kNumericN:
        t.framing = F::ByteLen;
        t.maxLength = r.u8();
        t.precision = r.u8();
        t.scale = r.u8();
        break;
    case kDateN: t.framing = F::ByteLen; break;
    case kTimeN:
    case kDateTime2N:
    case kDateTimeOffsetN:
        t.framing = F::ByteLen;
        t.scale = r.u8();
        if (t.scale > 7) throw ProtocolError("a time scale above 7");
        break;
    case kBigVarChar:
    case kBigChar:
    case kNVarChar:
    case kNChar:
        t.maxLength = r.u16LE();
        t.codePage = readCollationCodePage(r);
        t.framing = t.maxLength == kMaxMarker ? F::Plp : F::ShortLen;
        break;
    case kBigVarBinary:
    case kBigBinary:
        t.maxLength = r.u16LE();
        t.framing = t.maxLength == kMaxMarker ? F::Plp : F::ShortLen;
        break;
    case kText:
    case kNText:
        t.maxLength = r.u32LE();
        t.codePage = readCollationCodePage(r);
        t.framing = F::LongLen;
        break;
    case kImage:
        t.maxLength = r.u32LE();
        t.framing = F::LongLen;
        break;
    default:
        throw RpcUnsupported("The stand-in does not support parameters of TDS type 0x" + [&] {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", t.code);
            return std::string(hex);
        }() + ".");
    }
    return t;
}

// The value's bytes; nullopt for NULL.
std::optional<Bytes> readValueBytes(ByteReader& r, const TypeInfo& t) {
    using F = TypeInfo::Framing;
    auto take = [&](size_t n) {
        auto b = r.bytes(n);
        return Bytes(b.begin(), b.end());
    };
    switch (t.framing) {
    case F::None: return std::nullopt;
    case F::Fixed: return take(t.fixedSize);
    case F::ByteLen: {
        const uint8_t n = r.u8();
        if (n == 0) return std::nullopt;
        return take(n);
    }
    case F::ShortLen: {
        const uint16_t n = r.u16LE();
        if (n == 0xFFFF) return std::nullopt;
        return take(n);
    }
    case F::LongLen: {
        const uint32_t n = r.u32LE();
        if (n == kLongNull) return std::nullopt;
        return take(n);
    }
    case F::Plp: {
        const uint64_t total = r.u64LE();
        if (total == kPlpNull) return std::nullopt;
        Bytes out;
        for (;;) {
            const uint32_t chunk = r.u32LE();
            if (chunk == 0) break;
            auto b = r.bytes(chunk);
            out.insert(out.end(), b.begin(), b.end());
        }
        return out;
    }
    }
    return std::nullopt;
}

void checkSize(const Bytes& b, std::initializer_list<size_t> sizes) {
    for (size_t s : sizes)
        if (b.size() == s) return;
    throw ProtocolError("a parameter value has a length its type does not allow");
}

// Date and time as sent for date/time/datetime2/datetimeoffset, in the engine's datetime.
DateTimeValue dateTimeOf(const TypeInfo& t, const Bytes& b) {
    static const size_t timeBytes[] = {3, 3, 3, 4, 4, 5, 5, 5};
    const size_t tb = t.code == kDateN ? 0 : timeBytes[t.scale];
    const size_t db = t.code == kTimeN ? 0 : 3;
    const size_t ob = t.code == kDateTimeOffsetN ? 2 : 0;
    checkSize(b, {tb + db + ob});
    int64_t ticks = 0;
    if (tb) {
        uint64_t units = unsignedLE(std::span(b).subspan(0, tb));
        uint64_t perSecond = 1;
        for (int i = 0; i < t.scale; ++i) perSecond *= 10;
        ticks = static_cast<int64_t>((units * 300 + perSecond / 2) / perSecond);
    }
    const int64_t days = db ? static_cast<int64_t>(unsignedLE(std::span(b).subspan(tb, 3))) - kDaysFrom0001To1900 : 0;
    if (ob) ticks += signedLE(std::span(b).subspan(tb + db, 2)) * 60 * 300;  // stored as UTC, shown local
    // Carry whole days out of the ticks, rounding towards minus infinity (an offset can go back a day).
    constexpr int64_t kTicksPerDay = 24LL * 3600 * 300;
    const int64_t carry = ticks >= 0 ? ticks / kTicksPerDay : -((-ticks + kTicksPerDay - 1) / kTicksPerDay);
    return DateTimeValue{static_cast<int32_t>(days + carry), static_cast<uint32_t>(ticks - carry * kTicksPerDay)};
}

ColumnType typeOf(const TypeInfo& t) {
    const int length = t.maxLength == kMaxMarker ? -1 : static_cast<int>(t.maxLength);
    switch (t.code) {
    case kInt1: return makeType(SqlType::TinyInt);
    case kInt2: return makeType(SqlType::SmallInt);
    case kInt4: return makeType(SqlType::Int);
    case kInt8: return makeType(SqlType::BigInt);
    case kIntN:
        return makeType(t.maxLength == 1   ? SqlType::TinyInt
                        : t.maxLength == 2 ? SqlType::SmallInt
                        : t.maxLength == 8 ? SqlType::BigInt
                                           : SqlType::Int);
    case kBit:
    case kBitN: return makeType(SqlType::Bit);
    case kFloat4: return makeType(SqlType::Real);
    case kFloat8: return makeType(SqlType::Float);
    case kFloatN: return makeType(t.maxLength == 4 ? SqlType::Real : SqlType::Float);
    case kMoney4: return makeType(SqlType::SmallMoney);
    case kMoney: return makeType(SqlType::Money);
    case kMoneyN: return makeType(t.maxLength == 4 ? SqlType::SmallMoney : SqlType::Money);
    case kDateTime4: return makeType(SqlType::SmallDateTime);
    case kDateTime: return makeType(SqlType::DateTime);
    case kDateTimeN: return makeType(t.maxLength == 4 ? SqlType::SmallDateTime : SqlType::DateTime);
    case kDateN:
    case kTimeN:
    case kDateTime2N:
    case kDateTimeOffsetN: return makeType(SqlType::DateTime);
    case kDecimalN:
    case kNumericN: return makeType(SqlType::Decimal, 0, t.precision, t.scale);
    case kGuid: return makeType(SqlType::UniqueIdentifier);
    case kBigVarChar: return makeType(SqlType::VarChar, length);
    case kBigChar: return makeType(SqlType::Char, length);
    case kNVarChar: return makeType(SqlType::NVarChar, length < 0 ? -1 : length / 2);
    case kNChar: return makeType(SqlType::NChar, length / 2);
    case kBigVarBinary: return makeType(SqlType::VarBinary, length);
    case kBigBinary: return makeType(SqlType::Binary, length);
    case kText: return makeType(SqlType::Text, -1);
    case kNText: return makeType(SqlType::NText, -1);
    case kImage: return makeType(SqlType::Image, -1);
    default: return makeType(SqlType::Int);  // kNull: an untyped NULL
    }
}

Value valueOf(const TypeInfo& t, const ColumnType& type, const Bytes& b) {
    switch (type.type) {
    case SqlType::TinyInt: checkSize(b, {1}); return int64_t{b[0]};
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt: checkSize(b, {1, 2, 4, 8}); return signedLE(b);
    case SqlType::Bit: checkSize(b, {1}); return int64_t{b[0] != 0};
    case SqlType::Real: {
        checkSize(b, {4});
        float f;
        const uint32_t bits = static_cast<uint32_t>(unsignedLE(b));
        std::memcpy(&f, &bits, sizeof f);
        return double{f};
    }
    case SqlType::Float: {
        checkSize(b, {8});
        double d;
        const uint64_t bits = unsignedLE(b);
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case SqlType::SmallMoney: checkSize(b, {4}); return DecimalValue{signedLE(b), 4};
    case SqlType::Money: {
        checkSize(b, {8});
        // The high half comes first.
        const uint64_t hi = unsignedLE(std::span(b).subspan(0, 4)), lo = unsignedLE(std::span(b).subspan(4, 4));
        return DecimalValue{static_cast<int64_t>(hi << 32 | lo), 4};
    }
    case SqlType::Decimal: {
        if (b.size() < 2 || b.size() > 17) throw ProtocolError("a decimal parameter of impossible length");
        unsigned __int128 magnitude = 0;
        for (size_t i = b.size() - 1; i >= 1; --i) magnitude = magnitude << 8 | b[i];
        const auto value = static_cast<__int128>(magnitude);
        return DecimalValue{b[0] ? value : -value, type.scale};
    }
    case SqlType::SmallDateTime:
        if (t.code == kDateTime4 || b.size() == 4) {
            checkSize(b, {4});
            return DateTimeValue{static_cast<int32_t>(unsignedLE(std::span(b).subspan(0, 2))),
                                 static_cast<uint32_t>(unsignedLE(std::span(b).subspan(2, 2)) * 60 * 300)};
        }
        [[fallthrough]];
    case SqlType::DateTime:
        if (t.code == kDateTime || t.code == kDateTimeN) {
            checkSize(b, {8});
            return DateTimeValue{static_cast<int32_t>(signedLE(std::span(b).subspan(0, 4))),
                                 static_cast<uint32_t>(unsignedLE(std::span(b).subspan(4, 4)))};
        }
        return dateTimeOf(t, b);
    case SqlType::UniqueIdentifier: {
        checkSize(b, {16});
        Guid g;
        std::copy(b.begin(), b.end(), g.begin());
        return g;
    }
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::Text:
        return decodeCodePage(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()), t.codePage);
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::NText: {
        if (b.size() % 2 != 0) throw ProtocolError("a Unicode parameter with an odd number of bytes");
        ByteReader r(b);
        return r.utf16(b.size() / 2);
    }
    case SqlType::Binary:
    case SqlType::VarBinary:
    case SqlType::Image: return std::vector<uint8_t>(b);
    }
    return Value{};
}

RpcParameter readParameter(ByteReader& r) {
    RpcParameter p;
    const uint8_t nameChars = r.u8();
    p.name = utf16ToUtf8(r.utf16(nameChars));
    const uint8_t status = r.u8();
    p.output = (status & 0x01) != 0;
    const TypeInfo info = readTypeInfo(r);
    const std::optional<Bytes> bytes = readValueBytes(r, info);
    p.type = typeOf(info);
    if (bytes) p.value = valueOf(info, p.type, *bytes);
    return p;
}

}  // namespace

std::vector<RpcCall> parseRpcRequest(ByteReader& r) {
    std::vector<RpcCall> calls;
    for (;;) {
        RpcCall call;
        const uint16_t length = r.u16LE();
        if (length == kProcIdSwitch) {
            const uint16_t id = r.u16LE();
            const char* name = systemProcedure(id);
            call.procedure = name ? name : "procedure " + std::to_string(id);
        } else {
            call.procedure = utf16ToUtf8(r.utf16(length));
        }
        r.u16LE();  // option flags: recompile, no metadata; neither changes what runs here
        while (!r.atEnd()) {
            const uint8_t next = r.data()[r.position()];
            if (next == kBatchFlag || next == kBatchFlag72 || next == kNoExecFlag) break;
            call.parameters.push_back(readParameter(r));
        }
        calls.push_back(std::move(call));
        if (r.atEnd()) return calls;
        r.u8();  // the separator
        if (r.atEnd()) return calls;
    }
}

}  // namespace standin::tds
