#pragma once
// SQL Server's errors as the engine raises them: number, class, state and text, plus how far the
// error reaches (the statement or the whole batch), which decides whether the batch goes on.
#include "tools/standin/sql/Engine.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace standin {

enum class ErrorReach {
    Statement,    // the statement is undone and "The statement has been terminated." follows; the batch goes on
    Batch,        // the statement is undone and the rest of the batch is skipped
    Transaction,  // as Batch, and an open transaction is rolled back (SQL Server's batch-aborting errors)
};

class SqlError : public std::runtime_error {
public:
    SqlError(int32_t number, uint8_t severity, uint8_t state, std::string text, ErrorReach reach);
    const Message& message() const { return message_; }
    ErrorReach reach() const { return reach_; }
    void setLine(int32_t line) { message_.line = line; }

private:
    Message message_;
    ErrorReach reach_;
};

// One factory per SQL Server message the engine can raise; texts as SQL Server words them.
namespace errors {
SqlError syntaxNear(std::string_view near);            // 102
SqlError syntaxNearKeyword(std::string_view keyword);  // 156
SqlError unclosedQuote(std::string_view text);         // 105
SqlError missingEndComment();                          // 113
SqlError invalidObject(std::string_view name);         // 208
SqlError invalidColumn(std::string_view name);         // 207
SqlError unboundIdentifier(std::string_view name);     // 4104
SqlError columnCountMismatch();                        // 213
SqlError moreInsertColumnsThanValues();                // 109
SqlError fewerInsertColumnsThanValues();               // 110
SqlError rowValueCountsDiffer();                       // 10709
SqlError columnListedTwice(std::string_view name);     // 264
SqlError columnSetTwice(std::string_view name);        // 264 (UPDATE wording is the same)
SqlError duplicateKey(bool primary, std::string_view constraint, std::string_view object,
                      std::string_view keyValue);                                       // 2627
SqlError nullNotAllowed(std::string_view column, std::string_view table, bool update);  // 515
SqlError conversionFailed(std::string_view fromType, std::string_view value,
                          std::string_view toType);  // 245
SqlError conversionOverflowed(std::string_view fromType, std::string_view value,
                              std::string_view toType);                                // 248
SqlError errorConvertingDataType(std::string_view fromType, std::string_view toType);  // 8114
SqlError dateConversionFailed();                                                       // 241
SqlError dateOutOfRange(std::string_view fromType, std::string_view toType);           // 242
SqlError smallDateConversionFailed();                                                  // 295
SqlError guidConversionFailed();                                                       // 8169
SqlError moneyConversionFailed();                                                      // 235
SqlError arithmeticOverflow(std::string_view toType);                                  // 8115
SqlError arithmeticOverflowValue(std::string_view type, std::string_view value);       // 220
SqlError divideByZero();                                                               // 8134
SqlError truncation();  // 8152: the conversion's own signal
SqlError truncatedInColumn(std::string_view table, std::string_view column,
                           std::string_view value);  // 2628, what 8152 becomes at compatibility level 150
SqlError implicitConversion(std::string_view fromType, std::string_view toType);  // 257
SqlError explicitConversion(std::string_view fromType, std::string_view toType);  // 529
SqlError operandTypeClash(std::string_view fromType, std::string_view toType);    // 206
SqlError incompatibleInOperator(std::string_view left, std::string_view right,
                                std::string_view op);  // 402
SqlError identityInsertOff(std::string_view table);    // 544
SqlError identityUpdate(std::string_view column);      // 8102
SqlError objectExists(std::string_view name);          // 2714
SqlError cannotDropTable(std::string_view name);       // 3701
SqlError databaseMissing(std::string_view name);       // 911
SqlError noTableToSelectFrom();                        // 263
SqlError orderByPosition(int64_t position);            // 108
SqlError unknownSetOption(std::string_view name);      // 195
SqlError undeclaredVariable(std::string_view name);    // 137
SqlError unknownProcedure(std::string_view name);      // 2812
SqlError unknownFunction(std::string_view name);       // 195 ('x' is not a recognized built-in function name.)
SqlError commitWithoutBegin();                         // 3902
SqlError rollbackWithoutBegin();                       // 3903
SqlError sizeTooLarge(std::string_view column, int64_t size, int64_t max);      // 131
SqlError aggregateInWhere();                                                    // 147
SqlError notInAggregate(std::string_view column);                               // 8120
SqlError unknownType(std::string_view name);                                    // 243
SqlError unknownColumnType(int column, std::string_view name);                  // 2715
SqlError nonBooleanCondition(std::string_view near);                            // 4145
SqlError notPermittedInContext(std::string_view name);                          // 128
SqlError schemaMissing(std::string_view name);                                  // 2760
SqlError multipleIdentity(std::string_view table);                              // 2744
SqlError badIdentityType(std::string_view column);                              // 2749
SqlError multiplePrimaryKeys(std::string_view table);                           // 8110
SqlError nullablePrimaryKey(std::string_view table);                            // 8111
SqlError invalidKeyColumn(std::string_view column, std::string_view table);     // 1919
SqlError duplicateColumnName(std::string_view column, std::string_view table);  // 2705
SqlError constraintColumnMissing(std::string_view column);                      // 1911
SqlError noIdentityProperty(std::string_view table);                            // 8106
SqlError negativeTop();                                                         // 1014
SqlError orderByItemsMustAppear();                                              // 145
SqlError unsupported(std::string_view what);                                    // 50000: outside the stand-in's subset
SqlError unsupportedStatement(std::string_view keyword);  // 40517: statements the stand-in does not keep
SqlError invalidCollation(std::string_view name);         // 448
SqlError collationOnNonText(std::string_view column);     // 2726
SqlError duplicateKeyOnIndex(std::string_view table, std::string_view index, std::string_view key);  // 1505
SqlError defaultExists();                                                                            // 1781
SqlError primaryKeyExists(std::string_view table);                                                   // 1779
SqlError lockTimeout();                                                                              // 1222
SqlError invalidDefaultColumn(std::string_view column, std::string_view table);                      // 1752
SqlError indexColumnMissing(std::string_view column);                                                // 1911
SqlError indexExists(std::string_view index, std::string_view table);                                // 1913
SqlError databaseExists(std::string_view name);                                                      // 1801
SqlError createDatabaseInTransaction();                                                              // 226
SqlError adHocCatalogUpdate();                                                                       // 259
Message statementTerminated();                                                                       // 3621
Message changedDatabase(std::string_view name);                                                      // 5701
}  // namespace errors

}  // namespace standin
