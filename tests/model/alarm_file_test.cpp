// The alarm file on disk: creation, loading, damaged files and safe saving.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <cstdio>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "model/alarm_archive.h"
#include "model/alarm_file.h"
#include "model/archive_test_util.h"
#include "model/failing_allocator.h"
#include "model/faulty_disk.h"
#include "model/file_ops.h"
#include "model/test_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class AlarmFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_alarms.clear();
        path = folder.Path(L"file.txt");
    }

    // The faults of the disk, which the alarm file writes through from the
    // first call on in a test to its end.
    FaultyDisk& Disk() {
        if (!disk_) disk_.emplace();
        return *disk_;
    }

    // What the disk holds for archive bytes: text mode on Windows.
    static std::string OnDisk(const std::string& bytes) {
#ifdef _WIN32
        return ToTextModeFileBytes(bytes);
#else
        return bytes;
#endif
    }

    TempFolder folder;
    std::wstring path;
    std::optional<FaultyDisk> disk_;
};

}  // namespace

TEST_F(AlarmFileTest, FirstStartCreatesTheDefaultFile) {
    EXPECT_EQ(AlarmFileCreated, LoadAlarmFile(path.c_str()));
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(222u, bytes.size());
    EXPECT_EQ(EncodeAlarmArchive(DefaultAlarms()), bytes);
    EXPECT_TRUE(SameAlarms(DefaultAlarms(), g_alarms));
    EXPECT_EQ(1, CountEntries(folder.Root()));  // no temporary file left
}

TEST_F(AlarmFileTest, AnEmptyListIsKeptNotRecreated) {
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), {}));
    EXPECT_EQ(36u, ReadBytes(path).size());
    g_alarms = DefaultAlarms();
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(36u, ReadBytes(path).size());
}

TEST_F(AlarmFileTest, SavedListsLoadBackInOrder) {
    std::mt19937 random(42);
    for (std::size_t size : {3, 0, 25}) {
        const std::vector<CAlarm> list = RandomAlarms(random, size);
        ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), list));
        EXPECT_EQ(OnDisk(EncodeAlarmArchive(list)), ReadBytes(path));
        EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
        EXPECT_TRUE(SameAlarms(list, g_alarms)) << size;
    }
}

TEST_F(AlarmFileTest, DamagedFileKeepsItsBytesAndTheWholeAlarms) {
    const std::string whole = OnDisk(EncodeAlarmArchive(DefaultAlarms()));
    const std::string damaged = whole.substr(0, whole.size() - 7);  // the last path cut short
    ASSERT_TRUE(WriteBytes(path, damaged));

    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    std::vector<CAlarm> firstThree = DefaultAlarms();
    firstThree.pop_back();
    EXPECT_TRUE(SameAlarms(firstThree, g_alarms));
    EXPECT_EQ(damaged, ReadBytes(path));            // not rewritten by the load
    EXPECT_EQ(damaged, ReadBytes(path + L".bad"));  // and kept aside

    // A second damaged file does not overwrite the first one kept.
    ASSERT_TRUE(WriteBytes(path, "garbage"));
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(damaged, ReadBytes(path + L".bad"));
    EXPECT_EQ("garbage", ReadBytes(path + L".bad2"));
}

TEST_F(AlarmFileTest, EmptyFileIsDamagedNotReplacedByDefaults) {
    ASSERT_TRUE(WriteBytes(path, ""));
    g_alarms = DefaultAlarms();
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_TRUE(FileExists(path + L".bad"));
    EXPECT_EQ("", ReadBytes(path));
}

TEST_F(AlarmFileTest, FileThatCannotBeReadIsLeftAlone) {
    // A folder where the file should be: it exists but does not open for reading.
    ASSERT_TRUE(MakeFolder(path));
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(1, CountEntries(folder.Root()));
    EXPECT_FALSE(SaveAlarmFileTo(path.c_str(), DefaultAlarms()));
    EXPECT_EQ(1, CountEntries(folder.Root()));  // no temporary file left behind
}

