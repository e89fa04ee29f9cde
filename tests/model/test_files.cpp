#include "model/test_files.h"

#include "model/utf16_text.h"

#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
std::string Native(const std::wstring& path) { return WideToUtf8(path); }
#endif

#ifndef _WIN32
void RemoveNativeTree(const std::string& path) {
    if (DIR* dir = opendir(path.c_str())) {
        std::vector<std::string> names;
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
        for (const std::string& name : names) {
            const std::string child = path + "/" + name;
            struct stat info;
            if (lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                RemoveNativeTree(child);
            } else {
                unlink(child.c_str());
            }
        }
    }
    rmdir(path.c_str());
}
#endif

void RemoveTree(const std::wstring& path) {
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
#else
    RemoveNativeTree(Native(path));
#endif
}

}  // namespace

TempFolder::TempFolder() {
#ifdef _WIN32
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int serial = 0;
    for (;;) {
        m_root = std::wstring(base) + L"velmora-test-" + std::to_wstring(GetCurrentProcessId()) +
                 L"-" + std::to_wstring(++serial);
        if (CreateDirectoryW(m_root.c_str(), nullptr)) break;
    }
#else
    char pattern[] = "/tmp/velmora-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    const std::string root = made ? made : "/tmp";
    m_root.assign(root.begin(), root.end());
#endif
}

TempFolder::~TempFolder() { RemoveTree(m_root); }

std::wstring TempFolder::Path(const std::wstring& name) const {
#ifdef _WIN32
    return m_root + L"\\" + name;
#else
    return m_root + L"/" + name;
#endif
}

bool FileExists(const std::wstring& path) {
#ifdef _WIN32
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat info;
    return stat(Native(path).c_str(), &info) == 0;
#endif
}

std::string ReadBytes(const std::wstring& path) {
#ifdef _WIN32
    FILE* file = _wfopen(path.c_str(), L"rb");
#else
    FILE* file = std::fopen(Native(path).c_str(), "rb");
#endif
    std::string bytes;
    if (!file) return bytes;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
#ifdef _WIN32
    FILE* file = _wfopen(path.c_str(), L"wb");
#else
    FILE* file = std::fopen(Native(path).c_str(), "wb");
#endif
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool MakeFolder(const std::wstring& path) {
#ifdef _WIN32
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
#else
    return mkdir(Native(path).c_str(), 0755) == 0;
#endif
}

int CountEntries(const std::wstring& folder) {
    int count = 0;
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
#else
    if (DIR* dir = opendir(Native(folder).c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ++count;
        }
        closedir(dir);
    }
#endif
    return count;
}
