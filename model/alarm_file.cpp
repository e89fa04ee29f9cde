#include "model/alarm_file.h"

#include <algorithm>
#include <atomic>
#include <exception>

#include "model/alarm_archive.h"
#include "model/utf16_text.h"

#ifdef _WIN32
#include <windows.h>
#include <shlwapi.h>
#else
#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

long long g_alarmFileWriteLimitForTests = -1;
bool g_alarmFileRefuseNewFilesForTests = false;

namespace {

const wchar_t kFileName[] = L"file.txt";

// A file larger than this is not an alarm file we could hold in memory.
constexpr unsigned long long kMaxFileBytes = 256ull << 20;
// Between two tries on a file that another program holds.
constexpr unsigned kShareRetryStepMs = 100;
// Temporary names tried before the folder counts as refusing new files.
constexpr int kTempNameTries = 100;

enum class ReadStatus { Read, Missing, Failed };

// Bytes that the test fault still lets a growing write add; SIZE_MAX without
// a fault.
std::size_t WriteBudget(std::size_t written) {
    if (g_alarmFileWriteLimitForTests < 0) return static_cast<std::size_t>(-1);
    const auto limit = static_cast<unsigned long long>(g_alarmFileWriteLimitForTests);
    return written >= limit ? 0 : static_cast<std::size_t>(limit - written);
}

// The platform's file operations, each returning 0 or the system's error.
#ifdef _WIN32

using NativePath = std::wstring;
using File = HANDLE;
const File kNoFile = INVALID_HANDLE_VALUE;

constexpr AlarmFileError kDiskFull = ERROR_DISK_FULL;
constexpr AlarmFileError kWriteProtected = ERROR_WRITE_PROTECT;
constexpr AlarmFileError kNameTooLong = ERROR_FILENAME_EXCED_RANGE;
constexpr AlarmFileError kOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
constexpr AlarmFileError kTooLarge = ERROR_FILE_TOO_LARGE;

NativePath Native(const wchar_t* path) { return path; }
NativePath Suffixed(const NativePath& path, const std::wstring& suffix) { return path + suffix; }
unsigned long ProcessId() { return GetCurrentProcessId(); }
unsigned long long NowMs() { return GetTickCount64(); }
void SleepMs(unsigned ms) { Sleep(ms); }

bool IsSharingError(AlarmFileError error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}
bool IsMissingError(AlarmFileError error) { return error == ERROR_FILE_NOT_FOUND; }
bool IsExistsError(AlarmFileError error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

AlarmFileError Open(const NativePath& path, DWORD access, DWORD share, DWORD disposition, File* file) {
    *file = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return *file == kNoFile ? GetLastError() : 0;
}
AlarmFileError OpenForReading(const NativePath& path, File* file) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, file);
}
// Nobody else may write it meanwhile.
AlarmFileError OpenForUpdate(const NativePath& path, File* file) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, file);
}
AlarmFileError CreateNew(const NativePath& path, File* file) {
    *file = kNoFile;
    if (g_alarmFileRefuseNewFilesForTests) return kWriteProtected;
    return Open(path, GENERIC_WRITE, 0, CREATE_NEW, file);
}
AlarmFileError Close(File file) { return CloseHandle(file) ? 0 : GetLastError(); }
AlarmFileError Flush(File file) { return FlushFileBuffers(file) ? 0 : GetLastError(); }