TEST_F(AlarmFileTest, MissingFolderIsUnavailable) {
    const std::wstring nowhere = folder.Path(L"no such folder") +
#ifdef _WIN32
                                 L"\\file.txt";
#else
                                 L"/file.txt";
#endif
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(nowhere.c_str()));
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(L""));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(0, CountEntries(folder.Root()));
}

TEST_F(AlarmFileTest, FailedWriteLeavesTheOldFileIntact) {
    const std::vector<CAlarm> old = DefaultAlarms();
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), old));
    const std::string before = ReadBytes(path);
    std::mt19937 random(3);
    const std::vector<CAlarm> list = RandomAlarms(random, 30);
    for (long long limit : {0LL, 1LL, 100LL, 1000LL}) {
        Disk().writeLimit = limit;
        EXPECT_FALSE(SaveAlarmFileTo(path.c_str(), list)) << limit;
        EXPECT_EQ(before, ReadBytes(path)) << limit;
        EXPECT_EQ(1, CountEntries(folder.Root())) << limit;
    }
    Disk().writeLimit = -1;
    EXPECT_TRUE(SaveAlarmFileTo(path.c_str(), list));
    EXPECT_EQ(OnDisk(EncodeAlarmArchive(list)), ReadBytes(path));
}

TEST_F(AlarmFileTest, FailedCreationMakesNoFile) {
    Disk().writeLimit = 10;
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(0, CountEntries(folder.Root()));
}

TEST_F(AlarmFileTest, DamagedFileThatCannotBeKeptIsLeftAlone) {
    ASSERT_TRUE(WriteBytes(path, "not an alarm file"));
    Disk().writeLimit = 0;
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ("not an alarm file", ReadBytes(path));
    EXPECT_EQ(1, CountEntries(folder.Root()));
}

TEST_F(AlarmFileTest, DamagedFileThatCannotBeKeptIsReportedAsDamaged) {
    const std::string whole = OnDisk(EncodeAlarmArchive(DefaultAlarms()));
    const std::string damaged = whole.substr(0, whole.size() - 7);
    ASSERT_TRUE(WriteBytes(path, damaged));
    Disk().refuseNewFiles = true;  // a folder the user may not write to
    AlarmFileLoadReport report;
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str(), &report));
#ifdef _WIN32
    EXPECT_EQ(static_cast<AlarmFileError>(ERROR_WRITE_PROTECT), report.error);
#else
    EXPECT_EQ(static_cast<AlarmFileError>(EROFS), report.error);
#endif
    EXPECT_TRUE(report.damaged);
    EXPECT_EQ(3u, report.alarmsRead);
    EXPECT_TRUE(report.keptPath.empty());
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(damaged, ReadBytes(path));
    EXPECT_EQ(1, CountEntries(folder.Root()));
}

TEST_F(AlarmFileTest, ReportsWhyAndWhatItFound) {
    // A folder where the file should be: an error of the system, no alarms.
    ASSERT_TRUE(MakeFolder(path));
    AlarmFileLoadReport report;
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str(), &report));
    EXPECT_NE(0u, report.error);
    EXPECT_NE(0u, WriteAlarmFile(path.c_str(), DefaultAlarms(), 0));
    EXPECT_NE(0u, WriteAlarmFile(L"", DefaultAlarms(), 0));

    // A damaged file: how many alarms were read whole, and where it is kept.
    const std::wstring other = folder.Path(L"other.txt");
    const std::string whole = OnDisk(EncodeAlarmArchive(DefaultAlarms()));
    ASSERT_TRUE(WriteBytes(other, whole.substr(0, whole.size() - 7)));
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(other.c_str(), &report));
    EXPECT_EQ(0u, report.error);
    EXPECT_TRUE(report.damaged);
    EXPECT_EQ(3u, report.alarmsRead);
    EXPECT_EQ(other + L".bad", report.keptPath);
    ASSERT_TRUE(WriteBytes(other, "22 serialization::archive 10 0 0 1 0 0 0 6"));
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(other.c_str(), &report));
    EXPECT_EQ(0u, report.alarmsRead);
    EXPECT_EQ(other + L".bad2", report.keptPath);

    // A whole file reports no damage.
    EXPECT_EQ(AlarmFileCreated, LoadAlarmFile(folder.Path(L"new.txt").c_str(), &report));
    EXPECT_FALSE(report.damaged);
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(folder.Path(L"new.txt").c_str(), &report));
    EXPECT_FALSE(report.damaged);
    EXPECT_TRUE(report.keptPath.empty());
}

