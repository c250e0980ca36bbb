#pragma once
// A fresh private folder under the system's temporary folder for one test, removed with everything in it
// (read-only parts included) at scope end; and the file helpers the tests use on what they put there.
// Standard library and POSIX only: suites without Qt use it too.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace vactest {

class TempFolder {
public:
    TempFolder() {
        // mkdtemp picks a name nobody holds and creates the folder 0700 in one step.
        std::string pattern = (std::filesystem::temp_directory_path() / "vac-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder in " << pattern;
        FPath = pattern;
    }
    ~TempFolder() {
        // A test may leave folders it made read-only; removal needs them writable again.
        std::error_code error;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     error);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(FPath, error))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(FPath, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // A path inside the folder.
    std::string File(const std::string& relative) const { return (FPath / relative).string(); }

    // Names of everything directly in the folder, sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(FPath)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path FPath;
};

inline void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file's lines without line ends, blank lines left out.
inline std::vector<std::string> NonBlankLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string line;
    std::ifstream in(path, std::ios::binary);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The mode's permission bits; all ones when the path cannot be read.
inline unsigned PermissionBits(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return ~0u;
    return info.st_mode & 07777;
}

}  // namespace vactest
