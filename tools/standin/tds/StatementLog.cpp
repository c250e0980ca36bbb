#include "tools/standin/tds/StatementLog.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace standin {

StatementLog::StatementLog(std::optional<std::string> file) {
    if (!file) return;
    file_.reset(std::fopen(file->c_str(), "a"));
    if (!file_) throw std::runtime_error("cannot open the statement log '" + *file + "': " + std::strerror(errno));
}

std::string StatementLog::jsonLine(int connection, std::string_view sql) {
    std::string out = "{\"conn\": " + std::to_string(connection) + ", \"sql\": \"";
    out.reserve(out.size() + sql.size() + 4);
    static const char hex[] = "0123456789abcdef";
    for (char ch : sql) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 0xF]);
            } else {
                out.push_back(ch);
            }
        }
    }
    out += "\"}";
    return out;
}

void StatementLog::record(int connection, std::string_view sql) {
    std::lock_guard lock(mutex_);
    entries_.push_back({connection, std::string(sql)});
    writeLine(jsonLine(connection, sql));
}

void StatementLog::recordEncryption(int connection, std::string_view encryption) {
    std::lock_guard lock(mutex_);
    connections_.push_back({connection, std::string(encryption)});
    writeLine("{\"conn\": " + std::to_string(connection) + ", \"encryption\": \"" + std::string(encryption) + "\"}");
}

void StatementLog::writeLine(const std::string& line) {
    if (!file_) return;
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fputc('\n', file_.get());
    std::fflush(file_.get());
}

std::vector<LoggedBatch> StatementLog::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<LoggedConnection> StatementLog::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void StatementLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    connections_.clear();
}

}  // namespace standin
