#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "settings/ProfileText.h"

namespace profile {
namespace {

// Closes a POSIX file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : FFd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    bool Close() {
        if (FFd < 0) return true;
        const bool closed = ::close(FFd) == 0;
        FFd = -1;
        return closed;
    }

private:
    int FFd;
};

// Removes the temporary copy unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : FPath(std::move(path)) {}
    ~TemporaryFile() {
        if (!FPath.empty()) ::unlink(FPath.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& Path() const { return FPath; }
    void Keep() { FPath.clear(); }

private:
    std::string FPath;
};

// The whole contents of a regular file; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (static_cast<std::size_t>(info.st_size) > MaxProfileFileSize) return std::nullopt;
    std::string contents;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        contents.append(buffer, static_cast<std::size_t>(got));
        if (contents.size() > MaxProfileFileSize) return std::nullopt;
    }
    return contents;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// A file with no write permission for anyone is read-only even for the superuser, as a read-only
// file is on Windows; otherwise the caller's own rights decide.
bool MayWrite(const std::string& path, const struct stat& info) {
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return ::access(path.c_str(), W_OK) == 0;
}

std::filesystem::path FolderOf(const std::string& target) {
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// The temporary copies are named ".<file name>.XXXXXX" (mkostemp's six characters).
std::string CopyPrefix(const std::string& target) {
    return "." + std::filesystem::path(target).filename().string() + ".";
}

// Removes the caller's own copies that an interrupted write left beside the target.
void RemoveLeftoverCopies(const std::string& target) {
    const std::string prefix = CopyPrefix(target);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(FolderOf(target), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        ::unlink(entry.path().c_str());
    }
}

// Rewrites the file itself: for a file the caller may write in a folder where no copy can be made.
bool RewriteInPlace(const std::string& target, std::string_view contents) {
    FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.Valid()) return false;
    if (!WriteAll(fd.Get(), contents)) return false;
    if (::ftruncate(fd.Get(), static_cast<off_t>(contents.size())) != 0) return false;
    return ::fsync(fd.Get()) == 0 && fd.Close();
}

// Writes the contents beside the target and renames the copy over it.
bool ReplaceFile(const std::string& target, std::string_view contents, const struct stat* existing) {
    const std::filesystem::path folder = FolderOf(target);
    RemoveLeftoverCopies(target);
    if (existing != nullptr && ::access(folder.c_str(), W_OK) != 0) return RewriteInPlace(target, contents);
    std::string pattern = (folder / CopyPrefix(target)).string() + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    TemporaryFile temporary(name.data());

    const mode_t mode = existing ? (existing->st_mode & 07777) : (S_IRUSR | S_IWUSR);
    if (::fchmod(fd.Get(), mode) != 0) return false;
    if (existing && (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid())) {
        // Only the superuser may hand the copy back to the old owner; for anyone else the copy is theirs.
        if (::fchown(fd.Get(), existing->st_uid, existing->st_gid) != 0 && errno != EPERM) return false;
    }
    if (!WriteAll(fd.Get(), contents) || ::fsync(fd.Get()) != 0 || !fd.Close()) return false;
    if (::rename(temporary.Path().c_str(), target.c_str()) != 0) return false;
    temporary.Keep();

    // Make the rename itself durable; the new contents are already in place if this fails.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) ::fsync(dir.Get());
    return true;
}

// A symbolic link is followed, so the link stays and the file it names is replaced.
std::string ResolveLinks(const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_symlink(fileName, error)) return fileName;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(fileName, error);
    return error ? fileName : resolved.string();
}

}  // namespace

bool ProfileFileTooLarge(const std::string& fileName) {
    struct stat info {};
    return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<std::size_t>(info.st_size) > MaxProfileFileSize;
}

std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize, const std::string& fileName) {
    std::string result;
    std::optional<std::string> contents;
    if (!fileName.empty()) contents = ReadWholeFile(fileName);
    std::optional<std::string> value;
    if (contents) value = TProfileText(std::move(*contents)).Value(section, key);
    result = value ? std::move(*value) : std::string(TrimTrailingBlanks(defaultValue));
    if (bufferSize == 0) return {};
    if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& fileName) {
    if (fileName.empty()) return false;
    const std::string target = ResolveLinks(fileName);

    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return false;
    std::string contents;
    if (exists) {
        if (!S_ISREG(info.st_mode) || !MayWrite(target, info)) return false;
        std::optional<std::string> read = ReadWholeFile(target);
        if (!read) return false;
        contents = std::move(*read);
    }

    TProfileText text(contents);
    if (!text.SetValue(section, key, value)) return false;
    if (exists && text.Text() == contents) return true;  // the value is already stored
    return ReplaceFile(target, text.Text(), exists ? &info : nullptr);
}

}  // namespace profile
