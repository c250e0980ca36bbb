#include "tools/standin/sql/SqlValue.h"

#include "tools/standin/sql/CodePage.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/Utf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

namespace standin {

namespace {

constexpr int32_t kMinDateTimeDays = -53690;      // 1753-01-01
constexpr int32_t kMaxDateTimeDays = 2958463;     // 9999-12-31
constexpr int32_t kMaxSmallDateTimeDays = 65535;  // 2079-06-06
constexpr uint32_t kTicksPerDay = 300u * 86400u;

__int128 pow10(int n) {
    __int128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

// Days since 1900-01-01 for a civil date (proleptic Gregorian).
int32_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 - (-25567);  // 1970-01-01 is day 25567 after 1900-01-01
}

void civilFromDays(int32_t days, int& y, int& m, int& d) {
    int z = days - 25567 + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = yoe + era * 400 + (m <= 2);
}

int daysInMonth(int y, int m) {
    static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2) return ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 29 : 28;
    return dim[m - 1];
}

const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

std::string trimBlanks(std::string_view t) {
    size_t b = 0, e = t.size();
    while (b < e && std::isspace(static_cast<unsigned char>(t[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(t[e - 1]))) --e;
    return std::string(t.substr(b, e - b));
}

// Parses a decimal number text ("-12.50", "1e3" not accepted) into an unscaled value at scale.
// Returns false when the text is not a plain decimal number; overflow when digits exceed 38.
bool parseDecimalText(std::string_view text, __int128& unscaled, int& scale, int& precision, bool& overflow) {
    overflow = false;
    std::string t = trimBlanks(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    __int128 v = 0;
    int digits = 0, fraction = 0, significant = 0;
    bool seenPoint = false, any = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        any = true;
        if (significant == 0 && c == '0' && !seenPoint) continue;
        if (significant >= 38) {
            overflow = true;
            return true;
        }
        v = v * 10 + (c - '0');
        ++significant;
        ++digits;
        if (seenPoint) ++fraction;
    }
    if (!any) return false;
    unscaled = negative ? -v : v;
    scale = fraction;
    precision = std::max(1, std::max(significant, fraction));
    return true;
}

// Rescales an unscaled decimal, rounding half away from zero as SQL Server does.
__int128 rescale(__int128 v, int from, int to) {
    if (to >= from) return v * pow10(to - from);
    const __int128 div = pow10(from - to);
    __int128 q = v / div;
    const __int128 r = v % div;
    if (r * 2 >= div)
        ++q;
    else if (r * 2 <= -div)
        --q;
    return q;
}

std::string decimalText(__int128 unscaled, int scale) {
    const bool negative = unscaled < 0;
    std::string digits = int128Text(negative ? -unscaled : unscaled);
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale - digits.size() + 1, '0');
        digits.insert(digits.size() - scale, ".");
    }
    return negative ? "-" + digits : digits;
}

std::string hexText(const std::vector<uint8_t>& bytes) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "0x";
    for (uint8_t b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

std::string floatText(double d) {
    // Style 0 of CONVERT: at most six significant digits, scientific notation for large values.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", d);
    std::string s = buf;
    const auto e = s.find('e');
    if (e != std::string::npos) {  // SQL Server writes three exponent digits: 1.23457e+006
        std::string mant = s.substr(0, e + 2), exp = s.substr(e + 2);
        while (exp.size() < 3) exp.insert(0, "0");
        s = mant + exp;
    }
    return s;
}

std::string dateTimeText(const DateTimeValue& dt) {
    int y, m, d;
    civilFromDays(dt.days, y, m, d);
    const uint64_t ms = (uint64_t(dt.ticks) * 10 + 1) / 3;
    int minutes = static_cast<int>(ms / 60000);
    int hour = minutes / 60, minute = minutes % 60;
    const char* ampm = hour >= 12 ? "PM" : "AM";
    int h12 = hour % 12 == 0 ? 12 : hour % 12;
    static const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s %2d %d %2d:%02d%s", names[m - 1], d, y, h12, minute, ampm);
    return buf;
}

std::string guidText(const Guid& g) {
    // Wire order: the first three groups are little-endian.
    const int order[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (int i : order) {
        if (i < 0) {
            out += '-';
            continue;
        }
        out += hex[g[i] >> 4];
        out += hex[g[i] & 15];
    }
    return out;
}

bool parseGuid(std::string_view text, Guid& out) {
    std::string t = trimBlanks(text);
    if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
    if (t.size() < 36) return false;
    t.resize(36);  // SQL Server ignores what follows the 36 characters
    const int order[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    size_t pos = 0;
    for (int i : order) {
        if (i < 0) {
            if (t[pos] != '-') return false;
            ++pos;
            continue;
        }
        auto nib = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        const int hi = nib(t[pos]), lo = nib(t[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
        pos += 2;
    }
    return true;
}

// ---- representation helpers ----

std::string asString(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto u = std::get_if<std::u16string>(&v)) return utf16ToUtf8(*u);
    return {};
}

int64_t lengthLimit(const ColumnType& t) { return t.length < 0 ? std::numeric_limits<int64_t>::max() : t.length; }

// Fits text into a char column of the type's code page: characters the code page lacks become '?',
// then the bytes are cut or padded; cutting anything but blanks is an error on assignment.
std::string fitChars(std::string_view input, const ColumnType& to, Conversion mode) {
    const uint16_t codePage = orDefault(to.collation).codePage;
    const std::string bytes = encodeCodePage(input, codePage);
    std::string s = decodeCodePage(bytes, codePage);
    const bool fixed = to.type == SqlType::Char;
    const int64_t limit = lengthLimit(to);
    const auto len = static_cast<int64_t>(bytes.size());
    if (len > limit) {
        std::string_view kept = codePagePrefix(s, codePage, static_cast<size_t>(limit));
        if (mode == Conversion::Assignment) {
            const std::string_view rest = std::string_view(s).substr(kept.size());
            if (rest.find_first_not_of(' ') != std::string_view::npos) throw errors::truncation();
        }
        const size_t keptBytes = codePageLength(kept, codePage);
        s = std::string(kept);
        // A double-byte character that no longer fits leaves its place to a blank in char(n).
        if (fixed) s.append(static_cast<size_t>(limit) - keptBytes, ' ');
    } else if (fixed && len < limit) {
        s.append(static_cast<size_t>(limit - len), ' ');
    }
    return s;
}

std::u16string fitNChars(std::u16string s, const ColumnType& to, Conversion mode) {
    const bool fixed = to.type == SqlType::NChar;
    const int64_t limit = lengthLimit(to);
    if (static_cast<int64_t>(s.size()) > limit) {
        if (mode == Conversion::Assignment) {
            for (size_t i = static_cast<size_t>(limit); i < s.size(); ++i)
                if (s[i] != u' ') throw errors::truncation();
        }
        s.resize(static_cast<size_t>(limit));
    } else if (fixed && static_cast<int64_t>(s.size()) < limit) {
        s.append(static_cast<size_t>(limit) - s.size(), u' ');
    }
    return s;
}

std::vector<uint8_t> fitBytes(std::vector<uint8_t> b, const ColumnType& to, Conversion mode) {
    const int64_t limit = lengthLimit(to);
    if (static_cast<int64_t>(b.size()) > limit) {
        if (mode == Conversion::Assignment) throw errors::truncation();
        b.resize(static_cast<size_t>(limit));
    } else if (to.type == SqlType::Binary && static_cast<int64_t>(b.size()) < limit) {
        b.resize(static_cast<size_t>(limit), 0);  // binary(n) is padded with zero bytes
    }
    return b;
}

// Integer range check; the error names the target type as SQL Server does.
int64_t checkIntegerRange(__int128 v, SqlType to, bool fromConstantLike) {
    if (to == SqlType::Bit) return v != 0 ? 1 : 0;
    const IntegerRange range = integerRange(to);
    if (v < range.lowest || v > range.highest) {
        if (fromConstantLike && (to == SqlType::TinyInt || to == SqlType::SmallInt))
            throw errors::arithmeticOverflowValue(typeName(to), int128Text(v));
        throw errors::arithmeticOverflow(typeName(to));
    }
    return static_cast<int64_t>(v);
}

Value decimalTo(const DecimalValue& d, const ColumnType& to) {
    if (isIntegerType(to.type)) {
        __int128 v = d.unscaled / pow10(d.scale);  // truncation toward zero
        if (to.type == SqlType::Bit) return int64_t(d.unscaled != 0);
        return checkIntegerRange(v, to.type, false);
    }
    if (to.type == SqlType::Real || to.type == SqlType::Float) {
        const double v = static_cast<double>(d.unscaled) / std::pow(10.0, d.scale);
        return to.type == SqlType::Real ? static_cast<double>(static_cast<float>(v)) : v;
    }
    return Value{};  // other targets handled by the caller
}

DecimalValue toDecimal(__int128 unscaled, int scale, const ColumnType& to) {
    int targetScale = to.scale, precision = to.precision;
    if (to.type == SqlType::Money) {
        targetScale = 4;
        precision = 19;
    }
    if (to.type == SqlType::SmallMoney) {
        targetScale = 4;
        precision = 10;
    }
    const __int128 v = rescale(unscaled, scale, targetScale);
    if (to.type == SqlType::Money) {
        if (v > std::numeric_limits<int64_t>::max() || v < std::numeric_limits<int64_t>::min())
            throw errors::arithmeticOverflow("money");
    } else if (to.type == SqlType::SmallMoney) {
        if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min())
            throw errors::arithmeticOverflow("smallmoney");
    } else {
        const __int128 limit = pow10(precision);
        if (v >= limit || v <= -limit) throw errors::arithmeticOverflow("numeric");
    }
    return DecimalValue{v, targetScale};
}

DecimalValue doubleToDecimal(double d, const ColumnType& to) {
    const int scale = to.type == SqlType::Decimal ? to.scale : 4;
    const double scaled = std::round(d * std::pow(10.0, scale));
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e38) throw errors::arithmeticOverflow(typeName(to.type));
    return toDecimal(static_cast<__int128>(scaled), scale, to);
}

DateTimeValue roundDateTime(DateTimeValue dt, SqlType to) {
    if (to == SqlType::SmallDateTime) {
        // smalldatetime keeps whole minutes; half a minute and more rounds up.
        uint64_t minutes = dt.ticks / 18000u + (dt.ticks % 18000u >= 9000u ? 1 : 0);
        int32_t days = dt.days;
        if (minutes >= 1440) {
            minutes = 0;
            ++days;
        }
        if (days < 0 || days > kMaxSmallDateTimeDays) throw errors::arithmeticOverflow("smalldatetime");
        return DateTimeValue{days, static_cast<uint32_t>(minutes * 60 * 300)};
    }
    return dt;
}

DateTimeValue numberToDateTime(double days, SqlType to) {
    const double whole = std::floor(days);
    if (whole < kMinDateTimeDays || whole > kMaxDateTimeDays) throw errors::arithmeticOverflow(typeName(to));
    DateTimeValue dt{static_cast<int32_t>(whole), static_cast<uint32_t>(std::llround((days - whole) * kTicksPerDay))};
    if (dt.ticks >= kTicksPerDay) {
        dt.ticks = 0;
        ++dt.days;
    }
    return roundDateTime(dt, to);
}

double dateTimeToDays(const DateTimeValue& dt) { return dt.days + double(dt.ticks) / kTicksPerDay; }

std::vector<uint8_t> integerBytes(int64_t v, SqlType from) {
    int size = 4;
    if (from == SqlType::BigInt)
        size = 8;
    else if (from == SqlType::SmallInt)
        size = 2;
    else if (from == SqlType::TinyInt || from == SqlType::Bit)
        size = 1;
    std::vector<uint8_t> out(size);
    for (int i = size - 1; i >= 0; --i) {
        out[i] = static_cast<uint8_t>(v & 0xFF);
        v >>= 8;
    }
    return out;
}

// Explicit-only and impossible conversions, by SQL Server's conversion chart (simplified).
enum class Allowed { Implicit, ExplicitOnly, Never };

Allowed conversionAllowed(SqlType from, SqlType to) {
    if (from == to) return Allowed::Implicit;
    const bool fromText = isTextualType(from), toText = isTextualType(to);
    if (from == SqlType::Text || from == SqlType::NText) {
        if (toText) return Allowed::Implicit;
        return Allowed::Never;
    }
    if (from == SqlType::Image)
        return (to == SqlType::Binary || to == SqlType::VarBinary) ? Allowed::Implicit : Allowed::Never;
    if (to == SqlType::Image)
        return isBinaryType(from) || fromText ? (isBinaryType(from) ? Allowed::Implicit : Allowed::ExplicitOnly)
                                              : Allowed::Never;
    if (to == SqlType::Text || to == SqlType::NText) return fromText ? Allowed::Implicit : Allowed::Never;
    if (from == SqlType::UniqueIdentifier) return (toText || isBinaryType(to)) ? Allowed::Implicit : Allowed::Never;
    if (to == SqlType::UniqueIdentifier) return (fromText || isBinaryType(from)) ? Allowed::Implicit : Allowed::Never;
    if (fromText) return isBinaryType(to) ? Allowed::ExplicitOnly : Allowed::Implicit;
    if (toText) return Allowed::Implicit;
    if (isBinaryType(from)) {
        if (to == SqlType::Real || to == SqlType::Float) return Allowed::Never;
        return Allowed::Implicit;
    }
    if (isDateType(from)) {
        if (isDateType(to)) return Allowed::Implicit;
        return Allowed::ExplicitOnly;
    }
    // from a number
    if (isBinaryType(to)) return (from == SqlType::Real || from == SqlType::Float) ? Allowed::Never : Allowed::Implicit;
    return Allowed::Implicit;
}

}  // namespace

// ---- public helpers ----

const char* typeName(SqlType type) {
    switch (type) {
    case SqlType::Int: return "int";
    case SqlType::SmallInt: return "smallint";
    case SqlType::TinyInt: return "tinyint";
    case SqlType::BigInt: return "bigint";
    case SqlType::Bit: return "bit";
    case SqlType::Real: return "real";
    case SqlType::Float: return "float";
    case SqlType::Money: return "money";
    case SqlType::SmallMoney: return "smallmoney";
    case SqlType::Decimal: return "numeric";
    case SqlType::DateTime: return "datetime";
    case SqlType::SmallDateTime: return "smalldatetime";
    case SqlType::Char: return "char";
    case SqlType::VarChar: return "varchar";
    case SqlType::NChar: return "nchar";
    case SqlType::NVarChar: return "nvarchar";
    case SqlType::Binary: return "binary";
    case SqlType::VarBinary: return "varbinary";
    case SqlType::Text: return "text";
    case SqlType::NText: return "ntext";
    case SqlType::Image: return "image";
    case SqlType::UniqueIdentifier: return "uniqueidentifier";
    }
    return "int";
}

std::string typeDeclaration(const ColumnType& t) {
    std::string name = t.type == SqlType::Decimal ? "decimal" : typeName(t.type);
    switch (t.type) {
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::Binary:
    case SqlType::VarBinary: return name + "(" + (t.length < 0 ? std::string("max") : std::to_string(t.length)) + ")";
    case SqlType::Decimal: return name + "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    default: return name;
    }
}

IntegerRange integerRange(SqlType type) {
    switch (type) {
    case SqlType::TinyInt: return {0, 255};
    case SqlType::SmallInt: return {-32768, 32767};
    case SqlType::BigInt: return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
    default: return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    }
}

bool isIntegerType(SqlType t) {
    return t == SqlType::Int || t == SqlType::SmallInt || t == SqlType::TinyInt || t == SqlType::BigInt ||
           t == SqlType::Bit;
}
bool isNumericType(SqlType t) {
    return isIntegerType(t) || t == SqlType::Real || t == SqlType::Float || t == SqlType::Money ||
           t == SqlType::SmallMoney || t == SqlType::Decimal;
}
bool isCharType(SqlType t) { return t == SqlType::Char || t == SqlType::VarChar || t == SqlType::Text; }
bool isNCharType(SqlType t) { return t == SqlType::NChar || t == SqlType::NVarChar || t == SqlType::NText; }
bool isTextualType(SqlType t) { return isCharType(t) || isNCharType(t); }
bool isBinaryType(SqlType t) { return t == SqlType::Binary || t == SqlType::VarBinary || t == SqlType::Image; }
bool isLongType(SqlType t) { return t == SqlType::Text || t == SqlType::NText || t == SqlType::Image; }
bool isDateType(SqlType t) { return t == SqlType::DateTime || t == SqlType::SmallDateTime; }

int typePrecedence(SqlType t) {
    switch (t) {
    case SqlType::DateTime: return 21;
    case SqlType::SmallDateTime: return 20;
    case SqlType::Float: return 19;
    case SqlType::Real: return 18;
    case SqlType::Decimal: return 17;
    case SqlType::Money: return 16;
    case SqlType::SmallMoney: return 15;
    case SqlType::BigInt: return 14;
    case SqlType::Int: return 13;
    case SqlType::SmallInt: return 12;
    case SqlType::TinyInt: return 11;
    case SqlType::Bit: return 10;
    case SqlType::NText: return 9;
    case SqlType::Text: return 8;
    case SqlType::Image: return 7;
    case SqlType::UniqueIdentifier: return 6;
    case SqlType::NVarChar: return 5;
    case SqlType::NChar: return 4;
    case SqlType::VarChar: return 3;
    case SqlType::Char: return 2;
    case SqlType::VarBinary: return 1;
    case SqlType::Binary: return 0;
    }
    return 0;
}

ColumnType makeType(SqlType type, int length, int precision, int scale) {
    ColumnType t;
    t.type = type;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
}

static ColumnType commonTypeOfKinds(const ColumnType& a, const ColumnType& b);

ColumnType commonType(const ColumnType& a, const ColumnType& b) {
    if (isTextualType(a.type) && isTextualType(b.type)) {
        const bool wide = isNCharType(a.type) || isNCharType(b.type);
        ColumnType t = makeType(wide ? SqlType::NVarChar : SqlType::VarChar,
                                (a.length < 0 || b.length < 0) ? -1 : std::max(a.length, b.length));
        if (isLongType(a.type) || isLongType(b.type)) t = makeType(wide ? SqlType::NText : SqlType::Text, -1);
        // A column's collation wins over a literal's; between equals the left one holds.
        const bool rightRules = a.coercible && !b.coercible;
        const ColumnType& ruling = rightRules ? b : a;
        const ColumnType& other = rightRules ? a : b;
        t.collation = ruling.collation ? ruling.collation : other.collation;
        t.coercible = a.coercible && b.coercible;
        return t;
    }
    if (isTextualType(a.type) != isTextualType(b.type)) {
        // A number or date meets text: the text side's collation stays with whatever becomes text.
        ColumnType t = commonTypeOfKinds(a, b);
        if (isTextualType(t.type)) t.collation = isTextualType(a.type) ? a.collation : b.collation;
        return t;
    }
    return commonTypeOfKinds(a, b);
}

// The common type by kind and precedence, collations aside.
static ColumnType commonTypeOfKinds(const ColumnType& a, const ColumnType& b) {
    if (isBinaryType(a.type) && isBinaryType(b.type)) {
        const int len = (a.length < 0 || b.length < 0) ? -1 : std::max(a.length, b.length);
        return makeType(SqlType::VarBinary, len);
    }
    if (a.type == SqlType::Decimal && b.type == SqlType::Decimal) {
        const int scale = std::max(a.scale, b.scale);
        const int intDigits = std::max(a.precision - a.scale, b.precision - b.scale);
        return makeType(SqlType::Decimal, 0, std::min(38, intDigits + scale), scale);
    }
    const ColumnType& hi = typePrecedence(a.type) >= typePrecedence(b.type) ? a : b;
    const ColumnType& lo = &hi == &a ? b : a;
    if (hi.type == SqlType::Decimal && isIntegerType(lo.type)) {
        const int digits = lo.type == SqlType::BigInt ? 19 : 10;
        return makeType(SqlType::Decimal, 0, std::min(38, std::max(hi.precision - hi.scale, digits) + hi.scale),
                        hi.scale);
    }
    return hi;
}

bool implicitlyConvertible(SqlType from, SqlType to) { return conversionAllowed(from, to) == Allowed::Implicit; }

namespace {

// decimal, money and smallmoney: the types held as DecimalValue.
bool isScaledType(SqlType t) { return t == SqlType::Decimal || t == SqlType::Money || t == SqlType::SmallMoney; }
bool isFloatType(SqlType t) { return t == SqlType::Real || t == SqlType::Float; }

// The conversion has no rule for these two types, which SQL Server reports as an explicit one.
SqlError noConversion(const ColumnType& from, const ColumnType& to) {
    return errors::explicitConversion(typeName(from.type), typeName(to.type));
}

// Throws SQL Server's error when the conversion chart forbids from -> to in this mode.
void checkConversionAllowed(const ColumnType& from, const ColumnType& to, Conversion mode) {
    const Allowed allowed = conversionAllowed(from.type, to.type);
    if (allowed == Allowed::Never) {
        if (mode == Conversion::Explicit) throw noConversion(from, to);
        throw errors::operandTypeClash(typeName(from.type), typeName(to.type));
    }
    if (allowed == Allowed::ExplicitOnly && mode != Conversion::Explicit)
        throw errors::implicitConversion(typeName(from.type), typeName(to.type));
}

// The source type as messages about a failed conversion from text name it: char and nchar keep
// their names, every other text type is reported as varchar or nvarchar.
const char* textSourceName(SqlType from) {
    if (from == SqlType::Char || from == SqlType::NChar) return typeName(from);
    return typeName(isNCharType(from) ? SqlType::NVarChar : SqlType::VarChar);
}

// "true" and "false" convert to bit whatever their case.
std::optional<int64_t> bitWord(const std::string& t) {
    std::string lower = t;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "true") return int64_t(1);
    if (lower == "false") return int64_t(0);
    return std::nullopt;
}

Value textToInteger(const std::string& text, const ColumnType& from, const ColumnType& to) {
    const char* fromName = textSourceName(from.type);
    const std::string t = trimBlanks(text);
    if (to.type == SqlType::Bit) {
        if (const auto word = bitWord(t)) return *word;
    }
    __int128 unscaled = 0;
    int scale = 0, precision = 0;
    bool overflow = false;
    const bool plainInteger =
        !t.empty() && t.find('.') == std::string::npos && parseDecimalText(t, unscaled, scale, precision, overflow);
    if (!plainInteger && !(to.type == SqlType::BigInt && t.empty())) {
        if (to.type == SqlType::BigInt) throw errors::errorConvertingDataType(fromName, "bigint");
        throw errors::conversionFailed(fromName, text, typeName(to.type));
    }
    if (t.empty()) return int64_t(0);
    if (to.type == SqlType::Bit) return int64_t(unscaled != 0);
    try {
        return checkIntegerRange(overflow ? pow10(38) : unscaled, to.type, false);
    } catch (const SqlError&) {
        if (to.type == SqlType::BigInt) throw errors::errorConvertingDataType(fromName, "bigint");
        throw errors::conversionOverflowed(fromName, text, typeName(to.type));
    }
}

Value textToFloat(const std::string& text, const ColumnType& from, const ColumnType& to) {
    const std::string t = trimBlanks(text);
    double d = 0;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), d);
    if (t.empty()) return 0.0;
    if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(d))
        throw errors::errorConvertingDataType(textSourceName(from.type), typeName(to.type));
    return to.type == SqlType::Real ? static_cast<double>(static_cast<float>(d)) : d;
}

