// The file operations on Windows (see model/file_ops.h).
#include "model/file_ops.h"

#include <algorithm>

#include <windows.h>
#include <shlwapi.h>

namespace file_ops {

const File kNoFile = INVALID_HANDLE_VALUE;

const Error kDiskFull = ERROR_DISK_FULL;
const Error kWriteProtected = ERROR_WRITE_PROTECT;
const Error kNameTooLong = ERROR_FILENAME_EXCED_RANGE;
const Error kOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
const Error kTooLarge = ERROR_FILE_TOO_LARGE;

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (path.size() < MAX_PATH) return path;
    std::wstring extended;
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/') &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
        extended = L"\\\\?\\" + path;
    } else if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.') {
        extended = L"\\\\?\\UNC\\" + path.substr(2);
    } else {
        return path;  // relative, or already a device or "\\?\" path
    }
    // The system takes a "\\?\" path as it is: only backslashes separate.
    std::replace(extended.begin(), extended.end(), L'/', L'\\');
    return extended;
}

NativePath Native(const wchar_t* path) { return path; }
NativePath Suffixed(const NativePath& path, const std::wstring& suffix) { return path + suffix; }
std::size_t FileNameStart(const NativePath& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == NativePath::npos ? 0 : separator + 1;
}
NativePath FoldCase(const NativePath& name) {
    NativePath folded(name);
    if (!folded.empty()) CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}
bool ExecutableFolder(std::wstring* folder) {
    // Room for the longest path the system gives a module.
    constexpr DWORD kCapacity = 32768;
    std::wstring module(kCapacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &module[0], kCapacity);
    if (length == 0 || length >= kCapacity) return false;  // cut short
    PathRemoveFileSpecW(&module[0]);  // only ever shortens the path
    module.resize(lstrlenW(module.c_str()));
    // A drive's root, such as E:\, ends in its separator already.
    if (module.empty() || module.back() != L'\\') module += L'\\';
    *folder = module;
    return true;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }
unsigned long long NowMs() { return GetTickCount64(); }
void SleepMs(unsigned ms) { Sleep(ms); }

bool IsTransientError(Error error) {
    // ERROR_CLOUD_FILE_PROVIDER_NOT_RUNNING (OneDrive at logon), named here for headers that lack it.
    constexpr Error kCloudProviderNotRunning = 362;
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE ||
           error == kCloudProviderNotRunning;
}
bool IsMissingError(Error error) { return error == ERROR_FILE_NOT_FOUND; }
bool IsExistsError(Error error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

namespace {

Error Open(const NativePath& path, DWORD access, DWORD share, DWORD disposition, File* file) {
    *file = CreateFileW(ExtendedLengthPath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    return *file == kNoFile ? GetLastError() : 0;
}

}  // namespace

Error OpenForReading(const NativePath& path, File* file) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, file);
}
Error OpenForUpdate(const NativePath& path, File* file) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, file);
}
Error CreateNew(const NativePath& path, File* file) { return Open(path, GENERIC_WRITE, 0, CREATE_NEW, file); }
Error Close(File file) { return CloseHandle(file) ? 0 : GetLastError(); }
Error Flush(File file) { return FlushFileBuffers(file) ? 0 : GetLastError(); }

Error SizeOf(File file, unsigned long long* size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(file, &value)) return GetLastError();
    *size = static_cast<unsigned long long>(value.QuadPart);
    return 0;
}
Error Seek(File file, unsigned long long offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) ? 0 : GetLastError();
}
Error SetSize(File file, unsigned long long size) {
    if (const Error error = Seek(file, size)) return error;
    return SetEndOfFile(file) ? 0 : GetLastError();
}
Error ReadSome(File file, char* data, std::size_t size, std::size_t* got) {
    DWORD read = 0;
    if (!ReadFile(file, data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20)), &read, nullptr))
        return GetLastError();
    *got = read;
    return 0;
}
Error WriteSome(File file, const char* data, std::size_t size, std::size_t* wrote) {
    DWORD done = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20)), &done, nullptr))
        return GetLastError();
    *wrote = done;
    return done == 0 ? kDiskFull : 0;  // nothing taken: as good as full
}
Error Move(const NativePath& from, const NativePath& to, bool replace) {
    const std::wstring target = ExtendedLengthPath(to);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(ExtendedLengthPath(from).c_str(), target.c_str(), flags)) return 0;
    Error error = GetLastError();
    // A file that another program holds open cannot be replaced, and the
    // system calls that "access denied". Asking for delete access tells it
    // apart from a file we may not replace at all: refused as shared while it
    // is held, granted when it was let go meanwhile.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (replace && error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        const HANDLE held = CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
            error = ERROR_SHARING_VIOLATION;
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            error = ERROR_SHARING_VIOLATION;
        }
    }
    return error;
}
Error Remove(const NativePath& path) { return DeleteFileW(ExtendedLengthPath(path).c_str()) ? 0 : GetLastError(); }

Error ModifiedTime(const NativePath& path, unsigned long long* time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data)) return GetLastError();
    *time = (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime;
    return 0;
}

Error ListFolder(const NativePath& folder, std::vector<NativePath>* names) {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(ExtendedLengthPath(folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return GetLastError();
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names->push_back(name);
    } while (FindNextFileW(find, &data));
    const Error error = GetLastError() == ERROR_NO_MORE_FILES ? 0 : GetLastError();
    FindClose(find);
    return error;
}

}  // namespace file_ops
