#include "session/RecordingHeader.h"

#include "session/Numbers.h"
#include "session/SessionError.h"

namespace solvane::session {

namespace {

std::string_view fieldAt(std::string_view header, std::size_t offset, std::size_t width) {
    return trimmed(header.substr(offset, width));
}

/// The field's text as it stands, for a message.
std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (const char c : text)
        result += (c >= 32 && c < 127) ? c : '?';
    return result + "\"";
}

[[noreturn]] void refuse(const std::string& name, const std::string& what) {
    throw SessionError(name + " " + what);
}

/// The fixed part of a header, checked, into `header`; its signal count.
int readFixedPart(std::string_view fixed, const std::string& name, RecordingHeader& header) {
    constexpr std::size_t FixedBytes = RecordingHeader::FixedBytes;
    constexpr std::size_t SignalBytes = RecordingHeader::SignalBytes;
    constexpr int MostSignals = RecordingHeader::MostSignals;
    if (fieldAt(fixed, 0, 8) != "0")
        refuse(name, "is not an EDF recording: it begins with " + quoted(fixed.substr(0, 8)));
    const std::string_view sizeField = fieldAt(fixed, 184, 8);
    const std::optional<long long> headerBytes = parseInteger(sizeField);
    if (!headerBytes || *headerBytes < static_cast<long long>(FixedBytes + SignalBytes) ||
        *headerBytes > static_cast<long long>(FixedBytes + SignalBytes * MostSignals))
        refuse(name, "has a bad header size: " + quoted(sizeField) + " bytes");
    const std::string_view signalsField = fieldAt(fixed, 252, 4);
    const std::optional<long long> signals = parseInteger(signalsField);
    if (!signals || *signals < 1 || *signals > MostSignals)
        refuse(name, "has a bad signal count: " + quoted(signalsField));
    if (static_cast<uint64_t>(*headerBytes) != FixedBytes + SignalBytes * *signals)
        refuse(name, "has a header size of " + std::to_string(*headerBytes) +
                         " bytes, which does not fit its " + std::to_string(*signals) +
                         " signals (" + std::to_string(FixedBytes + SignalBytes * *signals) +
                         " bytes)");
    const std::optional<long long> count = RecordingHeader::recordCountIn(fixed);
    if (!count || *count < -1)
        refuse(name,
               "has a bad record count: " + quoted(fieldAt(fixed, RecordingHeader::CountOffset,
                                                           RecordingHeader::CountWidth)));
    const std::string_view durationField = fieldAt(fixed, 244, 8);
    const std::optional<double> duration = parseDecimal(durationField);
    if (!duration || !(*duration > 0.0))
        refuse(name, "has a bad data record duration: " + quoted(durationField));

    header.headerBytes = static_cast<uint64_t>(*headerBytes);
    header.recordCount = *count;
    header.recordDuration = *duration;
    header.patient = fieldAt(fixed, 8, 80);
    header.recording = fieldAt(fixed, 88, 80);
    header.startDate = fieldAt(fixed, 168, 8);
    header.startTime = fieldAt(fixed, 176, 8);
    header.reserved = fieldAt(fixed, 192, 44);
    return static_cast<int>(*signals);
}

/// Signal `s` of the `ns` signals whose headers `text` holds, checked.
SignalHeader readSignal(std::string_view text, int ns, int s, const std::string& name) {
    const auto field = [&](std::size_t offset, std::size_t width) {
        return fieldAt(text,
                       offset * static_cast<std::size_t>(ns) + width * static_cast<std::size_t>(s),
                       width);
    };
    SignalHeader signal;
    const std::string which = "signal " + std::to_string(s + 1);
    signal.label = field(0, 16);
    signal.transducer = field(16, 80);
    signal.dimension = field(96, 8);
    signal.prefiltering = field(136, 80);
    const std::optional<double> physicalMinimum = parseDecimal(field(104, 8));
    const std::optional<double> physicalMaximum = parseDecimal(field(112, 8));
    if (!physicalMinimum || !physicalMaximum)
        refuse(name, "has a bad physical range for " + which + ": " + quoted(field(104, 8)) +
                         " to " + quoted(field(112, 8)));
    const std::optional<long long> digitalMinimum = parseInteger(field(120, 8));
    const std::optional<long long> digitalMaximum = parseInteger(field(128, 8));
    if (!digitalMinimum || !digitalMaximum || *digitalMinimum < -32768 || *digitalMaximum > 32767 ||
        *digitalMinimum >= *digitalMaximum)
        refuse(name, "has a bad digital range for " + which + ": " + quoted(field(120, 8)) +
                         " to " + quoted(field(128, 8)));
    const std::optional<long long> samples = parseInteger(field(216, 8));
    if (!samples || *samples < 1 || *samples > RecordingHeader::MostSamples)
        refuse(name,
               "has a bad count of samples per record for " + which + ": " + quoted(field(216, 8)));
    signal.physicalMinimum = *physicalMinimum;
    signal.physicalMaximum = *physicalMaximum;
    signal.digitalMinimum = static_cast<int>(*digitalMinimum);
    signal.digitalMaximum = static_cast<int>(*digitalMaximum);
    signal.samples = static_cast<int>(*samples);
    return signal;
}

} // namespace

std::optional<long long> RecordingHeader::recordCountIn(std::string_view fixed) {
    return parseInteger(fieldAt(fixed, CountOffset, CountWidth));
}

uint64_t RecordingHeader::wholeRecords(uint64_t size) const noexcept {
    return size < headerBytes || recordBytes == 0 ? 0 : (size - headerBytes) / recordBytes;
}

std::optional<RecordingHeader> RecordingHeader::read(ByteSource& source, const std::string& name) {
    char fixedBytes[FixedBytes];
    if (!source.readAt(0, fixedBytes))
        return std::nullopt;
    RecordingHeader header;
    const int ns = readFixedPart(std::string_view(fixedBytes, FixedBytes), name, header);
    std::string signalBytes(SignalBytes * static_cast<std::size_t>(ns), '\0');
    if (!source.readAt(FixedBytes, signalBytes))
        return std::nullopt;
    header.signal.reserve(static_cast<std::size_t>(ns));
    for (int s = 0; s < ns; ++s) {
        header.signal.push_back(readSignal(signalBytes, ns, s, name));
        header.recordBytes += 2 * static_cast<uint64_t>(header.signal.back().samples);
    }
    return header;
}

} // namespace solvane::session