// Money accepts a leading '$' and thousands separators; an empty text is zero.
Value textToScaled(const std::string& text, const ColumnType& from, const ColumnType& to) {
    std::string t = trimBlanks(text);
    const bool money = to.type != SqlType::Decimal;
    if (money) {
        t.erase(std::remove(t.begin(), t.end(), ','), t.end());
        if (!t.empty() && t[0] == '$') t.erase(0, 1);
        if (t.empty()) return DecimalValue{0, 4};
    }
    __int128 unscaled = 0;
    int scale = 0, precision = 0;
    bool overflow = false;
    if (!parseDecimalText(t, unscaled, scale, precision, overflow)) {
        if (money) throw errors::moneyConversionFailed();
        throw errors::errorConvertingDataType(textSourceName(from.type), "numeric");
    }
    if (overflow) throw errors::arithmeticOverflow(typeName(to.type));
    return toDecimal(unscaled, scale, to);
}

Value textToDateTime(const std::string& text, const ColumnType& from, const ColumnType& to) {
    const char* fromName = textSourceName(from.type);
    DateTimeValue dt;
    if (!parseDateTime(text, dt)) {
        if (to.type == SqlType::SmallDateTime) throw errors::smallDateConversionFailed();
        throw errors::dateConversionFailed();
    }
    if (dt.days < kMinDateTimeDays || dt.days > kMaxDateTimeDays) {
        if (to.type == SqlType::SmallDateTime) throw errors::smallDateConversionFailed();
        throw errors::dateOutOfRange(fromName, "datetime");
    }
    try {
        return roundDateTime(dt, to.type);
    } catch (const SqlError&) {
        throw errors::dateOutOfRange(fromName, "smalldatetime");
    }
}

