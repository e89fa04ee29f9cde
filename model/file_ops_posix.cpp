// The file operations on POSIX systems, for the native build of the model and
// its tests (see model/file_ops.h).
#include "model/file_ops.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/utf16_text.h"

namespace file_ops {

const File kNoFile = -1;

const Error kDiskFull = ENOSPC;
const Error kWriteProtected = EROFS;
const Error kNameTooLong = ENAMETOOLONG;
const Error kOutOfMemory = ENOMEM;
const Error kTooLarge = EFBIG;

NativePath Native(const wchar_t* path) { return WideToUtf8(path); }
NativePath Suffixed(const NativePath& path, const std::wstring& suffix) { return path + WideToUtf8(suffix); }
std::size_t FileNameStart(const NativePath& path) {
    const std::size_t separator = path.rfind('/');
    return separator == NativePath::npos ? 0 : separator + 1;
}
NativePath FoldCase(const NativePath& name) { return name; }
bool ExecutableFolder(std::wstring* folder) {
    char module[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", module, sizeof module - 1);
    if (length <= 0) return false;
    module[length] = '\0';
    std::string narrow(module);
    narrow.erase(narrow.rfind('/') + 1);
    folder->clear();
    for (unsigned char c : narrow) folder->push_back(static_cast<wchar_t>(c));  // ASCII build folders
    return true;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
unsigned long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000 + static_cast<unsigned long long>(now.tv_nsec) / 1000000;
}
void SleepMs(unsigned ms) { usleep(ms * 1000u); }

// POSIX files are not locked against opening.
bool IsTransientError(Error) { return false; }
bool IsMissingError(Error error) { return error == ENOENT; }
bool IsExistsError(Error error) { return error == EEXIST; }

namespace {

Error LastError() { return static_cast<Error>(errno); }

Error Open(const NativePath& path, int flags, File* file) {
    *file = open(path.c_str(), flags | O_CLOEXEC, 0644);
    return *file < 0 ? LastError() : 0;
}

}  // namespace

Error OpenForReading(const NativePath& path, File* file) {
    if (const Error error = Open(path, O_RDONLY, file)) return error;
    struct stat info;
    if (fstat(*file, &info) == 0 && S_ISREG(info.st_mode)) return 0;
    close(*file);
    *file = kNoFile;
    return EISDIR;  // a folder or a device where the file should be
}
Error OpenForUpdate(const NativePath& path, File* file) { return Open(path, O_RDWR, file); }
Error CreateNew(const NativePath& path, File* file) { return Open(path, O_WRONLY | O_CREAT | O_EXCL, file); }
Error Close(File file) { return close(file) == 0 ? 0 : LastError(); }
Error Flush(File file) { return fsync(file) == 0 ? 0 : LastError(); }

Error SizeOf(File file, unsigned long long* size) {
    struct stat info;
    if (fstat(file, &info) != 0) return LastError();
    *size = static_cast<unsigned long long>(info.st_size);
    return 0;
}
Error Seek(File file, unsigned long long offset) {
    return lseek(file, static_cast<off_t>(offset), SEEK_SET) < 0 ? LastError() : 0;
}
Error SetSize(File file, unsigned long long size) {
    return ftruncate(file, static_cast<off_t>(size)) == 0 ? 0 : LastError();
}
Error ReadSome(File file, char* data, std::size_t size, std::size_t* got) {
    for (;;) {
        const ssize_t read_ = read(file, data, size);
        if (read_ >= 0) {
            *got = static_cast<std::size_t>(read_);
            return 0;
        }
        if (errno != EINTR) return LastError();
    }
}
Error WriteSome(File file, const char* data, std::size_t size, std::size_t* wrote) {
    for (;;) {
        const ssize_t done = write(file, data, size);
        if (done > 0) {
            *wrote = static_cast<std::size_t>(done);
            return 0;
        }
        if (done == 0) return kDiskFull;
        if (errno != EINTR) return LastError();
    }
}
Error Move(const NativePath& from, const NativePath& to, bool replace) {
    if (replace) return rename(from.c_str(), to.c_str()) == 0 ? 0 : LastError();
    // link() refuses an existing name, as a move without replace does.
    if (link(from.c_str(), to.c_str()) != 0) return LastError();
    unlink(from.c_str());
    return 0;
}
Error Remove(const NativePath& path) { return unlink(path.c_str()) == 0 ? 0 : LastError(); }

Error ModifiedTime(const NativePath& path, unsigned long long* time) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return LastError();
    *time = static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
            static_cast<unsigned long long>(info.st_mtim.tv_nsec);
    return 0;
}

Error ListFolder(const NativePath& folder, std::vector<NativePath>* names) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return LastError();
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    closedir(dir);
    return 0;
}

}  // namespace file_ops
