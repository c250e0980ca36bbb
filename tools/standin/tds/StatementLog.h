#pragma once
// Every batch a client sends, in arrival order, kept in memory for in-process tests and written to
// an optional file as JSON lines {"conn": N, "sql": "..."} before the batch runs, so reviewers and
// out-of-process tests see exactly what was sent even if the batch then hangs or crashes a client.
// Each login also leaves a line {"conn": N, "encryption": "none" | "login" | "full"}: how much of
// that connection runs over TLS.
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

struct LoggedConnection {
    int connection = 0;
    std::string encryption;  // "none", "login" or "full"
};

class StatementLog {
public:
    // Appends to the file; throws std::runtime_error naming it when it cannot be opened.
    explicit StatementLog(std::optional<std::string> file = std::nullopt);

    void record(int connection, std::string_view sql);
    void recordEncryption(int connection, std::string_view encryption);
    std::vector<LoggedBatch> entries() const;
    std::vector<LoggedConnection> connections() const;
    void clear();

    // {"conn": N, "sql": "..."} without the line end; UTF-8 passes through, controls are escaped.
    static std::string jsonLine(int connection, std::string_view sql);

private:
    void writeLine(const std::string& line);

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    mutable std::mutex mutex_;
    std::vector<LoggedBatch> entries_;
    std::vector<LoggedConnection> connections_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace standin