Value textToGuid(const std::string& text) {
    Guid g{};
    if (!parseGuid(text, g)) throw errors::guidConversionFailed();
    return g;
}

// Explicit only: the bytes of the text in its code page, N-types as UTF-16LE.
Value textToBinary(const Value& v, const std::string& text, const ColumnType& from, const ColumnType& to,
                   Conversion mode) {
    std::string encoded;
    if (auto u = std::get_if<std::u16string>(&v)) {
        for (char16_t c : *u) {
            encoded += static_cast<char>(c & 0xFF);
            encoded += static_cast<char>(c >> 8);
        }
    } else {
        encoded = encodeCodePage(text, orDefault(from.collation).codePage);
    }
    std::vector<uint8_t> bytes(encoded.begin(), encoded.end());
    return fitBytes(std::move(bytes), to, mode);
}

Value fromText(const Value& v, const ColumnType& from, const ColumnType& to, Conversion mode) {
    const std::string text = asString(v);
    if (isCharType(to.type)) return fitChars(text, to, mode);
    if (isNCharType(to.type)) {
        if (auto u = std::get_if<std::u16string>(&v)) return fitNChars(*u, to, mode);
        return fitNChars(utf8ToUtf16(text), to, mode);
    }
    if (isIntegerType(to.type)) return textToInteger(text, from, to);
    if (isFloatType(to.type)) return textToFloat(text, from, to);
    if (isScaledType(to.type)) return textToScaled(text, from, to);
    if (isDateType(to.type)) return textToDateTime(text, from, to);
    if (to.type == SqlType::UniqueIdentifier) return textToGuid(text);
    if (isBinaryType(to.type)) return textToBinary(v, text, from, to, mode);
    throw noConversion(from, to);
}