AlarmFileError SizeOf(File file, unsigned long long* size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(file, &value)) return GetLastError();
    *size = static_cast<unsigned long long>(value.QuadPart);
    return 0;
}
AlarmFileError Seek(File file, unsigned long long offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) ? 0 : GetLastError();
}
AlarmFileError SetSize(File file, unsigned long long size) {
    if (const AlarmFileError error = Seek(file, size)) return error;
    return SetEndOfFile(file) ? 0 : GetLastError();
}
// Reads up to size bytes from the current position; *got is 0 at the end.
AlarmFileError ReadSome(File file, char* data, std::size_t size, std::size_t* got) {
    DWORD read = 0;
    if (!ReadFile(file, data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20)), &read, nullptr))
        return GetLastError();
    *got = read;
    return 0;
}
AlarmFileError WriteSome(File file, const char* data, std::size_t size, std::size_t* wrote) {
    DWORD done = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20)), &done, nullptr))
        return GetLastError();
    *wrote = done;
    return done == 0 ? kDiskFull : 0;  // nothing taken: as good as full
}
AlarmFileError Move(const NativePath& from, const NativePath& to, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(from.c_str(), to.c_str(), flags)) return 0;
    AlarmFileError error = GetLastError();
    // A file that another program holds open cannot be replaced, and the
    // system calls that "access denied". Asking for delete access tells it
    // apart from a file we may not replace at all: refused as shared while it
    // is held, granted when it was let go meanwhile.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (replace && error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        const HANDLE target = CreateFileW(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (target != INVALID_HANDLE_VALUE) {
            CloseHandle(target);
            error = ERROR_SHARING_VIOLATION;
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            error = ERROR_SHARING_VIOLATION;
        }
    }
    return error;
}
void Remove(const NativePath& path) { DeleteFileW(path.c_str()); }

#else  // POSIX, for the native build of the model and its tests.

using NativePath = std::string;
using File = int;
const File kNoFile = -1;

constexpr AlarmFileError kDiskFull = ENOSPC;
constexpr AlarmFileError kWriteProtected = EROFS;
constexpr AlarmFileError kNameTooLong = ENAMETOOLONG;
constexpr AlarmFileError kOutOfMemory = ENOMEM;
constexpr AlarmFileError kTooLarge = EFBIG;

NativePath Native(const wchar_t* path) { return WideToUtf8(path); }
NativePath Suffixed(const NativePath& path, const std::wstring& suffix) {
    return path + WideToUtf8(suffix);
}
unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
unsigned long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000 + static_cast<unsigned long long>(now.tv_nsec) / 1000000;
}
void SleepMs(unsigned ms) { usleep(ms * 1000u); }

// POSIX files are not locked against opening.
bool IsSharingError(AlarmFileError) { return false; }
bool IsMissingError(AlarmFileError error) { return error == ENOENT; }
bool IsExistsError(AlarmFileError error) { return error == EEXIST; }

AlarmFileError Open(const NativePath& path, int flags, File* file) {
    *file = open(path.c_str(), flags | O_CLOEXEC, 0644);
    return *file < 0 ? static_cast<AlarmFileError>(errno) : 0;
}
AlarmFileError OpenForReading(const NativePath& path, File* file) {
    if (const AlarmFileError error = Open(path, O_RDONLY, file)) return error;
    struct stat info;
    if (fstat(*file, &info) == 0 && S_ISREG(info.st_mode)) return 0;
    close(*file);
    *file = kNoFile;
    return EISDIR;  // a folder or a device where the file should be
}
AlarmFileError OpenForUpdate(const NativePath& path, File* file) { return Open(path, O_RDWR, file); }
AlarmFileError CreateNew(const NativePath& path, File* file) {
    *file = kNoFile;
    if (g_alarmFileRefuseNewFilesForTests) return kWriteProtected;
    return Open(path, O_WRONLY | O_CREAT | O_EXCL, file);
}
AlarmFileError Close(File file) { return close(file) == 0 ? 0 : static_cast<AlarmFileError>(errno); }
AlarmFileError Flush(File file) { return fsync(file) == 0 ? 0 : static_cast<AlarmFileError>(errno); }

