#include "dsu/eeg/RecordingSource.h"

#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"
#include "dsu/eeg/SignalLabel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace solvane::dsusim {

RecordingSource::RecordingSource(const std::filesystem::path& path,
                                 const std::vector<std::string>& channels, double gain, bool loop)
    : path_(path), file_(path), gain_(gain), loop_(loop) {
    const int count = file_.signalCount();
    std::vector<std::string> labels;
    labels.reserve(static_cast<std::size_t>(count));
    for (int s = 0; s < count; ++s)
        labels.push_back(file_.label(s));

    if (channels.empty()) {
        int slot = 0;
        for (int s = 0; s < count && slot < Slots; ++s)
            if (SignalLabel::isEeg(file_.signal(s).label, file_.signal(s).unit))
                signals_[static_cast<std::size_t>(slot++)] = s;
        if (slot < Slots) {
            std::string available;
            for (const std::string& label : labels)
                available += (available.empty() ? "" : ", ") + label;
            throw SimulatorConfigError(ConfigKey::Channels, ConfigFault::WrongCount,
                                       "Channels: the recording " + shortened(path.string()) +
                                           " has " + std::to_string(slot) +
                                           " EEG signals; name four of its signals (" + available +
                                           ")");
        }
    } else {
        signals_ = SignalLabel::pick(channels, labels, "the recording " + shortened(path.string()));
    }

    for (int slot = 0; slot < Slots; ++slot) {
        const int s = signals_[static_cast<std::size_t>(slot)];
        // A replayed voltage beyond any amplifier's reach is a damaged header, not EEG.
        const EdfInputFile::Signal& signal = file_.signal(s);
        const double reach = std::max(std::abs(signal.physicalMin), std::abs(signal.physicalMax)) *
                             file_.microvoltsPerUnit(s);
        if (!(reach <= EdfInputFile::MaxMicrovolts))
            throw SimulatorConfigError(ConfigKey::Source, ConfigFault::RangeUnusable,
                                       "Source: signal " + signal.label + " of the recording " +
                                           shortened(path.string()) + " has a physical range of " +
                                           shortNumber(signal.physicalMin) + " to " +
                                           shortNumber(signal.physicalMax) + " " + signal.unit +
                                           ", beyond 10 V: its header is damaged");
        try {
            resamplers_[slot] = std::make_unique<ChannelResampler>(file_, s, file_.sampleRate(s),
                                                                   file_.microvoltsPerUnit(s));
        } catch (const std::runtime_error& e) {
            throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileUnreadable,
                                       "Source: " + shortened(path.string()) + ": " + e.what());
        }
    }
}

void RecordingSource::rewind() {
    for (auto& resampler : resamplers_)
        resampler->rewind();
    sinceStart_ = 0;
    ++restarts_;
}

bool RecordingSource::next(int32_t (&counts)[Slots]) {
    double microvolts[Slots] = {};
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool all = true;
        for (int slot = 0; slot < Slots && all; ++slot)
            all = resamplers_[slot]->next(microvolts[slot]);
        if (all) {
            for (int slot = 0; slot < Slots; ++slot)
                counts[slot] = toCounts(microvolts[slot], gain_);
            ++sinceStart_;
            return true;
        }
        // A recording that gave nothing since its start would loop for ever; one that is
        // damaged ends as if it did not loop.
        if (!loop_ || sinceStart_ == 0 || !file_.stillWhole())
            return false;
        rewind();
    }
    return false;
}

std::string RecordingSource::endReason() const {
    return file_.damage();
}

std::string RecordingSource::label(int slot) const {
    return file_.label(signals_[static_cast<std::size_t>(slot)]);
}

std::string RecordingSource::description() const {
    std::string text = "replay of " + shortened(path_.string()) + " (";
    for (int slot = 0; slot < Slots; ++slot)
        text += (slot == 0 ? "" : ", ") + label(slot);
    return text + (loop_ ? "), looping" : ")");
}

} // namespace solvane::dsusim