// Bytes read as text: UTF-16LE for N-types, else the target collation's code page.
Value binaryToText(const std::vector<uint8_t>& b, const ColumnType& to, Conversion mode) {
    if (isNCharType(to.type)) {
        std::u16string u;
        for (size_t i = 0; i + 1 < b.size(); i += 2) u += static_cast<char16_t>(b[i] | (b[i + 1] << 8));
        return fitNChars(std::move(u), to, mode);
    }
    const std::string text = decodeCodePage(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()),
                                            orDefault(to.collation).codePage);
    if (isCharType(to.type)) return fitChars(text, to, mode);
    return fitNChars(utf8ToUtf16(text), to, mode);
}

Value toText(const Value& v, const ColumnType& from, const ColumnType& to, Conversion mode) {
    if (isBinaryType(from.type)) return binaryToText(std::get<std::vector<uint8_t>>(v), to, mode);
    const std::string text = valueText(v, from);
    if (isNumericType(from.type) && to.length >= 0 && static_cast<int64_t>(utf8Length(text)) > to.length) {
        // A number that does not fit is never cut: an integer becomes "*" in char types, as in
        // SQL Server; everything else overflows.
        if (mode == Conversion::Assignment) throw errors::truncation();
        if (isIntegerType(from.type) && isCharType(to.type)) return fitChars("*", to, mode);
        throw errors::arithmeticOverflow(typeName(to.type));
    }
    if (isCharType(to.type)) return fitChars(text, to, mode);
    return fitNChars(utf8ToUtf16(text), to, mode);
}

