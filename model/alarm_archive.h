// The alarm file's contents: the alarm list as a Boost text archive.
// Portable: works on bytes in memory; the file itself is alarm_file's business.
#pragma once

#include <string>
#include <vector>

#include "model/alarm.h"

// The archive library version that the alarm file's header carries. Files with
// this version or lower are read; newer ones are not alarm files we understand.
constexpr unsigned int kAlarmArchiveVersion = 10;

// The archive bytes of a list, as written before any line-end translation:
// header, class information and records, no closing line end.
// May throw std::bad_alloc.
std::string EncodeAlarmArchive(const std::vector<CAlarm>& alarms);

struct DecodedAlarms {
    std::vector<CAlarm> alarms;  // the alarms read whole, in file order
    bool complete = false;       // false: the bytes are not a whole alarm archive
};

// Reads archive bytes (already through any line-end translation). On damaged
// bytes it returns the alarms read whole before the fault and complete =
// false; a count the bytes could not possibly hold is refused before anything
// is allocated for it. Throws only std::bad_alloc: memory that runs out says
// nothing about the bytes.
DecodedAlarms DecodeAlarmArchive(std::string bytes);

// Windows text mode on the way to and from the disk: every "\n" is stored as
// "\r\n" and a "\r\n" pair reads back as "\n". Unlike the C runtime's text-mode
// reading, the byte 0x1A does not end the data.
std::string ToTextModeFileBytes(const std::string& bytes);
std::string FromTextModeFileBytes(const std::string& bytes);
