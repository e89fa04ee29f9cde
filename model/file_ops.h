// The platform's file operations that the alarm file is made of, behind one
// narrow interface: model/file_ops_win32.cpp on Windows, model/file_ops_posix.cpp
// elsewhere (CMakeLists.txt picks one). Each operation returns 0 or the
// system's own error: GetLastError's code on Windows, errno's value elsewhere.
// No system header is needed to use them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace file_ops {

using Error = unsigned long;

#ifdef _WIN32
// A path as the caller gave it. Every operation gives the system the "\\?\"
// form of a path that is MAX_PATH characters or longer (ExtendedLengthPath),
// so a long folder keeps the temporary files and the one-step replace.
using NativePath = std::wstring;
using File = void*;  // a HANDLE
#else
using NativePath = std::string;  // UTF-8
using File = int;                // a descriptor
#endif
extern const File kNoFile;

// The system's codes for what the alarm file's rules report themselves.
extern const Error kDiskFull;
extern const Error kWriteProtected;
extern const Error kNameTooLong;
extern const Error kOutOfMemory;
extern const Error kTooLarge;

NativePath Native(const wchar_t* path);
NativePath Suffixed(const NativePath& path, const std::wstring& suffix);
// Where the file name begins in path, after its folder and separator.
std::size_t FileNameStart(const NativePath& path);
// A path or file name as the system compares names: in upper case on
// Windows, whose names ignore case; unchanged elsewhere.
NativePath FoldCase(const NativePath& name);
// The folder of the running executable with its separator at the end; false
// when the system's answer was cut short.
bool ExecutableFolder(std::wstring* folder);

unsigned long ProcessId();
unsigned long long NowMs();
void SleepMs(unsigned ms);

// Worth waiting for: another program holds the file (a sharing or lock
// violation, a scanner that maps it), or a sync folder's provider is not up yet.
bool IsTransientError(Error error);
bool IsMissingError(Error error);
bool IsExistsError(Error error);

Error OpenForReading(const NativePath& path, File* file);
// Read and write; nobody else may write it meanwhile.
Error OpenForUpdate(const NativePath& path, File* file);
// Write only; fails when the name exists.
Error CreateNew(const NativePath& path, File* file);
Error Close(File file);
// Flushes what was written to the disk itself.
Error Flush(File file);
Error SizeOf(File file, unsigned long long* size);
Error Seek(File file, unsigned long long offset);
Error SetSize(File file, unsigned long long size);
// Reads up to size bytes from the current position; *got is 0 at the end.
Error ReadSome(File file, char* data, std::size_t size, std::size_t* got);
// Writes some of size bytes at the current position; nothing taken is kDiskFull.
Error WriteSome(File file, const char* data, std::size_t size, std::size_t* wrote);
// Renames in one step, replacing an existing file at to only when replace is
// set. A file at to that another program holds is a sharing error.
Error Move(const NativePath& from, const NativePath& to, bool replace);
Error Remove(const NativePath& path);
// When the file was last written, in the system's units: later is larger.
Error ModifiedTime(const NativePath& path, unsigned long long* time);
// The names in folder (a path ending in its separator, or "" for the current
// folder), "." and ".." left out.
Error ListFolder(const NativePath& folder, std::vector<NativePath>* names);

// How the alarm file makes new files and writes into them: in the program,
// through CreateNew, Seek and WriteSome (kDiskWrites). A test points g_writes
// at stand-ins that fail on demand, as a full, failing or write-protected
// disk does, and pass everything else on to these.
struct Writes {
    Error (*createNew)(const NativePath& path, File* file);
    Error (*seek)(File file, unsigned long long offset);
    Error (*writeSome)(File file, const char* data, std::size_t size, std::size_t* wrote);
};
extern const Writes kDiskWrites;
extern const Writes* g_writes;

#ifdef _WIN32
// "X:\..." as "\\?\X:\..." and "\\server\share\..." as "\\?\UNC\server\share\..."
// when path is MAX_PATH characters or longer; any other path as it is.
std::wstring ExtendedLengthPath(const std::wstring& path);
#endif

}  // namespace file_ops