Value fromInteger(int64_t i, const ColumnType& from, const ColumnType& to) {
    if (isIntegerType(to.type)) return checkIntegerRange(i, to.type, true);
    if (to.type == SqlType::Real) return static_cast<double>(static_cast<float>(i));
    if (to.type == SqlType::Float) return static_cast<double>(i);
    if (isScaledType(to.type)) return toDecimal(i, 0, to);
    if (isDateType(to.type)) return numberToDateTime(static_cast<double>(i), to.type);
    if (isBinaryType(to.type)) {
        std::vector<uint8_t> b = integerBytes(i, from.type);
        if (to.length >= 0 && static_cast<int>(b.size()) > to.length) b.erase(b.begin(), b.end() - to.length);
        return fitBytes(std::move(b), to, Conversion::Explicit);
    }
    throw noConversion(from, to);
}

Value fromFloat(double d, const ColumnType& from, const ColumnType& to) {
    if (isIntegerType(to.type)) {
        if (to.type == SqlType::Bit) return int64_t(d != 0);
        const double t = std::trunc(d);
        if (!(t >= -9.3e18 && t <= 9.3e18)) throw errors::arithmeticOverflow(typeName(to.type));
        return checkIntegerRange(static_cast<__int128>(t), to.type, false);
    }
    if (to.type == SqlType::Real) return static_cast<double>(static_cast<float>(d));
    if (to.type == SqlType::Float) return d;
    if (isScaledType(to.type)) return doubleToDecimal(d, to);
    if (isDateType(to.type)) return numberToDateTime(d, to.type);
    throw noConversion(from, to);
}