TEST_F(AlarmFileTest, MemoryThatRunsOutIsNoDamage) {
    // The list's one block is larger than the file, which is read all the
    // same: the allocation a fragmented 32-bit address space refuses first.
    const std::vector<CAlarm> many(20000, CAlarm(1, 2, 1, 1, 1, 1, 1, 1, 1, true, L"a.wav"));
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), many));
    const std::string bytes = ReadBytes(path);
    ASSERT_LT(bytes.size() + 4096, many.size() * sizeof(CAlarm));
    AlarmFileLoadReport report;
    SaveLeftovers done;
    {
        const AllocationsFail fail(bytes.size() + 4096);
        EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str(), &report));
        // A save cut short left the only copy: it stays for the next start.
        file_ops::Move(file_ops::Native(path.c_str()), file_ops::Native(folder.Path(L"file.txt.1-2.tmp").c_str()), false);
        done = ClearSaveLeftovers(path.c_str());
    }
    EXPECT_EQ(file_ops::kOutOfMemory, report.error);
    EXPECT_FALSE(report.damaged);
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(0u, done.removed);
    EXPECT_EQ(1, CountEntries(folder.Root()));  // nothing kept aside as damaged
    EXPECT_TRUE(ClearSaveLeftovers(path.c_str()).restored);
    EXPECT_EQ(bytes, ReadBytes(path));
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    EXPECT_EQ(many.size(), g_alarms.size());

    // A file over the size cap is not read at all.
    ASSERT_TRUE(WriteBytes(path, std::string(kMaxAlarmFileBytes + 1, ' ')));
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(path.c_str(), &report));
    EXPECT_EQ(file_ops::kTooLarge, report.error);
    EXPECT_EQ(kMaxAlarmFileBytes + 1, ReadBytes(path).size());
}

TEST_F(AlarmFileTest, FullDiskIsReportedAsSuch) {
    Disk().writeLimit = 100;
#ifdef _WIN32
    EXPECT_EQ(static_cast<AlarmFileError>(ERROR_DISK_FULL), WriteAlarmFile(path.c_str(), DefaultAlarms(), 0));
#else
    EXPECT_EQ(static_cast<AlarmFileError>(ENOSPC), WriteAlarmFile(path.c_str(), DefaultAlarms(), 0));
#endif
    EXPECT_EQ(0, CountEntries(folder.Root()));
}

// A folder that refuses new files: the file itself is rewritten in place.
class InPlaceSave : public AlarmFileTest {
protected:
    void SetUp() override {
        AlarmFileTest::SetUp();
        ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), DefaultAlarms()));
        Disk().refuseNewFiles = true;
    }
};

TEST_F(InPlaceSave, WritesExactBytesWhetherTheFileGrowsOrShrinks) {
    std::mt19937 random(11);
    for (std::size_t size : {30, 1, 0, 4, 60}) {
        const std::vector<CAlarm> list = RandomAlarms(random, size);
        EXPECT_EQ(0u, WriteAlarmFile(path.c_str(), list, 0)) << size;
        EXPECT_EQ(OnDisk(EncodeAlarmArchive(list)), ReadBytes(path)) << size;
        EXPECT_EQ(1, CountEntries(folder.Root())) << size;
    }
}

