// The alarm file's bytes: the exact layout, round trips and damaged input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/alarm_archive.h"
#include "model/alarm_file.h"
#include "model/archive_test_util.h"

namespace {

const std::string kDefaultRecord = " 1 1 1 1 1 1 1 1 10 " + Units("chimes.wav");

std::string DefaultFile() {
    return "22 serialization::archive 10 0 0 4 0 0 0 8 30" + kDefaultRecord + " 12 30" +
           kDefaultRecord + " 13 30" + kDefaultRecord + " 17 0" + kDefaultRecord;
}

}  // namespace

TEST(AlarmArchive, WritesTheExactLayout) {
    const std::string example = EncodeAlarmArchive(
        {CAlarm(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"chimes.wav")});
    EXPECT_EQ(85u, example.size());
    EXPECT_EQ(WorkedExampleFile(), example);

    const std::string empty = EncodeAlarmArchive({});
    EXPECT_EQ(36u, empty.size());
    EXPECT_EQ("22 serialization::archive 10 0 0 0 0", empty);

    const std::string defaults = EncodeAlarmArchive(DefaultAlarms());
    EXPECT_EQ(222u, defaults.size());
    EXPECT_EQ(DefaultFile(), defaults);
}

TEST(AlarmArchive, EmptyPathIsLengthZeroAndTwoSpaces) {
    const std::string bytes = EncodeAlarmArchive({CAlarm(1, 2, 0, 0, 0, 0, 0, 0, 0, false, L"")});
    EXPECT_EQ("22 serialization::archive 10 0 0 1 0 0 0 1 2 0 0 0 0 0 0 0 0 0 ", bytes);
    const DecodedAlarms back = DecodeAlarmArchive(bytes);
    ASSERT_TRUE(back.complete);
    ASSERT_EQ(1u, back.alarms.size());
    EXPECT_TRUE(back.alarms[0].m_sound.empty());
}

TEST(AlarmArchive, PathsAreUtf16LowByteFirst) {
    // カ (U+30AB), 上 (U+4E0A) and a character beyond the BMP as a surrogate pair.
    std::wstring path = L"\u30AB\u4E0A";
    path += (sizeof(wchar_t) == 2) ? std::wstring(L"\xD83D\xDD14") : std::wstring(1, wchar_t(0x1F514));
    const std::string bytes = EncodeAlarmArchive({CAlarm(0, 0, 0, 0, 0, 0, 0, 0, 0, true, path)});
    const std::string tail = std::string(" 4 ") + "\xAB\x30\x0A\x4E\x3D\xD8\x14\xDD";
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(tail, bytes.substr(bytes.size() - tail.size()));
    const DecodedAlarms back = DecodeAlarmArchive(bytes);
    ASSERT_TRUE(back.complete);
    EXPECT_EQ(path, back.alarms.at(0).m_sound);
}

TEST(AlarmArchive, RandomListsRoundTrip) {
    std::mt19937 random(20261208);
    for (std::size_t size : {0, 1, 2, 3, 7, 50, 400}) {
        const std::vector<CAlarm> list = RandomAlarms(random, size);
        const std::string bytes = EncodeAlarmArchive(list);
        const DecodedAlarms back = DecodeAlarmArchive(bytes);
        EXPECT_TRUE(back.complete) << size;
        EXPECT_TRUE(SameAlarms(list, back.alarms)) << size;
        // Through the disk's text mode and back, too.
        const DecodedAlarms viaTextMode =
            DecodeAlarmArchive(FromTextModeFileBytes(ToTextModeFileBytes(bytes)));
        EXPECT_TRUE(SameAlarms(list, viaTextMode.alarms)) << size;
    }
}

TEST(AlarmArchive, ReadsOlderVersionsAndLooseWhiteSpace) {
    const std::string record = " 6 45 0 1 1 1 1 1 0 1 10 " + Units("chimes.wav");
    const struct { std::string name, bytes; } cases[] = {
        {"version 9", "22 serialization::archive 9 0 0 1 0 0 0" + record},
        {"version 4", "22 serialization::archive 4 0 0 1 0 0 0" + record},
        {"version 3 has no item version", "22 serialization::archive 3 0 0 1 0 0" + record},
        {"line breaks and runs of spaces",
         "22 serialization::archive\n10\r\n0   0\t1 0\n0 0 6\n45 0 1 1 1 1 1 0 1   10 " + Units("chimes.wav")},
        {"class versions are not compared", "22 serialization::archive 10 0 3 1 0 0 7" + record},
        {"what follows the last record is left unread", WorkedExampleFile() + " 99 garbage\n"},
    };
    for (const auto& c : cases) {
        const DecodedAlarms back = DecodeAlarmArchive(c.bytes);
        EXPECT_TRUE(back.complete) << c.name;
        ASSERT_EQ(1u, back.alarms.size()) << c.name;
        EXPECT_TRUE(SameAlarm(CAlarm(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"chimes.wav"), back.alarms[0]))
            << c.name;
    }
}

