// libFuzzer target: the alarm file reader on arbitrary bytes.
// Whatever the bytes, reading must not crash, leak or allocate beyond what the
// bytes could hold, must give only whole alarms, and what it reads from a file
// that reads whole must write back to bytes that read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/alarm_archive.h"

namespace {

bool Same(const CAlarm& a, const CAlarm& b) {
    return a.m_hour == b.m_hour && a.m_minute == b.m_minute && a.m_sun == b.m_sun &&
           a.m_mon == b.m_mon && a.m_tue == b.m_tue && a.m_wed == b.m_wed && a.m_thu == b.m_thu &&
           a.m_fri == b.m_fri && a.m_sat == b.m_sat && a.m_on == b.m_on && a.m_sound == b.m_sound;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const DecodedAlarms first = DecodeAlarmArchive(bytes);
    // Through the Windows text-mode reading, as the program does there.
    DecodeAlarmArchive(FromTextModeFileBytes(bytes));

    // Whatever was read, whole or not, writes and reads back unchanged.
    const DecodedAlarms again = DecodeAlarmArchive(EncodeAlarmArchive(first.alarms));
    if (!again.complete || again.alarms.size() != first.alarms.size()) std::abort();
    for (std::size_t i = 0; i < first.alarms.size(); ++i)
        if (!Same(first.alarms[i], again.alarms[i])) std::abort();
    return 0;
}