TEST_F(InPlaceSave, FailedWritesLeaveTheOldBytes) {
    const std::string before = ReadBytes(path);
    std::mt19937 random(5);
    const std::vector<CAlarm> longer = RandomAlarms(random, 30);
    // The disk fills up anywhere in the part beyond the old end.
    for (long long limit : {0LL, 1LL, 500LL}) {
        Disk().writeLimit = limit;
        EXPECT_NE(0u, WriteAlarmFile(path.c_str(), longer, 0)) << limit;
        EXPECT_EQ(before, ReadBytes(path)) << limit;
        EXPECT_EQ(1, CountEntries(folder.Root())) << limit;
    }
    // No file to write in place: the folder's refusal is the reason.
    const std::wstring missing = folder.Path(L"missing.txt");
    Disk().writeLimit = -1;
#ifdef _WIN32
    EXPECT_EQ(static_cast<AlarmFileError>(ERROR_WRITE_PROTECT), WriteAlarmFile(missing.c_str(), longer, 0));
#else
    EXPECT_EQ(static_cast<AlarmFileError>(EROFS), WriteAlarmFile(missing.c_str(), longer, 0));
#endif
    EXPECT_EQ(AlarmFileUnavailable, LoadAlarmFile(missing.c_str()));
    EXPECT_EQ(1, CountEntries(folder.Root()));
}

TEST_F(InPlaceSave, AFailedWriteIsUndoneOrReportedAsMayBeDamaged) {
    const std::string before = ReadBytes(path);
    std::mt19937 random(6);
    // Growing: the tail, then the head is written; shrinking: the head first.
    for (std::size_t size : {30, 1}) {
        const std::vector<CAlarm> list = RandomAlarms(random, size);
        const int headWrite = size == 30 ? 1 : 0;
        // The head's write fails halfway: the old bytes go back, exactly.
        Disk().writesBeforeFault = headWrite;
        Disk().failingWrites = 1;
        const AlarmFileError failed = WriteAlarmFile(path.c_str(), list, 0);
        EXPECT_NE(0u, failed) << size;
        EXPECT_FALSE(MayBeDamaged(failed)) << size;
        EXPECT_EQ(before, ReadBytes(path)) << size;
        // Putting them back fails too: said so, with the error that met.
        Disk().writesBeforeFault = headWrite;
        Disk().failingWrites = 2;
        const AlarmFileError damaged = WriteAlarmFile(path.c_str(), list, 0);
        EXPECT_TRUE(MayBeDamaged(damaged)) << size;
        EXPECT_EQ(file_ops::kDiskFull, SystemErrorOf(damaged)) << size;  // the failing disk's
        Disk().writesBeforeFault = -1;
        ASSERT_TRUE(WriteBytes(path, before));
        EXPECT_EQ(1, CountEntries(folder.Root())) << size;
    }
}

TEST_F(AlarmFileTest, ClearsTheLeftoversOfInterruptedSavesAndNothingElse) {
    const std::string whole = OnDisk(EncodeAlarmArchive(DefaultAlarms()));
    ASSERT_TRUE(WriteBytes(path, "current"));
    std::vector<std::wstring> leftovers = {L"file.txt.tmp", L"file.txt.123-4.tmp", L"file.txt.bad.9-1.tmp",
                                           L"file.txt.bad12.9-2.tmp"};
#ifdef _WIN32
    leftovers.push_back(L"FILE.TXT.Bad3.7-7.TMP");  // names ignore case here
#endif
    const std::vector<std::wstring> foreign = {L"file.txt.bad", L"file.txt.bak", L"other.tmp", L"file.txt.1-2.tmpx",
                                               L"file.txt.bad.tmp", L"file.txt.-1.tmp", L"xfile.txt.1-2.tmp"};
    for (const auto& names : {leftovers, foreign}) {
        for (const std::wstring& name : names) ASSERT_TRUE(WriteBytes(folder.Path(name), whole));
    }
    const SaveLeftovers done = ClearSaveLeftovers(path.c_str());
    EXPECT_EQ(leftovers.size(), done.removed);
    EXPECT_FALSE(done.restored);  // the file is there: a complete leftover is no save cut short
    for (const std::wstring& name : leftovers) EXPECT_FALSE(FileExists(folder.Path(name)));
    for (const std::wstring& name : foreign) EXPECT_TRUE(FileExists(folder.Path(name)));
    EXPECT_EQ("current", ReadBytes(path));
}

