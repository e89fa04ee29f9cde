#include "model/alarm_file.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <type_traits>

#include "model/alarm_archive.h"
#include "model/file_ops.h"

namespace {

using namespace file_ops;
static_assert(std::is_same<AlarmFileError, Error>::value, "the alarm file reports the system's own errors");

const wchar_t kFileName[] = L"file.txt";

// Between two tries to open a file that another program holds.
constexpr unsigned kShareRetryStepMs = 100;
// Between two tries to rename onto it: a rename is cheap, and a reader that
// holds the file nearly all the time lets it go only for moments.
constexpr unsigned kRenameRetryStepMs = 2;
// Temporary names tried before the folder counts as refusing new files.
constexpr int kTempNameTries = 100;

enum class ReadStatus { Read, Missing, Failed };

// The file's bytes from the archive's and back: text-mode line ends on Windows.
std::string ToFileBytes(const std::string& archive) {
#ifdef _WIN32
    return ToTextModeFileBytes(archive);
#else
    return archive;
#endif
}
DecodedAlarms DecodeFileBytes(const std::string& bytes) {
#ifdef _WIN32
    return DecodeAlarmArchive(FromTextModeFileBytes(bytes));
#else
    return DecodeAlarmArchive(bytes);
#endif
}

// Runs attempt until it meets no file held by another program, or until
// waitMs have passed, stepMs apart; returns its last error.
template <class Attempt>
AlarmFileError RetryWhileHeld(unsigned waitMs, unsigned stepMs, Attempt attempt) {
    const unsigned long long start = NowMs();
    for (;;) {
        const AlarmFileError error = attempt();
        if (!IsTransientError(error) || NowMs() - start >= waitMs) return error;
        SleepMs(stepMs);
    }
}

// Reads a whole open file from its current position.
AlarmFileError ReadAll(File file, std::string& bytes) {
    unsigned long long size = 0;
    if (const AlarmFileError error = SizeOf(file, &size)) return error;
    if (size > kMaxAlarmFileBytes) return kTooLarge;
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

// Writes size bytes at offset.
AlarmFileError WriteAt(File file, unsigned long long offset, const char* data, std::size_t size) {
    if (const AlarmFileError error = g_writes->seek(file, offset)) return error;
    std::size_t done = 0;
    while (done < size) {
        std::size_t wrote = 0;
        if (const AlarmFileError error = g_writes->writeSome(file, data + done, size - done, &wrote)) return error;
        done += wrote;
    }
    return 0;
}

// A name beside path that no other save uses: this process's id and a count.
NativePath TempName(const NativePath& path) {
    static std::atomic<unsigned long> made{0};
    return Suffixed(path, L"." + std::to_wstring(ProcessId()) + L"-" + std::to_wstring(++made) + L".tmp");
}

// Writes bytes to a new temporary file beside path, flushes it and moves it
// onto path (replacing an existing file only when replace is set). Only the
// move waits, up to waitMs, for a path that another program holds. *refused
// tells that the temporary file could not be made at all.
AlarmFileError WriteThroughTempFile(const NativePath& path, const std::string& bytes, bool replace, unsigned waitMs,
                                    bool* refused) {
    *refused = false;
    NativePath temp;
    File file = kNoFile;
    AlarmFileError error = 0;
    for (int tries = 0; tries < kTempNameTries; ++tries) {
        temp = TempName(path);
        file = kNoFile;
        error = g_writes->createNew(temp, &file);
        // A name taken, by another copy or a file left by a crash: the next.
        if (!IsExistsError(error)) break;
    }
    if (error != 0) {
        *refused = true;
        return error;
    }
    error = WriteAt(file, 0, bytes.data(), bytes.size());
    if (error == 0) error = Flush(file);
    const AlarmFileError closed = Close(file);
    if (error == 0) error = closed;
    if (error == 0) error = RetryWhileHeld(waitMs, kRenameRetryStepMs, [&] { return Move(temp, path, replace); });
    if (error != 0) Remove(temp);
    return error;
}

// Writes bytes over the open file that holds old: the part beyond the old end
// first, so a full disk refuses it before any old byte is touched, then the
// head, then cuts what is left over. Each step is flushed before the next
// relies on it. *touched tells that old bytes may have been overwritten.
AlarmFileError OverwriteInPlace(File file, const std::string& old, const std::string& bytes, bool* touched) {
    const std::size_t common = std::min(old.size(), bytes.size());
    AlarmFileError error = 0;
    if (bytes.size() > old.size()) {
        error = WriteAt(file, old.size(), bytes.data() + common, bytes.size() - common);
        if (error == 0) error = Flush(file);
    }
    if (error == 0) {
        *touched = true;
        error = WriteAt(file, 0, bytes.data(), common);
        if (error == 0) error = Flush(file);
    }
    if (error == 0 && bytes.size() < old.size()) {
        error = SetSize(file, bytes.size());
        if (error == 0) error = Flush(file);
    }
    return error;
}

// Puts the old bytes back after a failed overwrite and flushes them.
AlarmFileError PutBack(File file, const std::string& old, bool touched) {
    AlarmFileError error = touched ? WriteAt(file, 0, old.data(), old.size()) : 0;
    if (error == 0) error = SetSize(file, old.size());
    if (error == 0) error = Flush(file);
    return error;
}

// Rewrites the file at path with bytes, without a temporary file. If a write
// fails, the old bytes are put back; if that fails too, the file may be damaged.
AlarmFileError WriteInPlace(const NativePath& path, const std::string& bytes) {
    File file = kNoFile;
    if (const AlarmFileError error = OpenForUpdate(path, &file)) return error;
    std::string old;
    AlarmFileError error = ReadAll(file, old);
    if (error == 0) {
        bool touched = false;
        error = OverwriteInPlace(file, old, bytes, &touched);
        if (error != 0) {
            const AlarmFileError restore = PutBack(file, old, touched);
            if (restore != 0) error = kAlarmFileMayBeDamaged | restore;
        }
    }
    const AlarmFileError closed = Close(file);
    return error != 0 ? error : closed;
}

// A save of bytes to path: through a temporary file, or in place when the
// folder refuses one. Either waits up to waitMs for a file another program holds.
AlarmFileError WriteOnce(const NativePath& path, const std::string& bytes, unsigned waitMs) {
    bool refused = false;
    AlarmFileError error = WriteThroughTempFile(path, bytes, true, waitMs, &refused);
    if (error == 0 || !refused || IsTransientError(error)) return error;
    const AlarmFileError inPlace = RetryWhileHeld(waitMs, kShareRetryStepMs, [&] { return WriteInPlace(path, bytes); });
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
        error = WriteThroughTempFile(Native(name.c_str()), bytes, false, kAlarmFileShareWaitMs, &refused);
        if (error == 0) {
            *kept = name;
            return 0;
        }
        if (!IsExistsError(error)) return error;
    }
    return error;
}

// Steps over text at *at in name; false, and *at unchanged, when it is not there.
bool Skip(const NativePath& name, std::size_t* at, const NativePath& text) {
    if (name.compare(*at, text.size(), text) != 0) return false;
    *at += text.size();
    return true;
}
template <class String>
bool SkipDigits(const String& name, std::size_t* at) {
    std::size_t i = *at;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
    if (i == *at) return false;
    *at = i;
    return true;
}

enum class Leftover { None, OfTheFile, OfACopy };

// Whether name is a temporary file that a save of the file named file left:
// "<file>.tmp" (earlier versions), "<file>.<digits>-<digits>.tmp", or for a
// kept copy "<file>.bad[N].<digits>-<digits>.tmp". Both names folded.
Leftover LeftoverKind(const NativePath& name, const NativePath& file) {
    // The parts of the names, folded as the names are.
    static const NativePath tmp = FoldCase(Native(L".tmp")), bad = FoldCase(Native(L".bad")), dot = Native(L"."),
                            dash = Native(L"-");
    if (name.compare(0, file.size(), file) != 0) return Leftover::None;
    std::size_t at = file.size();
    if (Skip(name, &at, tmp) && at == name.size()) return Leftover::OfTheFile;
    Leftover kind = Leftover::OfTheFile;
    if (Skip(name, &at, bad)) {
        kind = Leftover::OfACopy;
        SkipDigits(name, &at);
    }
    const bool temp = Skip(name, &at, dot) && SkipDigits(name, &at) && Skip(name, &at, dash) &&
                      SkipDigits(name, &at) && Skip(name, &at, tmp) && at == name.size();
    return temp ? kind : Leftover::None;
}

bool IsMissing(const NativePath& path) {
    File file = kNoFile;
    const AlarmFileError error = OpenForReading(path, &file);
    if (error == 0) Close(file);
    return IsMissingError(error);
}

// Throws std::bad_alloc when memory runs out: a leftover that could not be
// read for it must not count as incomplete, or it would be removed.
bool IsCompleteAlarmFile(const NativePath& path) {
    std::string bytes;
    AlarmFileError error = 0;
    const ReadStatus status = ReadWholeFile(path, bytes, &error);
    if (error == kOutOfMemory) throw std::bad_alloc();
    return status == ReadStatus::Read && DecodeFileBytes(bytes).complete;
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

std::wstring AlarmFilePath() {
    std::wstring folder;
    return ExecutableFolder(&folder) ? folder + kFileName : std::wstring();
}

bool GetAlarmFilePath(wchar_t* path, std::size_t capacity) {
    if (path == nullptr || capacity == 0) return false;
    path[0] = L'\0';
    const std::wstring full = AlarmFilePath();
    if (full.empty() || full.size() + 1 > capacity) return false;
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
        report->error = RetryWhileHeld(kAlarmFileShareWaitMs, kShareRetryStepMs, [&] {
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
        DecodedAlarms decoded = DecodeFileBytes(bytes);
        if (!decoded.complete) {
            report->damaged = true;
            report->alarmsRead = decoded.alarms.size();
            report->error = KeepDamagedFile(path, bytes, &report->keptPath);
            if (report->error != 0) return AlarmFileUnavailable;
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
        return WriteOnce(Native(path), ToFileBytes(EncodeAlarmArchive(alarms)), shareWaitMs);
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

SaveLeftovers ClearSaveLeftovers(const wchar_t* path) {
    SaveLeftovers done;
    if (path == nullptr || path[0] == L'\0') return done;
    try {
        const NativePath file = Native(path);
        const std::size_t nameStart = FileNameStart(file);
        const NativePath folder = file.substr(0, nameStart);
        const NativePath name = FoldCase(file.substr(nameStart));
        std::vector<NativePath> names;
        ListFolder(folder, &names);  // what could be listed is cleared
        // A complete leftover of the file itself, with the file missing, is a
        // save cut between its two steps: the newest one takes the file's place.
        const bool missing = IsMissing(file);
        std::vector<NativePath> leftovers;
        NativePath newest;
        unsigned long long newestTime = 0;
        for (const NativePath& entry : names) {
            const Leftover kind = LeftoverKind(FoldCase(entry), name);
            if (kind == Leftover::None) continue;
            leftovers.push_back(folder + entry);
            unsigned long long time = 0;
            if (missing && kind == Leftover::OfTheFile && ModifiedTime(leftovers.back(), &time) == 0 &&
                (newest.empty() || time >= newestTime) && IsCompleteAlarmFile(leftovers.back())) {
                newest = leftovers.back();
                newestTime = time;
            }
        }
        // Not moved, it stays for the next start to try again: never lost.
        if (!newest.empty()) done.restored = Move(newest, file, false) == 0;
        for (const NativePath& leftover : leftovers) {
            if (leftover != newest && Remove(leftover) == 0) ++done.removed;
        }
    } catch (const std::exception&) {
        // Out of memory: what was done so far is all.
    }
    return done;
}
