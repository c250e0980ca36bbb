#pragma once
// A private temporary folder for one test, removed with everything in it (read-only parts included).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>

class TTestFolder {
public:
    TTestFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vac-options-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
        Root = pattern;
    }
    ~TTestFolder() {
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Root, error))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(Root, error);
    }
    TTestFolder(const TTestFolder&) = delete;
    TTestFolder& operator=(const TTestFolder&) = delete;

    std::string Path(const std::string& relative = {}) const {
        return relative.empty() ? Root.string() : (Root / relative).string();
    }

private:
    std::filesystem::path Root;
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

inline unsigned PermissionBits(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return ~0u;
    return info.st_mode & 07777;
}
