#include "model/alarm_archive.h"

#include <cstddef>
#include <exception>
#include <new>
#include <sstream>

#include <boost/archive/text_iarchive.hpp>
#include <boost/archive/text_oarchive.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

namespace {

const char kSignature[] = "serialization::archive";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;

// The fewest bytes one alarm record can take: eleven numbers of one digit,
// each after at least one separator.
constexpr std::size_t kMinRecordBytes = 22;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the archive's leading tokens by hand, the way formatted input would
// (white space skipped, plain decimal digits), without letting any number
// decide an allocation.
class TokenReader {
public:
    explicit TokenReader(const std::string& bytes) : m_bytes(bytes) {}

    bool Number(unsigned long long& value) {
        while (m_pos < m_bytes.size() && IsSpace(m_bytes[m_pos])) ++m_pos;
        const std::size_t start = m_pos;
        value = 0;
        while (m_pos < m_bytes.size() && m_bytes[m_pos] >= '0' && m_bytes[m_pos] <= '9') {
            if (m_pos - start >= 18) return false;  // far beyond any sane value
            value = value * 10 + static_cast<unsigned>(m_bytes[m_pos] - '0');
            ++m_pos;
        }
        return m_pos > start;
    }

    // One separating character, then exactly the signature.
    bool Signature(std::size_t length) {
        if (length != kSignatureLength || m_pos + 1 + length > m_bytes.size()) return false;
        if (m_bytes.compare(m_pos + 1, length, kSignature) != 0) return false;
        m_pos += 1 + length;
        return true;
    }

    std::size_t Position() const { return m_pos; }
    std::size_t Left() const { return m_bytes.size() - m_pos; }

private:
    const std::string& m_bytes;
    std::size_t m_pos = 0;
};

// Reads the bytes in place, without the copy a string stream would make.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(std::string& bytes) {
        char* begin = &bytes[0];
        setg(begin, begin, begin + bytes.size());
    }
};

}  // namespace

std::string EncodeAlarmArchive(const std::vector<CAlarm>& alarms) {
    std::ostringstream out;
    boost::archive::text_oarchive archive(out, boost::archive::no_header);
    // The header, laid out as the library lays out its own, but always with
    // the version the alarm file promises rather than the installed library's.
    const std::string signature(kSignature);
    const unsigned int version = kAlarmArchiveVersion;
    archive << signature << version;
    archive << alarms;
    // Taken before the archive ends: its destructor would add a line end.
    return out.str();
}

DecodedAlarms DecodeAlarmArchive(std::string bytes) {
    DecodedAlarms result;
    try {
        TokenReader reader(bytes);
        unsigned long long signatureLength = 0, version = 0;
        if (!reader.Number(signatureLength) || !reader.Signature(signatureLength) ||
            !reader.Number(version) || version > kAlarmArchiveVersion)
            return result;

        // Class information of the list, the count and, from version 4 on, the
        // item version; then, for a list that is not empty, the class
        // information of the alarm. Read here to bound the count, and passed on
        // to the library with the class versions as 0: the record layout is the
        // same whatever version a file names.
        unsigned long long listTracking = 0, listVersion = 0, count = 0, itemVersion = 0;
        unsigned long long alarmTracking = 0, alarmVersion = 0;
        if (!reader.Number(listTracking) || !reader.Number(listVersion) || !reader.Number(count))
            return result;
        if (version > 3 && !reader.Number(itemVersion)) return result;
        if (count > 0 && (!reader.Number(alarmTracking) || !reader.Number(alarmVersion)))
            return result;
        // A tracked list or alarm would carry object ids the layout has no
        // room for; such a file is not one of ours.
        if (listTracking != 0 || alarmTracking != 0) return result;
        if (count > reader.Left() / kMinRecordBytes) return result;

        std::ostringstream preamble;
        preamble << "0 0 " << count;
        if (version > 3) preamble << ' ' << itemVersion;
        if (count > 0) preamble << " 0 0";
        bytes.replace(0, reader.Position(), preamble.str());
        MemoryBuffer buffer(bytes);
        std::istream in(&buffer);

        boost::archive::text_iarchive archive(in, boost::archive::no_header);
        archive.set_library_version(
            boost::archive::library_version_type(static_cast<unsigned>(version)));
        try {
            archive >> result.alarms;
            result.complete = true;
        } catch (const std::bad_alloc&) {
            throw;  // no fault of the file's
        } catch (const std::exception&) {
            // Keep the alarms read whole before the fault; the one being read
            // and the places reserved after it go.
            const std::size_t whole =
                archive.get_helper<CAlarm::WholeAlarmsRead>().count;
            if (whole < result.alarms.size()) result.alarms.resize(whole);
        }
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        result.alarms.clear();
        result.complete = false;
    }
    return result;
}

std::string ToTextModeFileBytes(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (char c : bytes) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::string FromTextModeFileBytes(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out.push_back(bytes[i]);
    }
    return out;
}