TEST_F(AlarmFileTest, ASaveCutBeforeItsRenameIsFinishedAtStart) {
    const std::string whole = OnDisk(EncodeAlarmArchive(DefaultAlarms()));
    // Cut short while written: not the file's.
    ASSERT_TRUE(WriteBytes(folder.Path(L"file.txt.5-1.tmp"), whole.substr(0, whole.size() - 7)));
    SaveLeftovers done = ClearSaveLeftovers(path.c_str());
    EXPECT_EQ(1u, done.removed);
    EXPECT_FALSE(done.restored);
    EXPECT_EQ(0, CountEntries(folder.Root()));
    // Whole: the newest becomes the file; a copy's leftover never does.
    const std::string older = OnDisk(EncodeAlarmArchive({DefaultAlarms()[0]}));
    ASSERT_TRUE(WriteBytes(folder.Path(L"file.txt.5-2.tmp"), older));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // past the file system's time steps
    ASSERT_TRUE(WriteBytes(folder.Path(L"file.txt.5-3.tmp"), whole));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(WriteBytes(folder.Path(L"file.txt.bad.5-4.tmp"), older));
    done = ClearSaveLeftovers(path.c_str());
    EXPECT_EQ(2u, done.removed);
    EXPECT_TRUE(done.restored);
    EXPECT_EQ(whole, ReadBytes(path));
    EXPECT_EQ(1, CountEntries(folder.Root()));
}

TEST_F(AlarmFileTest, SavesAtOnceNeverShareATemporaryFile) {
    // Two copies saving the same file at the same moment, and a reader: each
    // save must land whole, and the reader must never see a mixture.
    std::mt19937 random(8);
    const std::vector<CAlarm> lists[2] = {RandomAlarms(random, 40), RandomAlarms(random, 25)};
    const std::string files[2] = {OnDisk(EncodeAlarmArchive(lists[0])), OnDisk(EncodeAlarmArchive(lists[1]))};
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), lists[0]));
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    auto save = [&](int which) {
        for (int i = 0; i < 60; ++i) {
            if (!SaveAlarmFileTo(path.c_str(), lists[which])) ++failures;
        }
    };
    std::thread reader([&] {
        while (!done) {
            const std::string bytes = ReadBytes(path);
            if (!bytes.empty() && bytes != files[0] && bytes != files[1]) ++failures;
        }
    });
    std::thread first(save, 0), second(save, 1);
    first.join();
    second.join();
    done = true;
    reader.join();
    EXPECT_EQ(0, failures.load());
    const std::string last = ReadBytes(path);
    EXPECT_TRUE(last == files[0] || last == files[1]);
    EXPECT_EQ(1, CountEntries(folder.Root()));  // no temporary file left
}

TEST(AlarmFilePath, IsFileTxtBesideTheProgram) {
    wchar_t path[kPathCapacity];
    ASSERT_TRUE(GetAlarmFilePath(path, kPathCapacity));
    const std::wstring text = path;
#ifdef _WIN32
    const std::wstring tail = L"\\file.txt";
#else
    const std::wstring tail = L"/file.txt";
#endif
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));

    // Too long for the buffer: no path at all rather than one cut short.
    wchar_t small[12] = L"unchanged";
    EXPECT_FALSE(GetAlarmFilePath(small, 12));
    EXPECT_EQ(L'\0', small[0]);
}