Value fromScaled(const DecimalValue& d, const ColumnType& from, const ColumnType& to) {
    if (isIntegerType(to.type) || isFloatType(to.type)) return decimalTo(d, to);
    if (isScaledType(to.type)) return toDecimal(d.unscaled, d.scale, to);
    if (isDateType(to.type))
        return numberToDateTime(static_cast<double>(d.unscaled) / std::pow(10.0, d.scale), to.type);
    throw noConversion(from, to);
}

Value fromDateTime(const DateTimeValue& dt, const ColumnType& from, const ColumnType& to) {
    if (isDateType(to.type)) return roundDateTime(dt, to.type);
    const double days = dateTimeToDays(dt);
    if (isIntegerType(to.type)) return checkIntegerRange(static_cast<__int128>(std::llround(days)), to.type, false);
    if (isFloatType(to.type)) return days;
    if (isScaledType(to.type)) return doubleToDecimal(days, to);
    if (isBinaryType(to.type)) {
        std::vector<uint8_t> b = integerBytes(dt.days, SqlType::Int);
        const auto t = integerBytes(static_cast<int64_t>(dt.ticks), SqlType::Int);
        b.insert(b.end(), t.begin(), t.end());
        return fitBytes(std::move(b), to, Conversion::Explicit);
    }
    throw noConversion(from, to);
}

// The rightmost bytes, big-endian, as wide as the target type.
int64_t binaryToInteger(const std::vector<uint8_t>& b, SqlType to) {
    const size_t width = to == SqlType::BigInt ? 8 : to == SqlType::Int ? 4 : to == SqlType::SmallInt ? 2 : 1;
    uint64_t u = 0;
    const size_t start = b.size() > width ? b.size() - width : 0;
    for (size_t i = start; i < b.size(); ++i) u = (u << 8) | b[i];
    int64_t i = 0;
    switch (width) {
    case 8: i = static_cast<int64_t>(u); break;
    case 4: i = static_cast<int32_t>(static_cast<uint32_t>(u)); break;
    case 2: i = static_cast<int16_t>(static_cast<uint16_t>(u)); break;
    default: i = static_cast<uint8_t>(u); break;
    }
    if (to == SqlType::Bit) i = i != 0;
    return i;
}

// The last eight bytes as datetime's days and ticks, big-endian.
Value binaryToDateTime(const std::vector<uint8_t>& b, const ColumnType& to) {
    int64_t days = 0, ticks = 0;
    for (size_t i = b.size() - 8; i < b.size() - 4; ++i) days = (days << 8) | b[i];
    for (size_t i = b.size() - 4; i < b.size(); ++i) ticks = (ticks << 8) | b[i];
    DateTimeValue dt{static_cast<int32_t>(static_cast<uint32_t>(days)), static_cast<uint32_t>(ticks)};
    if (dt.ticks >= kTicksPerDay || dt.days < kMinDateTimeDays || dt.days > kMaxDateTimeDays)
        throw errors::arithmeticOverflow(typeName(to.type));
    return roundDateTime(dt, to.type);
}

Value fromBinary(const std::vector<uint8_t>& b, const ColumnType& from, const ColumnType& to, Conversion mode) {
    if (isBinaryType(to.type)) return fitBytes(b, to, mode);
    if (isIntegerType(to.type)) return binaryToInteger(b, to.type);
    if (to.type == SqlType::UniqueIdentifier) {
        Guid g{};
        std::copy_n(b.begin(), std::min<size_t>(16, b.size()), g.begin());
        return g;
    }
    if (isDateType(to.type) && b.size() >= 8) return binaryToDateTime(b, to);
    throw noConversion(from, to);
}

Value fromGuid(const Guid& g, const ColumnType& from, const ColumnType& to, Conversion mode) {
    if (to.type == SqlType::UniqueIdentifier) return g;
    if (isBinaryType(to.type)) return fitBytes(std::vector<uint8_t>(g.begin(), g.end()), to, mode);
    throw noConversion(from, to);
}

}  // namespace

