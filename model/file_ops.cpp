// What both platforms' file operations share (see model/file_ops.h).
#include "model/file_ops.h"

namespace file_ops {

const Writes kDiskWrites = {CreateNew, Seek, WriteSome};
const Writes* g_writes = &kDiskWrites;

}  // namespace file_ops