TEST_F(AlarmFileTest, KatakanaFolderWorks) {
    const std::wstring sub = folder.Path(L"\u30A2\u30E9\u30FC\u30E0");
    ASSERT_TRUE(MakeFolder(sub));
#ifdef _WIN32
    const std::wstring file = sub + L"\\file.txt";
#else
    const std::wstring file = sub + L"/file.txt";
#endif
    EXPECT_EQ(AlarmFileCreated, LoadAlarmFile(file.c_str()));
    EXPECT_EQ(222u, ReadBytes(file).size());
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(file.c_str()));
    EXPECT_TRUE(SameAlarms(DefaultAlarms(), g_alarms));
}
#ifdef _WIN32
// Another program holding the file, as antivirus, backup and sync programs do.

// Holds the file without sharing from another thread for ms, from the moment
// the object is made.
class HeldFile {
public:
    enum How { Unshared, ByteLock, Mapped };
    HeldFile(const std::wstring& path, DWORD ms, How how = Unshared) {
        const DWORD share = how == Mapped ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                          : how == ByteLock ? FILE_SHARE_READ : 0;
        handle_ = CreateFileW(path.c_str(), GENERIC_READ | (how == Mapped ? 0 : GENERIC_WRITE), share, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        if (how == ByteLock && handle_ != INVALID_HANDLE_VALUE) LockFile(handle_, 0, 0, 1u << 20, 0);
        // As a scanner maps a file it reads: others may open it, not cut it.
        const HANDLE mapping = how == Mapped ? CreateFileMappingW(handle_, nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
        void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
        releaser_ = std::thread([this, ms, mapping, view] {
            Sleep(ms);
            if (view) UnmapViewOfFile(view);
            if (mapping) CloseHandle(mapping);
            CloseHandle(handle_);
        });
    }
    ~HeldFile() { releaser_.join(); }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
    std::thread releaser_;
};

TEST_F(AlarmFileTest, FileHeldForTwoSecondsIsWaitedFor) {
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), DefaultAlarms()));
    {
        HeldFile held(path, 2000);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
        EXPECT_TRUE(SameAlarms(DefaultAlarms(), g_alarms));
    }
    const std::vector<CAlarm> one = {DefaultAlarms()[1]};
    {
        HeldFile held(path, 2000);
        ASSERT_TRUE(held.Held());
        EXPECT_TRUE(SaveAlarmFileTo(path.c_str(), one));
    }
    EXPECT_EQ(OnDisk(EncodeAlarmArchive(one)), ReadBytes(path));
    {
        // A range locked against reading: a lock violation, waited for too.
        HeldFile held(path, 2000, HeldFile::ByteLock);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
        EXPECT_TRUE(SameAlarms(one, g_alarms));
    }
    EXPECT_EQ(1, CountEntries(folder.Root()));
    // Mapped: neither replaced nor cut to size until it is let go.
    for (bool inPlace : {false, true}) {
        Disk().refuseNewFiles = inPlace;
        ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), DefaultAlarms()));
        HeldFile held(path, 2000, HeldFile::Mapped);
        ASSERT_TRUE(held.Held());
        EXPECT_TRUE(SaveAlarmFileTo(path.c_str(), one)) << inPlace;
    }
    EXPECT_EQ(OnDisk(EncodeAlarmArchive(one)), ReadBytes(path));
}

