#pragma once
// Values of SQL Server's types: names, precedence, conversion (implicit, explicit and on assignment to
// a column, with SQL Server's errors), comparison under the default collation, and text forms.
#include "tools/standin/sql/Engine.h"

#include <string>
#include <string_view>

namespace standin {

enum class Conversion {
    Implicit,    // inside an expression: only what SQL Server converts on its own; texts cut silently
    Assignment,  // into a column: implicit rules, and cutting data raises "would be truncated"
    Explicit,    // CAST / CONVERT
};

const char* typeName(SqlType type);                   // "int", "varchar", ... as SQL Server names them in messages
std::string typeDeclaration(const ColumnType& type);  // "varchar(14)", "decimal(10,2)"
bool isIntegerType(SqlType type);                     // int, smallint, tinyint, bigint, bit
bool isNumericType(SqlType type);                     // every number type
bool isCharType(SqlType type);                        // char, varchar, text
bool isNCharType(SqlType type);                       // nchar, nvarchar, ntext
bool isTextualType(SqlType type);                     // either of the two above
bool isBinaryType(SqlType type);                      // binary, varbinary, image
bool isLongType(SqlType type);                        // text, ntext, image
bool isDateType(SqlType type);                        // datetime, smalldatetime
int typePrecedence(SqlType type);                     // higher wins when two types meet

ColumnType makeType(SqlType type, int length = 0, int precision = 0, int scale = 0);

// The type both sides of a comparison or arithmetic are converted to.
ColumnType commonType(const ColumnType& a, const ColumnType& b);

// Whether SQL Server converts from into to without CAST / CONVERT.
bool implicitlyConvertible(SqlType from, SqlType to);

// Converts v (of type from) to type to; throws SqlError as SQL Server would.
Value convertValue(const Value& v, const ColumnType& from, const ColumnType& to, Conversion mode);

// Compares two non-NULL values already held in the representation of type; <0, 0, >0.
int compareValues(const Value& a, const Value& b, const ColumnType& type);

// The text SQL Server shows for a value (conversion to varchar): "12", "1.50", "Jan  1 2000 12:00AM".
std::string valueText(const Value& v, const ColumnType& type);

// Number and date helpers the parser and the demo data use.
bool parseDateTime(std::string_view text, DateTimeValue& out);
DateTimeValue makeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                           int millisecond = 0);
std::string int128Text(__int128 v);

// The values an integer type holds: tinyint, smallint and bigint their own, every other type int's.
struct IntegerRange {
    __int128 lowest;
    __int128 highest;
};
IntegerRange integerRange(SqlType type);

}  // namespace standin
