#include "session/RecordingReader.h"

#include "session/Numbers.h"
#include "session/SessionError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace solvane::session {

namespace {

constexpr char TalTime = '\x14';     // ends the time stamp and each text of a TAL
constexpr char TalDuration = '\x15'; // between a TAL's onset and its duration

/// A TAL's "+12.5" or "-0.25"; nothing when it is not one.
std::optional<double> onsetOf(std::string_view text) {
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-') || text[1] == '+' || text[1] == '-')
        return std::nullopt;
    const std::optional<double> value = parseDecimal(text.substr(1));
    if (!value)
        return std::nullopt;
    return text[0] == '-' ? -*value : *value;
}

} // namespace

RecordingReader::RecordingReader(std::string name, bool growing)
    : name_(std::move(name)), growing_(growing), samples_(Signals) {}

void RecordingReader::check() {
    if (std::abs(header_.recordDuration - 1.0) > 1e-9)
        throw SessionError(name_ + " does not have the one-second records of a session");
    std::size_t offset = 0;
    for (std::size_t s = 0; s < header_.signal.size(); ++s) {
        const SignalHeader& signal = header_.signal[s];
        const auto bytes = 2 * static_cast<std::size_t>(signal.samples);
        if (signal.annotations()) {
            if (signal.samples > MostAnnotationSamples)
                throw SessionError(name_ + " has an annotation signal of " +
                                   std::to_string(signal.samples) +
                                   " samples a record, more than a session's");
            annotationOffset_.push_back(offset);
            annotationLength_.push_back(bytes);
        } else {
            if (signal.samples != RecordSamples)
                throw SessionError(name_ + " has a signal not sampled at 256 Hz (" + signal.label +
                                   ": " + std::to_string(signal.samples) + " samples a second)");
            dataSignal_.push_back(s);
            dataOffset_.push_back(offset);
        }
        offset += bytes;
    }
    if (dataSignal_.size() != Signals)
        throw SessionError(name_ + " does not hold the " + std::to_string(Signals) +
                           " signals of a session (it has " + std::to_string(dataSignal_.size()) +
                           " besides its annotations)");
    if (annotationOffset_.size() > MostAnnotationSignals)
        throw SessionError(name_ + " has " + std::to_string(annotationOffset_.size()) +
                           " annotation signals, more than a session's");
}

bool RecordingReader::update(ByteSource& source) {
    if (!headerRead()) {
        std::optional<RecordingHeader> header = RecordingHeader::read(source, name_);
        if (!header)
            return false;
        header_ = std::move(*header);
        check();
    }
    // The count as it stands now: a growing file brings it up to date after each record.
    long long counted = header_.recordCount;
    char fixed[RecordingHeader::FixedBytes];
    if (source.readAt(0, fixed))
        counted = RecordingHeader::recordCountIn(std::string_view(fixed, sizeof fixed))
                      .value_or(header_.recordCount);
    const auto held = static_cast<long long>(header_.wholeRecords(source.size()));
    long long wanted = counted < 0 ? held : std::min(counted, held);
    missing_ = !growing_ && counted > held ? counted - held : 0;
    wanted = std::min<long long>(wanted, std::numeric_limits<int>::max());
    if (wanted <= records_)
        return false;

    const auto fresh = static_cast<std::size_t>(wanted - records_);
    const auto perRead = std::max<std::size_t>(1, ReadBytes / header_.recordBytes);
    std::vector<char> buffer(static_cast<std::size_t>(header_.recordBytes) *
                             std::min(perRead, fresh));
    // Room for all of them at once; a run that grows by a record at a time grows the room by
    // half, so that following it does not copy the whole run every second.
    const auto needed = static_cast<std::size_t>(wanted) * RecordSamples;
    for (auto& signal : samples_)
        if (signal.capacity() < needed)
            signal.reserve(std::max(needed, signal.capacity() + signal.capacity() / 2));
    for (std::size_t done = 0; done < fresh;) {
        const std::size_t count = std::min(perRead, fresh - done);
        const uint64_t offset =
            header_.headerBytes + (static_cast<uint64_t>(records_)) * header_.recordBytes;
        if (!source.readAt(offset, std::span<char>(buffer.data(), count * header_.recordBytes)))
            break; // it shrank meanwhile: what was read stays
        for (std::size_t r = 0; r < count; ++r)
            readRecord(buffer.data() + r * header_.recordBytes);
        done += count;
    }
    return true;
}

void RecordingReader::readRecord(const char* record) {
    for (std::size_t s = 0; s < Signals; ++s) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(record + dataOffset_[s]);
        std::vector<int16_t>& out = samples_[s];
        for (int i = 0; i < RecordSamples; ++i)
            out.push_back(static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    }
    for (std::size_t a = 0; a < annotationOffset_.size(); ++a)
        readAnnotations(record + annotationOffset_[a], annotationLength_[a], a == 0);
    ++records_;
}

// An annotation signal holds TALs: "+onset[\x15duration]\x14text\x14...\x14\0". The first TAL
// of each record's first annotation signal keeps the record's time; its text is empty.
void RecordingReader::readAnnotations(const char* bytes, std::size_t length, bool first) {
    std::string_view rest(bytes, length);
    bool timeKeeping = first;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        std::string_view tal = rest.substr(0, end);
        rest.remove_prefix(std::min(rest.size(), end + 1));
        if (tal.empty())
            continue;
        const std::size_t stamp = tal.find(TalTime);
        if (stamp == std::string_view::npos)
            continue;
        std::string_view time = tal.substr(0, stamp);
        tal.remove_prefix(stamp + 1);
        double duration = -1.0;
        if (const std::size_t mark = time.find(TalDuration); mark != std::string_view::npos) {
            duration = parseDecimal(time.substr(mark + 1)).value_or(-1.0);
            time = time.substr(0, mark);
        }
        const std::optional<double> onset = onsetOf(time);
        if (!onset)
            continue;
        if (timeKeeping) {
            timeKeeping = false;
            if (records_ == 0)
                startOffset_ = *onset;
        }
        while (!tal.empty()) {
            const std::size_t next = std::min(tal.find(TalTime), tal.size());
            if (next > 0)
                annotations_.push_back(
                    {*onset - startOffset_, duration, std::string(tal.substr(0, next))});
            tal.remove_prefix(std::min(tal.size(), next + 1));
        }
    }
}

} // namespace solvane::session