// Text first, then the other kinds by source type: each has its own function.
Value convertValue(const Value& v, const ColumnType& from, const ColumnType& to, Conversion mode) {
    if (isNull(v)) return Value{};
    checkConversionAllowed(from, to, mode);
    if (isTextualType(from.type)) return fromText(v, from, to, mode);
    if (isTextualType(to.type)) return toText(v, from, to, mode);
    if (isIntegerType(from.type)) return fromInteger(std::get<int64_t>(v), from, to);
    if (isFloatType(from.type)) return fromFloat(std::get<double>(v), from, to);
    if (isScaledType(from.type)) return fromScaled(std::get<DecimalValue>(v), from, to);
    if (isDateType(from.type)) return fromDateTime(std::get<DateTimeValue>(v), from, to);
    if (isBinaryType(from.type)) return fromBinary(std::get<std::vector<uint8_t>>(v), from, to, mode);
    if (from.type == SqlType::UniqueIdentifier) return fromGuid(std::get<Guid>(v), from, to, mode);
    throw noConversion(from, to);
}

int compareValues(const Value& a, const Value& b, const ColumnType& type) {
    if (isTextualType(type.type)) {
        const Collation& collation = orDefault(type.collation);
        if (auto sa = std::get_if<std::string>(&a)) {
            if (auto sb = std::get_if<std::string>(&b)) return compareText(*sa, *sb, collation);
        }
        const std::u16string ua =
            std::holds_alternative<std::u16string>(a) ? std::get<std::u16string>(a) : utf8ToUtf16(asString(a));
        const std::u16string ub =
            std::holds_alternative<std::u16string>(b) ? std::get<std::u16string>(b) : utf8ToUtf16(asString(b));
        return compareText(ua, ub, collation);
    }
    if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
    if (auto ia = std::get_if<int64_t>(&a)) {
        const int64_t ib = std::get<int64_t>(b);
        return *ia < ib ? -1 : (*ia > ib ? 1 : 0);
    }
    if (auto da = std::get_if<double>(&a)) {
        const double db = std::get<double>(b);
        return *da < db ? -1 : (*da > db ? 1 : 0);
    }
    if (auto xa = std::get_if<DecimalValue>(&a)) {
        const auto& xb = std::get<DecimalValue>(b);
        const int scale = std::max(xa->scale, xb.scale);
        const __int128 va = xa->unscaled * pow10(scale - xa->scale), vb = xb.unscaled * pow10(scale - xb.scale);
        return va < vb ? -1 : (va > vb ? 1 : 0);
    }
    if (auto ta = std::get_if<DateTimeValue>(&a)) {
        const auto& tb = std::get<DateTimeValue>(b);
        if (ta->days != tb.days) return ta->days < tb.days ? -1 : 1;
        return ta->ticks < tb.ticks ? -1 : (ta->ticks > tb.ticks ? 1 : 0);
    }
    if (auto ba = std::get_if<std::vector<uint8_t>>(&a)) {
        // Binary values compare as if the shorter one were padded with zero bytes.
        const auto& bb = std::get<std::vector<uint8_t>>(b);
        const size_t n = std::max(ba->size(), bb.size());
        for (size_t i = 0; i < n; ++i) {
            const uint8_t x = i < ba->size() ? (*ba)[i] : 0, y = i < bb.size() ? bb[i] : 0;
            if (x != y) return x < y ? -1 : 1;
        }
        return 0;
    }
    if (auto ga = std::get_if<Guid>(&a)) {
        // SQL Server orders uniqueidentifier by byte groups from the last one.
        const auto& gb = std::get<Guid>(b);
        static const int order[] = {10, 11, 12, 13, 14, 15, 8, 9, 6, 7, 4, 5, 0, 1, 2, 3};
        for (int i : order)
            if ((*ga)[i] != gb[i]) return (*ga)[i] < gb[i] ? -1 : 1;
        return 0;
    }
    if (auto sa = std::get_if<std::string>(&a))
        return compareText(*sa, std::get<std::string>(b), orDefault(type.collation));
    if (auto ua = std::get_if<std::u16string>(&a))
        return compareText(*ua, std::get<std::u16string>(b), orDefault(type.collation));
    return 0;
}

std::string valueText(const Value& v, const ColumnType& type) {
    if (isNull(v)) return "NULL";
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto u = std::get_if<std::u16string>(&v)) return utf16ToUtf8(*u);
    if (auto i = std::get_if<int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) return floatText(*d);
    if (auto x = std::get_if<DecimalValue>(&v)) {
        if (type.type == SqlType::Money || type.type == SqlType::SmallMoney)
            return decimalText(rescale(x->unscaled, x->scale, 2), 2);  // style 0 of money: two decimals
        return decimalText(x->unscaled, x->scale);
    }
    if (auto t = std::get_if<DateTimeValue>(&v)) return dateTimeText(*t);
    if (auto b = std::get_if<std::vector<uint8_t>>(&v)) return hexText(*b);
    if (auto g = std::get_if<Guid>(&v)) return guidText(*g);
    return {};
}

