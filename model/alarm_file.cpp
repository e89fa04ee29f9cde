#include "model/alarm_file.h"

#include <algorithm>
#include <exception>

#include "model/alarm_archive.h"
#include "model/utf16_text.h"

#ifdef _WIN32
#include <windows.h>
#include <shlwapi.h>
#else
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

long long g_alarmFileWriteLimitForTests = -1;

namespace {

const wchar_t kFileName[] = L"file.txt";

// A file larger than this is not an alarm file we could hold in memory.
constexpr unsigned long long kMaxFileBytes = 256ull << 20;

enum class ReadStatus { Read, Missing, Failed };

// Bytes that the test fault still lets through; SIZE_MAX without a fault.
std::size_t WriteBudget(std::size_t written) {
    if (g_alarmFileWriteLimitForTests < 0) return static_cast<std::size_t>(-1);
    const auto limit = static_cast<unsigned long long>(g_alarmFileWriteLimitForTests);
    return written >= limit ? 0 : static_cast<std::size_t>(limit - written);
}

#ifdef _WIN32

std::wstring Native(const wchar_t* path) { return path; }

ReadStatus ReadWholeFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? ReadStatus::Missing : ReadStatus::Failed;
    ReadStatus status = ReadStatus::Failed;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) <= kMaxFileBytes) {
        try {
            bytes.resize(static_cast<std::size_t>(size.QuadPart));
            DWORD got = 0;
            std::size_t done = 0;
            status = ReadStatus::Read;
            while (done < bytes.size()) {
                if (!ReadFile(file, &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr)) {
                    status = ReadStatus::Failed;
                    break;
                }
                if (got == 0) break;  // the file shrank meanwhile
                done += got;
            }
            bytes.resize(done);
        } catch (const std::exception&) {
            status = ReadStatus::Failed;
        }
    }
    CloseHandle(file);
    return status;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t budget = WriteBudget(done);
        if (budget == 0) return false;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>({bytes.size() - done, budget, 1u << 20}));
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, want, &wrote, nullptr) || wrote != want) return false;
        done += wrote;
    }
    return true;
}

// Writes bytes to a temporary file beside path, then moves it onto path
// (replacing an existing file only when replace is set).
bool WriteFileSafely(const std::wstring& path, const std::string& bytes, bool replace) {
    const std::wstring temp = path + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(file, bytes) && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (ok) {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        ok = MoveFileExW(temp.c_str(), path.c_str(), flags) != 0;
    }
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

#else  // POSIX, for the native build of the model and its tests.

std::string Native(const wchar_t* path) { return WideToUtf8(path); }

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    ReadStatus status = ReadStatus::Failed;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<unsigned long long>(info.st_size) <= kMaxFileBytes) {
        try {
            bytes.resize(static_cast<std::size_t>(info.st_size));
            std::size_t done = 0;
            status = ReadStatus::Read;
            while (done < bytes.size()) {
                const ssize_t got = read(fd, &bytes[done], bytes.size() - done);
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) {
                    status = ReadStatus::Failed;
                    break;
                }
                if (got == 0) break;
                done += static_cast<std::size_t>(got);
            }
            bytes.resize(done);
        } catch (const std::exception&) {
            status = ReadStatus::Failed;
        }
    }
    close(fd);
    return status;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t budget = WriteBudget(done);
        if (budget == 0) return false;
        const ssize_t wrote = write(fd, bytes.data() + done, std::min(bytes.size() - done, budget));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool WriteFileSafely(const std::string& path, const std::string& bytes, bool replace) {
    const std::string temp = path + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) {
        if (replace) {
            ok = rename(temp.c_str(), path.c_str()) == 0;
        } else {
            // link() refuses an existing name, as a move without replace does.
            ok = link(temp.c_str(), path.c_str()) == 0;
            unlink(temp.c_str());
        }
    }
    if (!ok) unlink(temp.c_str());
    return ok;
}

#endif

// Keeps the bytes of a damaged alarm file under the first free name of
// "file.txt.bad", "file.txt.bad2" ... "file.txt.bad99".
bool KeepDamagedFile(const wchar_t* path, const std::string& bytes) {
    for (int n = 1; n < 100; ++n) {
        std::wstring name = std::wstring(path) + L".bad";
        if (n > 1) name += std::to_wstring(n);
        if (WriteFileSafely(Native(name.c_str()), bytes, false)) return true;
    }
    return false;
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

AlarmFileOutcome LoadAlarmFile(const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0') return AlarmFileUnavailable;
    try {
        std::string bytes;
        switch (ReadWholeFile(Native(path), bytes)) {
        case ReadStatus::Failed:
            return AlarmFileUnavailable;
        case ReadStatus::Missing: {
            std::vector<CAlarm> defaults = DefaultAlarms();
            if (!SaveAlarmFileTo(path, defaults)) return AlarmFileUnavailable;
            g_alarms.clear();
            g_alarms.insert(g_alarms.end(), defaults.begin(), defaults.end());
            return AlarmFileCreated;
        }
        case ReadStatus::Read:
            break;
        }
#ifdef _WIN32
        DecodedAlarms decoded = DecodeAlarmArchive(FromTextModeFileBytes(bytes));
#else
        DecodedAlarms decoded = DecodeAlarmArchive(bytes);
#endif
        if (!decoded.complete && !KeepDamagedFile(path, bytes)) return AlarmFileUnavailable;
        g_alarms = std::move(decoded.alarms);
        return AlarmFileLoaded;
    } catch (const std::exception&) {
        return AlarmFileUnavailable;
    }
}

bool SaveAlarmFileTo(const wchar_t* path, const std::vector<CAlarm>& alarms) {
    if (path == nullptr || path[0] == L'\0') return false;
    try {
#ifdef _WIN32
        const std::string bytes = ToTextModeFileBytes(EncodeAlarmArchive(alarms));
#else
        const std::string bytes = EncodeAlarmArchive(alarms);
#endif
        return WriteFileSafely(Native(path), bytes, true);
    } catch (const std::exception&) {
        return false;
    }
}

void SaveAlarmFile(std::vector<CAlarm> alarms) {
    wchar_t path[kPathCapacity];
    if (GetAlarmFilePath(path, kPathCapacity)) SaveAlarmFileTo(path, alarms);
}
