#pragma once
// The stand-in's data file: every database, table, key and row, versioned and guarded by a CRC-32
// so that damage is found at start instead of silently losing data.
#include "tools/standin/sql/Catalog.h"
#include "tools/standin/sql/UndoLog.h"

#include <string>
#include <vector>

namespace standin {

class DataFile {
public:
    // Reads the tables. Throws std::runtime_error naming the file when it cannot be read or is damaged.
    static Catalog load(const std::string& path);
    // Writes what is committed: the catalog without the changes recorded in the open transactions'
    // logs. Writes a new file beside the old one, flushes it to the disk and renames it over the
    // old one, so a crash leaves either the old or the new file. Throws std::runtime_error.
    static void save(const std::string& path, const Catalog& catalog, const std::vector<const UndoLog*>& uncommitted);

    // The file's contents for a catalog, and the catalog of given contents (for tests and load).
    static std::string serialize(const Catalog& catalog, const std::vector<const UndoLog*>& uncommitted);
    static Catalog deserialize(const std::string& bytes, const std::string& pathForMessages);
};

}  // namespace standin