TEST(AlarmArchive, RefusesWhatIsNotAnAlarmArchive) {
    const std::string head = "22 serialization::archive 10 0 0 1 0 0 0 ";
    const struct { std::string name, bytes; } cases[] = {
        {"empty", ""},
        {"only white space", " \n\r\n"},
        {"wrong signature", "22 serialization::archivf 10 0 0 0 0"},
        {"signature length off", "21 serialization::archiv 10 0 0 0 0"},
        {"two characters before the signature", "22  serialization::archive 10 0 0 0 0"},
        {"library version 11", "22 serialization::archive 11 0 0 0 0"},
        {"library version 18", "22 serialization::archive 18 0 0 0 0"},
        {"no version", "22 serialization::archive"},
        {"cut in the class information", "22 serialization::archive 10 0 0 1 0 0"},
        {"a letter in a number", head + "6 4x 0 1 1 1 1 1 0 1 10 " + Units("chimes.wav")},
        {"a number too large for an int", head + "99999999999 45 0 1 1 1 1 1 0 1 10 " + Units("chimes.wav")},
        {"switch 2", head + "6 45 0 1 1 1 1 1 0 2 10 " + Units("chimes.wav")},
        {"switch -1", head + "6 45 0 1 1 1 1 1 0 -1 10 " + Units("chimes.wav")},
        {"path cut short", head + "6 45 0 1 1 1 1 1 0 1 10 " + Units("chimes.wa")},
        {"path length without separator", head + "6 45 0 1 1 1 1 1 0 1 10"},
        {"huge path length", head + "6 45 0 1 1 1 1 1 0 1 4000000000 " + Units("chimes.wav")},
        {"a billion alarms in 43 bytes", "22 serialization::archive 10 0 0 1000000000 0 0 0"},
        {"tracking level 2", "22 serialization::archive 10 2 0 0 0"},
        // A tracked list would make the library read an object id first and
        // take the item version for the count.
        {"tracked list", "22 serialization::archive 10 1 0 0 60111111 1 1 1 1 1 1 1 1 1 1 1 1 1 1"},
        {"tracked alarm", head.substr(0, head.size() - 4) + "1 0 6 45 0 1 1 1 1 1 0 1 10 " + Units("chimes.wav")},
    };
    for (const auto& c : cases) {
        const DecodedAlarms back = DecodeAlarmArchive(c.bytes);
        EXPECT_FALSE(back.complete) << c.name;
        EXPECT_TRUE(back.alarms.empty()) << c.name;
    }
}

TEST(AlarmArchive, KeepsTheWholeAlarmsBeforeAFault) {
    std::mt19937 random(7);
    const std::vector<CAlarm> list = RandomAlarms(random, 5);
    const std::string bytes = EncodeAlarmArchive(list);
    const std::string firstThree = EncodeAlarmArchive({list[0], list[1], list[2]});
    const std::string fourRecordsHead = EncodeAlarmArchive({list[0], list[1], list[2], list[3]});
    // The first three records of the five-alarm file end where the
    // three-alarm file ends, but for the count token.
    const std::size_t endOfThird = firstThree.size();
    const std::size_t endOfFourth = fourRecordsHead.size();
    ASSERT_LT(endOfFourth, bytes.size());

    // Every cut inside the fourth record gives exactly the first three alarms,
    // the fourth never half-read.
    for (std::size_t cut = endOfThird; cut < endOfFourth; ++cut) {
        const DecodedAlarms back = DecodeAlarmArchive(bytes.substr(0, cut));
        EXPECT_FALSE(back.complete) << cut;
        ASSERT_EQ(3u, back.alarms.size()) << cut;
        EXPECT_TRUE(SameAlarms({list[0], list[1], list[2]}, back.alarms)) << cut;
    }

    // A bad switch in the fifth record: four alarms survive.
    std::string damaged = EncodeAlarmArchive({list[0], list[1], list[2], list[3],
                                              CAlarm(1, 1, 1, 1, 1, 1, 1, 1, 1, true, L"z")});
    const std::size_t at = damaged.rfind(" 1 1 z") ;
    ASSERT_NE(std::string::npos, at);
    damaged[at + 1] = '7';
    const DecodedAlarms back = DecodeAlarmArchive(damaged);
    EXPECT_FALSE(back.complete);
    EXPECT_TRUE(SameAlarms({list[0], list[1], list[2], list[3]}, back.alarms));
}

TEST(AlarmArchive, CountBeyondWhatTheBytesHoldIsRefusedAtOnce) {
    // Four whole records, but a count of a million: refused before any
    // allocation for it, so nothing is read.
    std::string bytes = EncodeAlarmArchive(DefaultAlarms());
    bytes.replace(bytes.find(" 4 0 0 0 "), 9, " 1000000 0 0 0 ");
    const DecodedAlarms back = DecodeAlarmArchive(bytes);
    EXPECT_FALSE(back.complete);
    EXPECT_TRUE(back.alarms.empty());
    // A count a little too large (a file cut short) still gives what is there.
    std::string cut = EncodeAlarmArchive(DefaultAlarms());
    cut.replace(cut.find(" 4 0 0 0 "), 9, " 5 0 0 0 ");
    const DecodedAlarms some = DecodeAlarmArchive(cut);
    EXPECT_FALSE(some.complete);
    EXPECT_TRUE(SameAlarms(DefaultAlarms(), some.alarms));
}

TEST(AlarmArchive, TextModeTranslatesOnlyLineEnds) {
    const std::string raw = std::string("a\nb\r\x1A\n\r\r\n", 9);
    const std::string onDisk = ToTextModeFileBytes(raw);
    EXPECT_EQ(std::string("a\r\nb\r\x1A\r\n\r\r\r\n", 12), onDisk);
    EXPECT_EQ(raw, FromTextModeFileBytes(onDisk));
    // The 0x1A byte does not end the data, and a lone CR stays.
    EXPECT_EQ(std::string("x\x1Ay\rz", 5), FromTextModeFileBytes(std::string("x\x1Ay\rz", 5)));
}
