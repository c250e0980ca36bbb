#pragma once
// Every batch a client sends, in arrival order, kept in memory for in-process tests and written to
// an optional file as JSON lines {"conn": N, "sql": "..."} before the batch runs, so reviewers and
// out-of-process tests see exactly what was sent even if the batch then hangs or crashes a client.
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct LoggedBatch {
    int connection = 0;
    std::string sql;  // UTF-8, exactly as received
};

class StatementLog {
public:
    // Appends to the file; throws std::runtime_error naming it when it cannot be opened.
    explicit StatementLog(std::optional<std::string> file = std::nullopt);

    void record(int connection, std::string_view sql);
    std::vector<LoggedBatch> entries() const;
    void clear();

    // {"conn": N, "sql": "..."} without the line end; UTF-8 passes through, controls are escaped.
    static std::string jsonLine(int connection, std::string_view sql);

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    mutable std::mutex mutex_;
    std::vector<LoggedBatch> entries_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace standin