// Identifies the file that a path names now: a replaced file is another one.
unsigned long long FileId(const std::wstring& path) {
    const HANDLE file = CreateFileW(file_ops::ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

TEST_F(AlarmFileTest, LongFolderKeepsTheOneStepReplace) {
    // From MAX_PATH characters on, drive and network paths get the "\\?\" form.
    using file_ops::ExtendedLengthPath;
    const std::wstring tail(MAX_PATH, L'a');
    EXPECT_EQ(L"\\\\?\\C:\\" + tail, ExtendedLengthPath(L"C:/" + tail));
    EXPECT_EQ(L"\\\\?\\UNC\\server\\share\\" + tail, ExtendedLengthPath(L"\\\\server\\share\\" + tail));
    for (const std::wstring& same : {std::wstring(L"C:\\short"), L"\\\\?\\C:\\" + tail, L"relative\\" + tail})
        EXPECT_EQ(same, ExtendedLengthPath(same));

    // file.txt 255 characters long: its temporary files' names pass MAX_PATH.
    const std::wstring sub = folder.Path(std::wstring(255 - folder.Root().size() - 10, L'x'));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + sub).c_str(), nullptr));
    const std::wstring file = sub + L"\\file.txt";
    ASSERT_EQ(255u, file.size());
    EXPECT_EQ(AlarmFileCreated, LoadAlarmFile(file.c_str()));
    const unsigned long long before = FileId(file);
    ASSERT_TRUE(SaveAlarmFileTo(file.c_str(), {DefaultAlarms()[2]}));
    EXPECT_NE(before, FileId(file));  // replaced, not rewritten in place
    ASSERT_TRUE(WriteBytes(file, "garbage"));
    AlarmFileLoadReport report;
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(file.c_str(), &report));
    EXPECT_EQ(file + L".bad", report.keptPath);
    EXPECT_EQ("garbage", ReadBytes(ExtendedLengthPath(report.keptPath)));
    EXPECT_EQ(2, CountEntries(sub));
    for (const std::wstring& name : {file, report.keptPath}) DeleteFileW(ExtendedLengthPath(name).c_str());
    RemoveDirectoryW((L"\\\\?\\" + sub).c_str());
}

// Windows text mode only exists here: line ends on disk are CR LF, and the
// C runtime's text-mode reading would stop at the byte 0x1A.

TEST_F(AlarmFileTest, PathsWithLineFeedAndEndOfFileBytesRoundTrip) {
    const std::vector<CAlarm> list = {
        CAlarm(6, 0, 1, 1, 1, 1, 1, 1, 1, true, L"C:\\\u4E0A\\a.wav"),       // 上: 0A 4E
        CAlarm(7, 0, 1, 1, 1, 1, 1, 1, 1, true, L"C:\\\u4F1A\\\u4F1A.wav"),  // 会: 1A 4F
        CAlarm(8, 0, 0, 1, 0, 1, 0, 1, 0, false, L"C:\\\u30A2\u30E9\u30FC\u30E0\\\u30D9\u30EB.wav"),
        CAlarm(9, 0, 1, 1, 1, 1, 1, 1, 1, true, L"\u0A0D\u0D0A"),
    };
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), list));
    const std::string disk = ReadBytes(path);
    EXPECT_NE(std::string::npos, disk.find("\r\n\x4E"));  // 上 stored through text mode
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(SameAlarms(list, g_alarms));
    EXPECT_FALSE(FileExists(path + L".bad"));
}

TEST_F(AlarmFileTest, ReadsFilesWrittenThroughTheRuntimesTextMode) {
    // As an earlier copy of the program wrote it: fwrite on a "w" stream.
    const std::vector<CAlarm> list = {CAlarm(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"\u4E0A\u4F1A.wav")};
    const std::string bytes = EncodeAlarmArchive(list);
    FILE* file = _wfopen(path.c_str(), L"w");
    ASSERT_TRUE(file != nullptr);
    ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
    ASSERT_EQ(0, fclose(file));
    EXPECT_EQ(ToTextModeFileBytes(bytes), ReadBytes(path));
    EXPECT_EQ(AlarmFileLoaded, LoadAlarmFile(path.c_str()));
    EXPECT_TRUE(SameAlarms(list, g_alarms));

    // And what we write reads back through the runtime's text mode, as long
    // as no path holds the byte 0x1A.
    const std::vector<CAlarm> plain = {CAlarm(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"\u4E0A.wav")};
    ASSERT_TRUE(SaveAlarmFileTo(path.c_str(), plain));
    file = _wfopen(path.c_str(), L"r");
    ASSERT_TRUE(file != nullptr);
    std::string read;
    char chunk[512];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) read.append(chunk, got);
    fclose(file);
    EXPECT_EQ(EncodeAlarmArchive(plain), read);
}

#endif
