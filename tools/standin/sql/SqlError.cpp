#include "tools/standin/sql/SqlError.h"

#include <utility>

namespace standin {

SqlError::SqlError(int32_t number, uint8_t severity, uint8_t state, std::string text, ErrorReach reach)
    : std::runtime_error(text), reach_(reach) {
    message_.number = number;
    message_.severity = severity;
    message_.state = state;
    message_.text = std::move(text);
}

namespace errors {
namespace {
std::string s(std::string_view v) { return std::string(v); }
SqlError batch(int32_t n, uint8_t sev, uint8_t state, std::string text) {
    return SqlError(n, sev, state, std::move(text), ErrorReach::Batch);
}
SqlError aborting(int32_t n, uint8_t sev, uint8_t state, std::string text) {
    return SqlError(n, sev, state, std::move(text), ErrorReach::Transaction);
}
SqlError statement(int32_t n, uint8_t sev, uint8_t state, std::string text) {
    return SqlError(n, sev, state, std::move(text), ErrorReach::Statement);
}
}  // namespace

SqlError syntaxNear(std::string_view near) { return batch(102, 15, 1, "Incorrect syntax near '" + s(near) + "'."); }
SqlError syntaxNearKeyword(std::string_view keyword) {
    return batch(156, 15, 1, "Incorrect syntax near the keyword '" + s(keyword) + "'.");
}
SqlError unclosedQuote(std::string_view text) {
    return batch(105, 15, 1, "Unclosed quotation mark after the character string '" + s(text) + "'.");
}
SqlError missingEndComment() { return batch(113, 15, 1, "Missing end comment mark '*/'."); }
SqlError invalidObject(std::string_view name) { return batch(208, 16, 1, "Invalid object name '" + s(name) + "'."); }
SqlError invalidColumn(std::string_view name) { return batch(207, 16, 1, "Invalid column name '" + s(name) + "'."); }
SqlError unboundIdentifier(std::string_view name) {
    return batch(4104, 16, 1, "The multi-part identifier \"" + s(name) + "\" could not be bound.");
}
SqlError columnCountMismatch() {
    return batch(213, 16, 1, "Column name or number of supplied values does not match table definition.");
}
SqlError moreInsertColumnsThanValues() {
    return batch(109, 15, 1,
                 "There are more columns in the INSERT statement than values specified in the VALUES clause. "
                 "The number of values in the VALUES clause must match the number of columns specified in "
                 "the INSERT statement.");
}
SqlError fewerInsertColumnsThanValues() {
    return batch(110, 15, 1,
                 "There are fewer columns in the INSERT statement than values specified in the VALUES clause. "
                 "The number of values in the VALUES clause must match the number of columns specified in "
                 "the INSERT statement.");
}
SqlError rowValueCountsDiffer() {
    return batch(10709, 16, 1, "The number of columns for each row in a table value constructor must be the same.");
}
SqlError columnListedTwice(std::string_view name) {
    return batch(264, 16, 1,
                 "The column name '" + s(name) +
                     "' is specified more than once in the SET clause or column list of an INSERT. A column "
                     "cannot be assigned more than one value in the same clause. Modify the clause to make sure "
                     "that a column is updated only once. If this statement updates or inserts columns into a "
                     "view, column aliasing can conceal the duplication in your code.");
}
SqlError columnSetTwice(std::string_view name) { return columnListedTwice(name); }
SqlError duplicateKey(bool primary, std::string_view constraint, std::string_view object, std::string_view keyValue) {
    return statement(2627, 14, 1,
                     std::string("Violation of ") + (primary ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint '" +
                         s(constraint) + "'. Cannot insert duplicate key in object '" + s(object) +
                         "'. The duplicate key value is (" + s(keyValue) + ").");
}
SqlError nullNotAllowed(std::string_view column, std::string_view table, bool update) {
    return statement(515, 16, 2,
                     "Cannot insert the value NULL into column '" + s(column) + "', table '" + s(table) +
                         "'; column does not allow nulls. " + (update ? "UPDATE" : "INSERT") + " fails.");
}
SqlError conversionFailed(std::string_view fromType, std::string_view value, std::string_view toType) {
    return aborting(245, 16, 1,
                    "Conversion failed when converting the " + s(fromType) + " value '" + s(value) + "' to data type " +
                        s(toType) + ".");
}
SqlError conversionOverflowed(std::string_view fromType, std::string_view value, std::string_view toType) {
    return aborting(
        248, 16, 1,
        "The conversion of the " + s(fromType) + " value '" + s(value) + "' overflowed an " + s(toType) + " column.");
}
SqlError errorConvertingDataType(std::string_view fromType, std::string_view toType) {
    return aborting(8114, 16, 5, "Error converting data type " + s(fromType) + " to " + s(toType) + ".");
}
SqlError dateConversionFailed() {
    return aborting(241, 16, 1, "Conversion failed when converting date and/or time from character string.");
}
SqlError dateOutOfRange(std::string_view fromType, std::string_view toType) {
    return aborting(242, 16, 3,
                    "The conversion of a " + s(fromType) + " data type to a " + s(toType) +
                        " data type resulted in an out-of-range value.");
}
SqlError smallDateConversionFailed() {
    return aborting(295, 16, 3, "Conversion failed when converting character string to smalldatetime data type.");
}
SqlError guidConversionFailed() {
    return aborting(8169, 16, 2, "Conversion failed when converting from a character string to uniqueidentifier.");
}
SqlError moneyConversionFailed() {
    return aborting(235, 16, 0, "Cannot convert a char value to money. The char value has incorrect syntax.");
}
SqlError arithmeticOverflow(std::string_view toType) {
    return statement(8115, 16, 2, "Arithmetic overflow error converting expression to data type " + s(toType) + ".");
}
SqlError arithmeticOverflowValue(std::string_view type, std::string_view value) {
    return statement(220, 16, 2, "Arithmetic overflow error for data type " + s(type) + ", value = " + s(value) + ".");
}
SqlError divideByZero() { return statement(8134, 16, 1, "Divide by zero error encountered."); }
SqlError truncation() { return statement(8152, 16, 14, "String or binary data would be truncated."); }
SqlError truncatedInColumn(std::string_view table, std::string_view column, std::string_view value) {
    return statement(2628, 16, 1,
                     "String or binary data would be truncated in table '" + s(table) + "', column '" + s(column) +
                         "'. Truncated value: '" + s(value) + "'.");
}
SqlError implicitConversion(std::string_view fromType, std::string_view toType) {
    return batch(257, 16, 3,
                 "Implicit conversion from data type " + s(fromType) + " to " + s(toType) +
                     " is not allowed. Use the CONVERT function to run this query.");
}
SqlError explicitConversion(std::string_view fromType, std::string_view toType) {
    return batch(529, 16, 2,
                 "Explicit conversion from data type " + s(fromType) + " to " + s(toType) + " is not allowed.");
}
SqlError operandTypeClash(std::string_view fromType, std::string_view toType) {
    return batch(206, 16, 2, "Operand type clash: " + s(fromType) + " is incompatible with " + s(toType));
}
SqlError incompatibleInOperator(std::string_view left, std::string_view right, std::string_view op) {
    return batch(402, 16, 1,
                 "The data types " + s(left) + " and " + s(right) + " are incompatible in the " + s(op) + " operator.");
}
SqlError identityInsertOff(std::string_view table) {
    return statement(544, 16, 1,
                     "Cannot insert explicit value for identity column in table '" + s(table) +
                         "' when IDENTITY_INSERT is set to OFF.");
}
SqlError identityUpdate(std::string_view column) {
    return batch(8102, 16, 1, "Cannot update identity column '" + s(column) + "'.");
}
SqlError objectExists(std::string_view name) {
    return statement(2714, 16, 6, "There is already an object named '" + s(name) + "' in the database.");
}
SqlError cannotDropTable(std::string_view name) {
    return statement(
        3701, 11, 5,
        "Cannot drop the table '" + s(name) + "', because it does not exist or you do not have permission.");
}
SqlError databaseMissing(std::string_view name) {
    return statement(911, 16, 1,
                     "Database '" + s(name) + "' does not exist. Make sure that the name is entered correctly.");
}
SqlError noTableToSelectFrom() { return batch(263, 16, 1, "Must specify table to select from."); }
SqlError orderByPosition(int64_t position) {
    return batch(108, 16, 1,
                 "The ORDER BY position number " + std::to_string(position) +
                     " is out of range of the number of items in the select list.");
}
SqlError unknownSetOption(std::string_view name) {
    return batch(195, 15, 1, "'" + s(name) + "' is not a recognized SET option.");
}
SqlError undeclaredVariable(std::string_view name) {
    return batch(137, 15, 2, "Must declare the scalar variable \"" + s(name) + "\".");
}
SqlError unknownProcedure(std::string_view name) {
    return statement(2812, 16, 62, "Could not find stored procedure '" + s(name) + "'.");
}
SqlError unknownFunction(std::string_view name) {
    return batch(195, 15, 10, "'" + s(name) + "' is not a recognized built-in function name.");
}
SqlError commitWithoutBegin() {
    return statement(3902, 16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
}
SqlError rollbackWithoutBegin() {
    return statement(3903, 16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
}
SqlError sizeTooLarge(std::string_view column, int64_t size, int64_t max) {
    return batch(131, 15, 2,
                 "The size (" + std::to_string(size) + ") given to the column '" + s(column) +
                     "' exceeds the maximum allowed for any data type (" + std::to_string(max) + ").");
}
SqlError aggregateInWhere() {
    return batch(147, 15, 1,
                 "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a "
                 "HAVING clause or a select list, and the column being aggregated is an outer reference.");
}
SqlError notInAggregate(std::string_view column) {
    return batch(8120, 16, 1,
                 "Column '" + s(column) +
                     "' is invalid in the select list because it is not contained in either an aggregate "
                     "function or the GROUP BY clause.");
}
SqlError unknownType(std::string_view name) {
    return batch(243, 16, 2, "Type " + s(name) + " is not a defined system type.");
}
SqlError unknownColumnType(int column, std::string_view name) {
    return batch(
        2715, 16, 6,
        "Column, parameter, or variable #" + std::to_string(column) + ": Cannot find data type " + s(name) + ".");
}
SqlError nonBooleanCondition(std::string_view near) {
    return batch(4145, 15, 1,
                 "An expression of non-boolean type specified in a context where a condition is expected, near '" +
                     s(near) + "'.");
}
SqlError notPermittedInContext(std::string_view name) {
    return batch(128, 15, 1,
                 "The name \"" + s(name) +
                     "\" is not permitted in this context. Valid expressions are constants, constant expressions, "
                     "and (in some contexts) variables. Column names are not permitted.");
}
SqlError schemaMissing(std::string_view name) {
    return batch(
        2760, 16, 1,
        "The specified schema name \"" + s(name) + "\" either does not exist or you do not have permission to use it.");
}
SqlError multipleIdentity(std::string_view table) {
    return batch(2744, 16, 2,
                 "Multiple identity columns specified for table '" + s(table) +
                     "'. Only one identity column is allowed per table.");
}
SqlError badIdentityType(std::string_view column) {
    return batch(2749, 16, 2,
                 "Identity column '" + s(column) +
                     "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of "
                     "0, and constrained to be nonnullable.");
}
SqlError multiplePrimaryKeys(std::string_view table) {
    return batch(8110, 16, 0, "Cannot add multiple PRIMARY KEY constraints to table '" + s(table) + "'.");
}
SqlError nullablePrimaryKey(std::string_view table) {
    return batch(8111, 16, 1, "Cannot define PRIMARY KEY constraint on nullable column in table '" + s(table) + "'.");
}
SqlError invalidKeyColumn(std::string_view column, std::string_view table) {
    return batch(1919, 16, 1,
                 "Column '" + s(column) + "' in table '" + s(table) +
                     "' is of a type that is invalid for use as a key column in an index.");
}
SqlError duplicateColumnName(std::string_view column, std::string_view table) {
    return batch(2705, 16, 3,
                 "Column names in each table must be unique. Column name '" + s(column) + "' in table '" + s(table) +
                     "' is specified more than once.");
}
SqlError constraintColumnMissing(std::string_view column) {
    return batch(1911, 16, 1, "Column name '" + s(column) + "' does not exist in the target table or view.");
}
SqlError noIdentityProperty(std::string_view table) {
    return batch(8106, 16, 1,
                 "Table '" + s(table) + "' does not have the identity property. Cannot perform SET operation.");
}
SqlError negativeTop() { return batch(1014, 15, 1, "A TOP N or FETCH rows value may not be negative."); }
SqlError orderByItemsMustAppear() {
    return batch(145, 15, 1, "ORDER BY items must appear in the select list if SELECT DISTINCT is specified.");
}
SqlError unsupported(std::string_view what) {
    return batch(50000, 16, 1, "The SQL Server stand-in does not support " + s(what) + ".");
}
SqlError unsupportedStatement(std::string_view keyword) {
    // SQL Server's answer where an edition lacks a statement; the stand-in keeps tables and keys only.
    return batch(40517, 16, 1,
                 "Keyword or statement option '" + s(keyword) + "' is not supported in this version of SQL Server.");
}
SqlError invalidCollation(std::string_view name) { return batch(448, 16, 1, "Invalid collation '" + s(name) + "'."); }
SqlError collationOnNonText(std::string_view column) {
    return batch(2726, 16, 1, "Cannot use collation on column '" + s(column) + "' of non-character data type.");
}
SqlError duplicateKeyOnIndex(std::string_view table, std::string_view index, std::string_view key) {
    return statement(1505, 16, 1,
                     "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
                     "name '" +
                         s(table) + "' and the index name '" + s(index) + "'. The duplicate key value is " + s(key) +
                         ".");
}
SqlError defaultExists() { return statement(1781, 16, 1, "Column already has a DEFAULT bound to it."); }
SqlError invalidDefaultColumn(std::string_view column, std::string_view table) {
    return statement(
        1752, 16, 0,
        "Column '" + s(column) + "' in table '" + s(table) + "' is invalid for creating a default constraint.");
}
SqlError indexColumnMissing(std::string_view column) {
    return statement(1911, 16, 1, "Column name '" + s(column) + "' does not exist in the target table or view.");
}
SqlError indexExists(std::string_view index, std::string_view table) {
    return statement(1913, 16, 1,
                     "The operation failed because an index or statistics with name '" + s(index) +
                         "' already exists on table '" + s(table) + "'.");
}
SqlError databaseExists(std::string_view name) {
    return statement(1801, 16, 3, "Database '" + s(name) + "' already exists. Choose a different database name.");
}
SqlError createDatabaseInTransaction() {
    return statement(226, 16, 6, "CREATE DATABASE statement not allowed within multi-statement transaction.");
}
SqlError adHocCatalogUpdate() { return statement(259, 16, 1, "Ad hoc updates to system catalogs are not allowed."); }
SqlError primaryKeyExists(std::string_view table) {
    return statement(1779, 16, 0, "Table '" + s(table) + "' already has a primary key defined on it.");
}
SqlError lockTimeout() { return statement(1222, 16, 56, "Lock request time out period exceeded."); }
Message statementTerminated() {
    Message m;
    m.number = 3621;
    m.state = 1;
    m.severity = 0;
    m.text = "The statement has been terminated.";
    return m;
}
Message changedDatabase(std::string_view name) {
    Message m;
    m.number = 5701;
    m.state = 1;
    m.severity = 0;
    m.text = "Changed database context to '" + s(name) + "'.";
    return m;
}
}  // namespace errors

}  // namespace standin