DateTimeValue makeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    DateTimeValue dt;
    dt.days = daysFromCivil(year, month, day);
    const uint64_t ms = ((uint64_t(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    dt.ticks = static_cast<uint32_t>((ms * 3 + 5) / 10);
    if (dt.ticks >= kTicksPerDay) {
        dt.ticks -= kTicksPerDay;
        ++dt.days;
    }
    return dt;
}

namespace {

// Reads a datetime text left to right.
struct DateTimeScanner {
    std::string_view text;
    size_t i = 0;

    bool atEnd() const { return i >= text.size(); }
    bool at(char c) const { return i < text.size() && text[i] == c; }
    bool atLetter() const { return i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); }
    void skipSpaces() {
        while (at(' ')) ++i;
    }
    // Up to maxDigits digits; false when there is none.
    bool number(int maxDigits, int& value, int& digits) {
        value = 0;
        digits = 0;
        while (i < text.size() && digits < maxDigits && std::isdigit(static_cast<unsigned char>(text[i]))) {
            value = value * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        return digits > 0;
    }
};

struct CivilDate {
    int year = 1900, month = 1, day = 1;
};

struct TimeOfDay {
    int hour = 0, minute = 0, second = 0, millis = 0;
};

// "Jan  1 2000", "January 1, 2000": a month name of at least three letters, the day, a four-digit year.
bool scanMonthNameDate(DateTimeScanner& s, CivilDate& d) {
    std::string mon;
    while (s.atLetter()) mon += char(std::tolower(s.text[s.i++]));
    d.month = 0;
    for (int m = 0; m < 12; ++m)
        if (mon.size() >= 3 && mon.compare(0, 3, kMonths[m]) == 0) d.month = m + 1;
    if (d.month == 0) return false;
    s.skipSpaces();
    int digits = 0;
    if (!s.number(2, d.day, digits)) return false;
    s.skipSpaces();
    if (s.at(',')) {
        ++s.i;
        s.skipSpaces();
    }
    return s.number(4, d.year, digits) && digits == 4;
}

// yyyymmdd, or three numbers around one separator ('-', '/' or '.'): ymd when the first has four
// digits, else mdy as us_english reads it. A text that starts with its time is left unread.
bool scanNumericDate(DateTimeScanner& s, CivilDate& d, bool& haveDate) {
    const size_t save = s.i;
    int a = 0, da = 0;
    s.number(8, a, da);
    if (da == 8 && (s.atEnd() || s.at(' ') || s.at('T'))) {
        d = CivilDate{a / 10000, a / 100 % 100, a % 100};
        haveDate = true;
        return true;
    }
    if (da == 0 || !(s.at('-') || s.at('/') || s.at('.'))) {
        s.i = save;  // time only
        return true;
    }
    const char sep = s.text[s.i++];
    int b = 0, db = 0, c = 0, dc = 0;
    if (!s.number(4, b, db)) return false;
    if (!s.at(sep)) return false;
    ++s.i;
    if (!s.number(4, c, dc)) return false;
    haveDate = true;
    if (da == 4) {  // ymd
        d = CivilDate{a, b, c};
        return true;
    }
    d = CivilDate{c, a, b};  // mdy
    if (dc == 2)
        d.year += d.year < 50 ? 2000 : 1900;
    else if (dc != 4)
        return false;
    return true;
}

bool validDate(const CivilDate& d) {
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.year >= 1 && d.year <= 9999 &&
           d.day <= daysInMonth(d.year, d.month);
}

// Fractions of a second, kept to milliseconds.
bool scanFraction(DateTimeScanner& s, int& millis) {
    int frac = 0, fd = 0;
    if (!s.number(9, frac, fd)) return false;
    while (fd > 3) {
        frac /= 10;
        --fd;
    }
    while (fd < 3) {
        frac *= 10;
        ++fd;
    }
    millis = frac;
    return true;
}

// "hh:mm", "hh:mm:ss", "hh:mm:ss.fff" (or ":fff"), or an hour the AM / PM that follows makes a time.
bool scanClock(DateTimeScanner& s, TimeOfDay& t) {
    int digits = 0;
    if (!s.number(2, t.hour, digits)) return false;
    if (!s.at(':')) {
        s.skipSpaces();
        return !s.atEnd();  // a bare number is not a time
    }
    ++s.i;
    if (!s.number(2, t.minute, digits)) return false;
    if (!s.at(':')) return true;
    ++s.i;
    if (!s.number(2, t.second, digits)) return false;
    if (!s.at('.') && !s.at(':')) return true;
    ++s.i;
    return scanFraction(s, t.millis);
}

// AM or PM, turning a 12-hour clock's hour into 0-23.
bool scanMeridiem(DateTimeScanner& s, int& hour) {
    std::string ampm;
    while (s.atLetter()) ampm += char(std::toupper(s.text[s.i++]));
    if (ampm != "PM" && ampm != "AM") return false;
    if (hour > 12 || hour == 0) return false;
    if (ampm == "PM" && hour != 12) hour += 12;
    if (ampm == "AM" && hour == 12) hour = 0;
    return true;
}

// The time after the date, if any: midnight when there is none.
bool scanTime(DateTimeScanner& s, TimeOfDay& t) {
    if (s.atEnd()) return true;
    if (!scanClock(s, t)) return false;
    s.skipSpaces();
    if (!s.atEnd() && !scanMeridiem(s, t.hour)) return false;
    s.skipSpaces();
    if (!s.atEnd()) return false;
    return t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

}  // namespace

bool parseDateTime(std::string_view input, DateTimeValue& out) {
    const std::string text = trimBlanks(input);
    if (text.empty()) {  // '' is 1900-01-01 as in SQL Server
        out = DateTimeValue{0, 0};
        return true;
    }
    DateTimeScanner s{text};
    CivilDate date;
    bool haveDate = false;
    if (std::isalpha(static_cast<unsigned char>(text[0]))) {
        if (!scanMonthNameDate(s, date)) return false;
        haveDate = true;
    } else if (!scanNumericDate(s, date, haveDate)) {
        return false;
    }
    if (haveDate && !validDate(date)) return false;
    if (s.at('T') || s.at(' ')) ++s.i;
    s.skipSpaces();
    TimeOfDay time;
    if (!scanTime(s, time)) return false;
    out = makeDateTime(date.year, date.month, date.day, time.hour, time.minute, time.second, time.millis);
    return true;
}

std::string int128Text(__int128 v) {
    if (v == 0) return "0";
    const bool negative = v < 0;
    unsigned __int128 u = negative ? static_cast<unsigned __int128>(-(v + 1)) + 1 : static_cast<unsigned __int128>(v);
    std::string out;
    while (u > 0) {
        out += char('0' + static_cast<int>(u % 10));
        u /= 10;
    }
    if (negative) out += '-';
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace standin
