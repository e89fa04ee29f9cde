// File helpers for tests that run natively and under Wine alike.
#pragma once

#include <string>

// A fresh empty folder, removed with everything in it when the object ends.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The full path of a name in the folder, with the platform's separator.
    std::wstring Path(const std::wstring& name) const;
    const std::wstring& Root() const { return m_root; }

private:
    std::wstring m_root;
};

bool FileExists(const std::wstring& path);
// The raw bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
// Writes raw bytes (binary), replacing the file.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool MakeFolder(const std::wstring& path);
// Names in a folder, "." and ".." left out.
int CountEntries(const std::wstring& folder);