AlarmFileError SizeOf(File file, unsigned long long* size) {
    struct stat info;
    if (fstat(file, &info) != 0) return static_cast<AlarmFileError>(errno);
    *size = static_cast<unsigned long long>(info.st_size);
    return 0;
}
AlarmFileError Seek(File file, unsigned long long offset) {
    return lseek(file, static_cast<off_t>(offset), SEEK_SET) < 0 ? static_cast<AlarmFileError>(errno) : 0;
}
AlarmFileError SetSize(File file, unsigned long long size) {
    return ftruncate(file, static_cast<off_t>(size)) == 0 ? 0 : static_cast<AlarmFileError>(errno);
}
AlarmFileError ReadSome(File file, char* data, std::size_t size, std::size_t* got) {
    for (;;) {
        const ssize_t read_ = read(file, data, size);
        if (read_ >= 0) {
            *got = static_cast<std::size_t>(read_);
            return 0;
        }
        if (errno != EINTR) return static_cast<AlarmFileError>(errno);
    }
}
AlarmFileError WriteSome(File file, const char* data, std::size_t size, std::size_t* wrote) {
    for (;;) {
        const ssize_t done = write(file, data, size);
        if (done > 0) {
            *wrote = static_cast<std::size_t>(done);
            return 0;
        }
        if (done == 0) return kDiskFull;
        if (errno != EINTR) return static_cast<AlarmFileError>(errno);
    }
}
AlarmFileError Move(const NativePath& from, const NativePath& to, bool replace) {
    if (replace) return rename(from.c_str(), to.c_str()) == 0 ? 0 : static_cast<AlarmFileError>(errno);
    // link() refuses an existing name, as a move without replace does.
    if (link(from.c_str(), to.c_str()) != 0) return static_cast<AlarmFileError>(errno);
    unlink(from.c_str());
    return 0;
}
void Remove(const NativePath& path) { unlink(path.c_str()); }

#endif

// Runs attempt until it meets no file held by another program, or until
// waitMs have passed; returns its last error.
template <class Attempt>
AlarmFileError RetryWhileHeld(unsigned waitMs, Attempt attempt) {
    const unsigned long long start = NowMs();
    for (;;) {
        const AlarmFileError error = attempt();
        if (!IsSharingError(error) || NowMs() - start >= waitMs) return error;
        SleepMs(kShareRetryStepMs);
    }
}

// Reads a whole open file from its current position.
AlarmFileError ReadAll(File file, std::string& bytes) {
    unsigned long long size = 0;
    if (const AlarmFileError error = SizeOf(file, &size)) return error;
    if (size > kMaxFileBytes) return kTooLarge;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {
        return kOutOfMemory;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t got = 0;
        if (const AlarmFileError error = ReadSome(file, &bytes[done], bytes.size() - done, &got)) return error;
        if (got == 0) break;  // the file shrank meanwhile
        done += got;
    }
    bytes.resize(done);
    return 0;
}

ReadStatus ReadWholeFile(const NativePath& path, std::string& bytes, AlarmFileError* error) {
    File file = kNoFile;
    *error = OpenForReading(path, &file);
    if (*error != 0) return IsMissingError(*error) ? ReadStatus::Missing : ReadStatus::Failed;
    *error = ReadAll(file, bytes);
    Close(file);
    return *error == 0 ? ReadStatus::Read : ReadStatus::Failed;
}

// Writes size bytes at offset. Writes that make the file grow are the ones a
// full disk refuses, so only they meet the test fault.
AlarmFileError WriteAt(File file, unsigned long long offset, const char* data, std::size_t size, bool grows) {
    if (const AlarmFileError error = Seek(file, offset)) return error;
    std::size_t done = 0;
    while (done < size) {
        const std::size_t budget = grows ? WriteBudget(done) : static_cast<std::size_t>(-1);
        if (budget == 0) return kDiskFull;
        std::size_t wrote = 0;
        if (const AlarmFileError error = WriteSome(file, data + done, std::min(size - done, budget), &wrote))
            return error;
        done += wrote;
    }
    return 0;
}

// A name beside path that no other save uses: this process's id and a count.
NativePath TempName(const NativePath& path) {
    static std::atomic<unsigned long> made{0};
    return Suffixed(path, L"." + std::to_wstring(ProcessId()) + L"-" + std::to_wstring(++made) + L".tmp");
}

