#pragma once
// A ResultSink that keeps everything a batch reports, for tests of the stand-in's engine.
#include "tools/standin/sql/Engine.h"
#include "tools/standin/sql/SqlValue.h"

#include <string>
#include <vector>

namespace standin::test {

struct Result {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

struct Done {
    int64_t count;
    bool hasCount;
    bool error;
};

class RecordingSink : public ResultSink {
public:
    std::vector<Result> results;
    std::vector<Done> dones;
    std::vector<Message> messages;
    std::vector<std::pair<std::string, std::string>> databaseChanges;
    std::vector<std::pair<TransactionChange, int64_t>> transactionChanges;
    std::vector<std::string> order;  // "columns", "row", "done", "message" as they came

    void columns(const std::vector<Column>& c) override {
        results.push_back(Result{c, {}});
        order.push_back("columns");
    }
    void row(const std::vector<Value>& v) override {
        results.back().rows.push_back(v);
        order.push_back("row");
    }
    void done(int64_t count, bool hasCount, bool error) override {
        dones.push_back(Done{count, hasCount, error});
        order.push_back("done");
    }
    void message(const Message& m) override {
        messages.push_back(m);
        order.push_back("message");
    }
    void databaseChanged(const std::string& o, const std::string& n) override { databaseChanges.emplace_back(o, n); }
    void transactionChanged(TransactionChange change, int64_t id) override {
        transactionChanges.emplace_back(change, id);
    }

    // Error numbers (severity above 10) in order.
    std::vector<int32_t> errors() const {
        std::vector<int32_t> out;
        for (const auto& m : messages)
            if (m.severity > 10) out.push_back(m.number);
        return out;
    }
    // The rows of the last result as text, cells joined by '|', NULL as "NULL".
    std::vector<std::string> text(size_t result = static_cast<size_t>(-1)) const {
        std::vector<std::string> out;
        if (results.empty()) return out;
        const Result& r = result == static_cast<size_t>(-1) ? results.back() : results.at(result);
        for (const auto& row : r.rows) {
            std::string line;
            for (size_t i = 0; i < row.size(); ++i) {
                if (i) line += '|';
                line += valueText(row[i], r.columns[i].type);
            }
            out.push_back(line);
        }
        return out;
    }
};

}  // namespace standin::test
