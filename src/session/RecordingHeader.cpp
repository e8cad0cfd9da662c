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
    const std::string_view fixed(fixedBytes, FixedBytes);
    if (fieldAt(fixed, 0, 8) != "0")
        refuse(name, "is not an EDF recording: it begins with " + quoted(fixed.substr(0, 8)));

    RecordingHeader header;
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
    const std::optional<long long> count = recordCountIn(fixed);
    if (!count || *count < -1)
        refuse(name, "has a bad record count: " + quoted(fieldAt(fixed, CountOffset, CountWidth)));
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

    const auto ns = static_cast<int>(*signals);
    std::string signalBytes(SignalBytes * static_cast<std::size_t>(ns), '\0');
    if (!source.readAt(FixedBytes, signalBytes))
        return std::nullopt;
    const std::string_view text = signalBytes;
    const auto field = [&](std::size_t offset, std::size_t width, int s) {
        return fieldAt(text,
                       offset * static_cast<std::size_t>(ns) + width * static_cast<std::size_t>(s),
                       width);
    };
    header.signal.resize(static_cast<std::size_t>(ns));
    for (int s = 0; s < ns; ++s) {
        SignalHeader& signal = header.signal[static_cast<std::size_t>(s)];
        const std::string which = "signal " + std::to_string(s + 1);
        signal.label = field(0, 16, s);
        signal.transducer = field(16, 80, s);
        signal.dimension = field(96, 8, s);
        signal.prefiltering = field(136, 80, s);
        const std::optional<double> physicalMinimum = parseDecimal(field(104, 8, s));
        const std::optional<double> physicalMaximum = parseDecimal(field(112, 8, s));
        if (!physicalMinimum || !physicalMaximum)
            refuse(name, "has a bad physical range for " + which + ": " + quoted(field(104, 8, s)) +
                             " to " + quoted(field(112, 8, s)));
        const std::optional<long long> digitalMinimum = parseInteger(field(120, 8, s));
        const std::optional<long long> digitalMaximum = parseInteger(field(128, 8, s));
        if (!digitalMinimum || !digitalMaximum || *digitalMinimum < -32768 ||
            *digitalMaximum > 32767 || *digitalMinimum >= *digitalMaximum)
            refuse(name, "has a bad digital range for " + which + ": " + quoted(field(120, 8, s)) +
                             " to " + quoted(field(128, 8, s)));
        const std::optional<long long> samples = parseInteger(field(216, 8, s));
        if (!samples || *samples < 1 || *samples > MostSamples)
            refuse(name, "has a bad count of samples per record for " + which + ": " +
                             quoted(field(216, 8, s)));
        signal.physicalMinimum = *physicalMinimum;
        signal.physicalMaximum = *physicalMaximum;
        signal.digitalMinimum = static_cast<int>(*digitalMinimum);
        signal.digitalMaximum = static_cast<int>(*digitalMaximum);
        signal.samples = static_cast<int>(*samples);
        header.recordBytes += 2 * static_cast<uint64_t>(*samples);
    }
    return header;
}

} // namespace solvane::session
