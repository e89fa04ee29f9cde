// A disk that fails on demand, for the fault tests of the alarm file. While a
// FaultyDisk lives, the alarm file makes its new files and writes through it
// (file_ops::g_writes), and it passes them on to the real disk but for the
// faults set in it.
#pragma once

class FaultyDisk {
public:
    FaultyDisk();
    ~FaultyDisk();
    FaultyDisk(const FaultyDisk&) = delete;
    FaultyDisk& operator=(const FaultyDisk&) = delete;

    // When zero or more, every write that makes a file grow fails, as on a
    // full disk, once this many bytes have been added by one write (all that
    // is written after one seek).
    long long writeLimit = -1;
    // When zero or more, that many more writes succeed, then the next
    // failingWrites writes (those putting old bytes back included) take half
    // their bytes and fail, as on a failing disk.
    int writesBeforeFault = -1;
    int failingWrites = 1;
    // No new file can be made, as in a folder the user may not write to;
    // existing files can still be written.
    bool refuseNewFiles = false;
};
