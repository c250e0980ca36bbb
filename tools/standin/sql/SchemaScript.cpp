#include "tools/standin/sql/SchemaScript.h"

#include <cctype>
#include <charconv>

namespace standin {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Whether the line is a batch separator; repeat gets its count.
bool isSeparator(std::string_view line, int& repeat) {
    line = trim(line);
    if (const auto comment = line.find("--"); comment != std::string_view::npos) line = trim(line.substr(0, comment));
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'G' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'O')
        return false;
    const std::string_view rest = trim(line.substr(2));
    repeat = 1;
    if (rest.empty()) return true;
    int n = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), n);
    if (ec != std::errc() || end != rest.data() + rest.size() || n < 1) return false;
    repeat = n;
    return true;
}

}  // namespace

std::vector<ScriptBatch> splitBatches(std::string_view script) {
    std::vector<ScriptBatch> batches;
    ScriptBatch current;
    int lineNumber = 0;
    auto finish = [&](int repeat, int nextLine) {
        if (!trim(current.text).empty()) {
            current.repeat = repeat;
            batches.push_back(std::move(current));
        }
        current = ScriptBatch{};
        current.firstLine = nextLine;
    };
    size_t pos = 0;
    while (pos <= script.size()) {
        const size_t end = std::min(script.find('\n', pos), script.size());
        if (pos == script.size()) break;  // nothing after the last line break
        std::string_view line = script.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++lineNumber;
        int repeat = 1;
        if (isSeparator(line, repeat)) {
            finish(repeat, lineNumber + 1);
        } else {
            if (current.text.empty()) current.firstLine = lineNumber;
            current.text.append(line);
            current.text += '\n';
        }
        if (end == script.size()) break;
        pos = end + 1;
    }
    finish(1, lineNumber + 1);
    return batches;
}

}  // namespace standin
