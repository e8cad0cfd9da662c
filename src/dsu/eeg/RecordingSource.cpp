#include "dsu/eeg/RecordingSource.h"

#include "dsu/common/ConfigError.h"
#include "dsu/eeg/SignalLabel.h"

#include <stdexcept>

namespace solvane::dsusim {

RecordingSource::RecordingSource(const std::filesystem::path& path,
                                 const std::vector<std::string>& channels, double gain, bool loop)
    : path_(path), file_(path), gain_(gain), loop_(loop) {
    const edf_hdr_struct& header = file_.header();
    const int count = header.edfsignals;
    std::string available;
    for (int s = 0; s < count; ++s)
        available += (s == 0 ? "" : ", ") + file_.label(s);

    if (channels.empty()) {
        int slot = 0;
        for (int s = 0; s < count && slot < Slots; ++s)
            if (SignalLabel::isEeg(header.signalparam[s].label,
                                   header.signalparam[s].physdimension))
                signals_[slot++] = s;
        if (slot < Slots)
            throw SimulatorConfigError(
                ConfigKey::Channels, ConfigFault::WrongCount,
                "Channels: the recording " + path.string() + " has " + std::to_string(slot) +
                    " EEG signals; name four of its signals (" + available + ")");
    } else {
        for (int slot = 0; slot < Slots; ++slot) {
            const std::string& wanted = channels.at(static_cast<std::size_t>(slot));
            int found = -1;
            for (int s = 0; s < count && found < 0; ++s)
                if (SignalLabel::matches(wanted, header.signalparam[s].label))
                    found = s;
            if (found < 0)
                throw SimulatorConfigError(ConfigKey::Channels, ConfigFault::UnknownLabel,
                                           "Channels: no signal of " + path.string() +
                                               " is labelled \"" + wanted + "\" (it has " +
                                               available + ")");
            signals_[slot] = found;
        }
    }

    for (int slot = 0; slot < Slots; ++slot) {
        const int s = signals_[slot];
        try {
            resamplers_[slot] = std::make_unique<ChannelResampler>(
                file_.handle(), s, file_.sampleRate(s), file_.microvoltsPerUnit(s));
        } catch (const std::runtime_error& e) {
            throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileUnreadable,
                                       "Source: " + path.string() + ": " + e.what());
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
        // A recording that gave nothing since its start would loop for ever.
        if (!loop_ || sinceStart_ == 0)
            return false;
        rewind();
    }
    return false;
}

std::string RecordingSource::label(int slot) const {
    return file_.label(signals_[slot]);
}

std::string RecordingSource::description() const {
    std::string text = "replay of " + path_.string() + " (";
    for (int slot = 0; slot < Slots; ++slot)
        text += (slot == 0 ? "" : ", ") + label(slot);
    return text + (loop_ ? "), looping" : ")");
}

} // namespace solvane::dsusim