// Writes bytes to a new temporary file beside path and moves it onto path
// (replacing an existing file only when replace is set). *refused tells that
// the temporary file could not be made at all.
AlarmFileError WriteThroughTempFile(const NativePath& path, const std::string& bytes, bool replace,
                                    bool* refused) {
    *refused = false;
    NativePath temp;
    File file = kNoFile;
    AlarmFileError error = 0;
    for (int tries = 0; tries < kTempNameTries; ++tries) {
        temp = TempName(path);
        error = CreateNew(temp, &file);
        // A name taken, by another copy or a file left by a crash: the next.
        if (!IsExistsError(error)) break;
    }
    if (error != 0) {
        *refused = true;
        return error;
    }
    error = WriteAt(file, 0, bytes.data(), bytes.size(), true);
    if (error == 0) error = Flush(file);
    const AlarmFileError closed = Close(file);
    if (error == 0) error = closed;
    if (error == 0) error = Move(temp, path, replace);
    if (error != 0) Remove(temp);
    return error;
}

// Rewrites the file at path with bytes, without a temporary file. The part
// beyond the old end is written first, so a full disk refuses it before any old
// byte is touched; if a later write fails, the old bytes are put back.
AlarmFileError WriteInPlace(const NativePath& path, const std::string& bytes) {
    File file = kNoFile;
    if (const AlarmFileError error = OpenForUpdate(path, &file)) return error;
    std::string old;
    AlarmFileError error = ReadAll(file, old);
    if (error == 0) {
        const std::size_t common = std::min(old.size(), bytes.size());
        if (bytes.size() > old.size()) error = WriteAt(file, old.size(), bytes.data() + common, bytes.size() - common, true);
        if (error == 0) error = WriteAt(file, 0, bytes.data(), common, false);
        if (error == 0 && bytes.size() < old.size()) error = SetSize(file, bytes.size());
        if (error == 0) error = Flush(file);
        if (error != 0) {
            WriteAt(file, 0, old.data(), old.size(), false);
            SetSize(file, old.size());
            Flush(file);
        }
    }
    const AlarmFileError closed = Close(file);
    return error != 0 ? error : closed;
}

// One save of bytes to path: through a temporary file, or in place when the
// folder refuses one.
AlarmFileError WriteOnce(const NativePath& path, const std::string& bytes) {
    bool refused = false;
    AlarmFileError error = WriteThroughTempFile(path, bytes, true, &refused);
    if (error == 0 || !refused || IsSharingError(error)) return error;
    const AlarmFileError inPlace = WriteInPlace(path, bytes);
    if (inPlace == 0) return 0;
    // With no file to write in place, the folder's refusal says more.
    return IsMissingError(inPlace) ? error : inPlace;
}

// Keeps the bytes of a damaged alarm file under the first free name of
// "file.txt.bad", "file.txt.bad2" ... "file.txt.bad99"; returns 0 and that
// name in *kept, or the error met.
AlarmFileError KeepDamagedFile(const wchar_t* path, const std::string& bytes, std::wstring* kept) {
    AlarmFileError error = 0;
    for (int n = 1; n < 100; ++n) {
        std::wstring name = std::wstring(path) + L".bad";
        if (n > 1) name += std::to_wstring(n);
        bool refused = false;
        error = RetryWhileHeld(kAlarmFileShareWaitMs,
                               [&] { return WriteThroughTempFile(Native(name.c_str()), bytes, false, &refused); });
        if (error == 0) {
            *kept = name;
            return 0;
        }
        if (!IsExistsError(error)) return error;
    }
    return error;
}

}  // namespace

std::vector<CAlarm> DefaultAlarms() {
    const std::wstring sound = L"chimes.wav";
    return {
        CAlarm(8, 30, 1, 1, 1, 1, 1, 1, 1, true, sound),
        CAlarm(12, 30, 1, 1, 1, 1, 1, 1, 1, true, sound),
        CAlarm(13, 30, 1, 1, 1, 1, 1, 1, 1, true, sound),
        CAlarm(17, 0, 1, 1, 1, 1, 1, 1, 1, true, sound),
    };
}

