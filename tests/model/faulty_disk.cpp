#include "model/faulty_disk.h"

#include <algorithm>

#include "model/file_ops.h"

namespace {

using namespace file_ops;

FaultyDisk* s_disk = nullptr;
// The write under way: where it goes on, what it has added, whether it fails.
unsigned long long s_offset = 0;
unsigned long long s_added = 0;
bool s_failing = false;

Error CreateNewOnDisk(const NativePath& path, File* file) {
    if (s_disk->refuseNewFiles) return kWriteProtected;
    return CreateNew(path, file);
}

// A seek begins a write.
Error SeekOnDisk(File file, unsigned long long offset) {
    s_offset = offset;
    s_added = 0;
    s_failing = false;
    if (s_disk->writesBeforeFault > 0) {
        --s_disk->writesBeforeFault;
    } else if (s_disk->writesBeforeFault == 0 && s_disk->failingWrites > 0) {
        --s_disk->failingWrites;
        s_failing = true;
    }
    return Seek(file, offset);
}

Error WriteSomeOnDisk(File file, const char* data, std::size_t size, std::size_t* wrote) {
    *wrote = 0;
    if (s_failing) size /= 2;  // then fails
    unsigned long long fileSize = 0;
    if (s_disk->writeLimit >= 0 && SizeOf(file, &fileSize) == 0 && s_offset + size > fileSize) {
        const auto limit = static_cast<unsigned long long>(s_disk->writeLimit);
        if (s_added >= limit) return kDiskFull;
        size = static_cast<std::size_t>(std::min<unsigned long long>(size, limit - s_added));
    }
    while (*wrote < size) {
        std::size_t some = 0;
        if (const Error error = WriteSome(file, data + *wrote, size - *wrote, &some)) return error;
        *wrote += some;
        s_offset += some;
        s_added += some;
    }
    return s_failing ? kDiskFull : 0;
}

const Writes kFaultyWrites = {CreateNewOnDisk, SeekOnDisk, WriteSomeOnDisk};

}  // namespace

FaultyDisk::FaultyDisk() {
    s_disk = this;
    g_writes = &kFaultyWrites;
}

FaultyDisk::~FaultyDisk() {
    g_writes = &kDiskWrites;
    s_disk = nullptr;
}
