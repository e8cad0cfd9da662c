#include "viewer/SessionFigures.h"

#include "device/kardemo.h"

#include <algorithm>
#include <cstddef>

namespace solvane::viewer {

namespace {

constexpr double PacketsPerSecond = KARDEMO_PACKET_RATE;

std::string channelName(const SessionReader& reader, const SessionAnalysis& analysis, int slot) {
    if (const auto& facts = reader.facts(); facts && !facts->slot[slot].positionName.empty())
        return facts->slot[slot].positionName;
    std::string label = analysis.channel(slot).label;
    if (label.starts_with("EEG "))
        label.erase(0, 4);
    return label.empty() ? "slot " + std::to_string(slot) : label;
}

int minutesPerRow(int seconds, int largestTable) {
    constexpr int Steps[] = {1, 2, 3, 5, 10, 15, 20, 30, 60, 120, 240};
    const int minutes = (seconds + 59) / 60;
    for (const int step : Steps)
        if ((minutes + step - 1) / step <= std::max(largestTable, 1))
            return step;
    return (minutes + largestTable - 1) / largestTable;
}

} // namespace

const char* kindName(SourceKind kind) {
    // By kind, in the order of SourceKind.
    constexpr const char* Names[] = {"", "synthetic EEG", "a recording", "a board", "a stream"};
    return Names[static_cast<std::size_t>(kind)];
}

SourceKind sourceKindOf(const SessionReader& reader) {
    if (const auto& facts = reader.facts(); facts && !facts->source.kind.empty()) {
        const std::string& kind = facts->source.kind;
        if (kind == "synthetic")
            return SourceKind::Synthetic;
        if (kind == "recording")
            return SourceKind::Recording;
        if (kind == "lsl")
            return SourceKind::Stream;
        return SourceKind::Board;
    }
    // Older sessions: the words the bundled DSU's sources describe themselves with.
    const std::string source = reader.source();
    if (source.starts_with("synthetic"))
        return SourceKind::Synthetic;
    if (source.starts_with("replay of"))
        return SourceKind::Recording;
    if (source.starts_with("OpenBCI") || source.starts_with("OpenEEG"))
        return SourceKind::Board;
    if (source.find("LSL stream") != std::string::npos)
        return SourceKind::Stream;
    return SourceKind::Unknown;
}

SessionFigures figuresOf(const SessionReader& reader, const SessionAnalysis& analysis,
                         int largestTable) {
    SessionFigures f;
    f.stamp = reader.paths().stamp();
    f.start = reader.start();
    f.seconds = analysis.seconds();
    f.live = reader.live();
    f.crashed = reader.crashed();
    f.kind = sourceKindOf(reader);
    f.source = reader.source();
    if (const auto& facts = reader.facts()) {
        f.sourceRecording = facts->source.recording;
        f.sourcePort = facts->source.port;
        f.sourceStream = facts->source.stream;
        f.sourceHost = facts->source.host;
        f.programVersion = facts->programVersion;
        f.libraryVersion = facts->libraryVersion;
        f.volume = facts->settings.volume;
        f.desiredFrequency = facts->settings.desiredFrequency;
        f.sampleRate = facts->settings.sampleRate;
    }

    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        ChannelFigures& c = f.channel[slot];
        c.slot = slot;
        c.name = channelName(reader, analysis, slot);
        c.inUse = analysis.inUse(slot);
        c.poorSeconds = analysis.poorSeconds(slot);
    }

    // A tone changed when it was set to one frequency and later to another.
    const auto changed = [](const std::optional<int>& before, int now) {
        return before && *before != 0 && now != 0 && *before != now;
    };
    for (const OutputStep& step : analysis.steps()) {
        const OutputState& s = step.state;
        if (s.baseFrequency == 0 && s.secondFrequency == 0)
            continue;
        f.tonesChanged = f.tonesChanged || changed(f.baseFrequency, s.baseFrequency) ||
                         changed(f.secondFrequency, s.secondFrequency);
        f.baseFrequency = s.baseFrequency;
        f.secondFrequency = s.secondFrequency;
    }
    f.feedback = analysis.feedback();

    f.rowMinutes = minutesPerRow(f.seconds, largestTable);
    const int rowSeconds = 60 * f.rowMinutes;
    for (int from = 0; from < f.seconds; from += rowSeconds) {
        AmplitudeRow row;
        row.from = from;
        row.to = std::min(from + rowSeconds, f.seconds);
        const double count = row.to - row.from;
        for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
            const ChannelSeconds& c = analysis.channel(slot);
            AmplitudeRow::Channel& into = row.channel[slot];
            for (int s = row.from; s < row.to; ++s) {
                into.total += c.total[s];
                for (int b = 0; b < Bands; ++b)
                    into.bands[b] += c.bands[s][b];
            }
            into.total *= c.microvoltsPerCount / count;
            for (double& band : into.bands)
                band *= c.microvoltsPerCount / count;
        }
        f.rows.push_back(row);
    }

    f.poorSeconds = analysis.poorSeconds();
    f.goodContactShare = analysis.goodContactShare();
    f.contactWindowSeconds = SessionAnalysis::ContactWindow / PacketsPerSecond;
    f.notes = reader.notes();
    return f;
}

} // namespace solvane::viewer