bool GetAlarmFilePath(wchar_t* path, std::size_t capacity) {
    if (path == nullptr || capacity == 0) return false;
    path[0] = L'\0';
    std::wstring folder;
#ifdef _WIN32
    wchar_t module[kPathCapacity];
    const DWORD length = GetModuleFileNameW(nullptr, module, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return false;  // cut short
    PathRemoveFileSpecW(module);
    folder = module;
    folder += L'\\';
#else
    char module[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", module, sizeof module - 1);
    if (length <= 0) return false;
    module[length] = '\0';
    std::string narrow(module);
    narrow.erase(narrow.rfind('/') + 1);
    for (unsigned char c : narrow) folder.push_back(static_cast<wchar_t>(c));  // ASCII build folders
#endif
    const std::wstring full = folder + kFileName;
    if (full.size() + 1 > capacity) return false;
    std::copy(full.begin(), full.end(), path);
    path[full.size()] = L'\0';
    return true;
}

AlarmFileOutcome LoadAlarmFile(const wchar_t* path, AlarmFileLoadReport* report) {
    AlarmFileLoadReport ignored;
    if (report == nullptr) report = &ignored;
    *report = AlarmFileLoadReport();
    if (path == nullptr || path[0] == L'\0') {
        report->error = kNameTooLong;  // GetAlarmFilePath found no path that fits
        return AlarmFileUnavailable;
    }
    try {
        const NativePath native = Native(path);
        std::string bytes;
        ReadStatus status = ReadStatus::Failed;
        report->error = RetryWhileHeld(kAlarmFileShareWaitMs, [&] {
            AlarmFileError error = 0;
            status = ReadWholeFile(native, bytes, &error);
            return error;
        });
        switch (status) {
        case ReadStatus::Failed:
            return AlarmFileUnavailable;
        case ReadStatus::Missing: {
            std::vector<CAlarm> defaults = DefaultAlarms();
            report->error = WriteAlarmFile(path, defaults, kAlarmFileShareWaitMs);
            if (report->error != 0) return AlarmFileUnavailable;
            g_alarms.clear();
            g_alarms.insert(g_alarms.end(), defaults.begin(), defaults.end());
            return AlarmFileCreated;
        }
        case ReadStatus::Read:
            report->error = 0;
            break;
        }
#ifdef _WIN32
        DecodedAlarms decoded = DecodeAlarmArchive(FromTextModeFileBytes(bytes));
#else
        DecodedAlarms decoded = DecodeAlarmArchive(bytes);
#endif
        if (!decoded.complete) {
            report->error = KeepDamagedFile(path, bytes, &report->keptPath);
            if (report->error != 0) return AlarmFileUnavailable;
            report->damaged = true;
            report->alarmsRead = decoded.alarms.size();
        }
        g_alarms = std::move(decoded.alarms);
        return AlarmFileLoaded;
    } catch (const std::exception&) {
        report->error = kOutOfMemory;
        return AlarmFileUnavailable;
    }
}

AlarmFileError WriteAlarmFile(const wchar_t* path, const std::vector<CAlarm>& alarms, unsigned shareWaitMs) {
    if (path == nullptr || path[0] == L'\0') return kNameTooLong;
    try {
#ifdef _WIN32
        const std::string bytes = ToTextModeFileBytes(EncodeAlarmArchive(alarms));
#else
        const std::string bytes = EncodeAlarmArchive(alarms);
#endif
        const NativePath native = Native(path);
        return RetryWhileHeld(shareWaitMs, [&] { return WriteOnce(native, bytes); });
    } catch (const std::exception&) {
        return kOutOfMemory;
    }
}

bool SaveAlarmFileTo(const wchar_t* path, const std::vector<CAlarm>& alarms) {
    return WriteAlarmFile(path, alarms, kAlarmFileShareWaitMs) == 0;
}

AlarmFileError SaveAlarmFile(std::vector<CAlarm> alarms, unsigned shareWaitMs) {
    wchar_t path[kPathCapacity];
    if (!GetAlarmFilePath(path, kPathCapacity)) return kNameTooLong;
    return WriteAlarmFile(path, alarms, shareWaitMs);
}
