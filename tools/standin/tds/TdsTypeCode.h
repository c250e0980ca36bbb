#pragma once
// The TYPE_INFO codes of the column and parameter types the stand-in reads and writes (MS-TDS 2.2.5.4).
#include <cstdint>

namespace standin::tds {

enum TypeCode : uint8_t {
    kNull = 0x1F,
    kInt1 = 0x30,
    kBit = 0x32,
    kInt2 = 0x34,
    kInt4 = 0x38,
    kDateTime4 = 0x3A,
    kFloat4 = 0x3B,
    kMoney = 0x3C,
    kDateTime = 0x3D,
    kFloat8 = 0x3E,
    kMoney4 = 0x7A,
    kInt8 = 0x7F,
    kGuid = 0x24,
    kIntN = 0x26,
    kDateN = 0x28,
    kTimeN = 0x29,
    kDateTime2N = 0x2A,
    kDateTimeOffsetN = 0x2B,
    kBitN = 0x68,
    kDecimalN = 0x6A,
    kNumericN = 0x6C,
    kFloatN = 0x6D,
    kMoneyN = 0x6E,
    kDateTimeN = 0x6F,
    kImage = 0x22,
    kText = 0x23,
    kNText = 0x63,
    kBigVarBinary = 0xA5,
    kBigVarChar = 0xA7,
    kBigBinary = 0xAD,
    kBigChar = 0xAF,
    kNVarChar = 0xE7,
    kNChar = 0xEF,
};

}  // namespace standin::tds
