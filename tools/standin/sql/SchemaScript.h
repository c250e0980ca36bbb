#pragma once
// T-SQL scripts as sqlcmd and SQL Server's own tools write them: batches separated by lines that
// hold only GO (optionally with a repeat count and a comment).
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct ScriptBatch {
    std::string text;
    int firstLine = 1;  // line of the script the batch starts on
    int repeat = 1;     // GO n runs the batch n times
};

// The batches of a script; batches that hold nothing but blanks are left out.
std::vector<ScriptBatch> splitBatches(std::string_view script);

}  // namespace standin
