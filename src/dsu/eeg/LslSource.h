#pragma once
// EEG from a Lab Streaming Layer stream, read through the user's liblsl: the stream named by
// Stream, or the first suitable one of type EEG, four of its channels picked by label (the
// recordings' rules) or the first four, each converted from its unit to microvolts, resampled
// to 256 Hz and scaled by the gain into counts. A thread of its own pulls the samples with
// short timeouts and resamples them with the boards' LiveResampler, whose lock-free ring hands
// them over, so next() takes no lock and allocates nothing; it answers false while the next
// sample has not come. What the ring had no room for is counted and logged at the end. The
// inlet buffers a few seconds only, and what it holds when reading starts is dropped, so a run
// starts from the newest sample. A pause in the stream's time stamps is reported by
// gapBefore() with the first sample after it.

#include "dsu/eeg/LiveResampler.h"
#include "dsu/eeg/LslLibrary.h"
#include "dsu/eeg/SampleSource.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace solvane::dsusim {

class LslSource : public SampleSource {
public:
    static constexpr double ResolveSeconds = 1.0; ///< the longest wait for the stream
    static constexpr double OpenSeconds = 0.5;    ///< the longest wait for its description
    static constexpr double ExamineSeconds = 1.5; ///< no other stream is opened after this
    static constexpr int BufferSeconds = 4;       ///< the inlet's buffer
    static constexpr int MaxChannelsUnlabelled = 64;
    static constexpr double PauseSeconds = 0.25; ///< a longer jump in time stamps is a gap

    using Log = std::function<void(const std::string&)>;

    /// Loads liblsl (`library`, empty for the system's), finds `stream` (empty: the first
    /// suitable of type EEG) and opens it; `log` is told at the end what was delivered and
    /// dropped. Throws SimulatorConfigError (keys LslLibrary, Stream, Channels) when that
    /// cannot be done.
    LslSource(const std::string& library, const std::string& stream,
              const std::vector<std::string>& channels, double gain, Log log = {});
    ~LslSource() override;

    bool next(int32_t (&counts)[Slots]) override;
    [[nodiscard]] bool live() const override { return true; }
    void stop() override;
    [[nodiscard]] double gapBefore() const override { return gap_; }
    [[nodiscard]] std::string label(int slot) const override { return labels_[slot]; }
    [[nodiscard]] std::string description() const override { return description_; }
    /// The stream's name and the host that sends it.
    [[nodiscard]] const std::string& streamName() const { return name_; }
    [[nodiscard]] const std::string& host() const { return host_; }
    /// The streams found before this one and refused, with why; empty when none.
    [[nodiscard]] const std::string& passedOver() const { return passedOver_; }

private:
    struct InletHandle {
        const LslLibrary* lsl = nullptr;
        LslLibrary::Inlet inlet = nullptr;
        ~InletHandle();
    };
    struct InfoHandle {
        const LslLibrary* lsl = nullptr;
        LslLibrary::StreamInfo info = nullptr;
        ~InfoHandle();
    };

    /// A stream found, as far as it has been examined.
    struct Candidate {
        std::string name;
        double rate = 0.0;              ///< Hz
        std::vector<std::string> names; ///< the channels' labels, or their numbers from 1
        std::vector<std::string> units;
    };
    /// Why the streams examined were passed over: "; name: why" each.
    struct Refusals {
        std::string text;
        bool notEeg = false; ///< one of them cannot be EEG (rather than not be opened)
    };

    void open(const std::string& stream, const std::vector<std::string>& channels);
    /// Why the stream `info` describes cannot be EEG; empty when it may be.
    [[nodiscard]] std::string unsuitable(LslLibrary::StreamInfo info) const;
    /// Opens the stream and reads it from now on when it is EEG; else adds why not to
    /// `refused` and returns false. Throws SimulatorConfigError for an EEG stream that fails.
    bool tryStream(LslLibrary::StreamInfo info, const std::vector<std::string>& channels,
                   Refusals& refused);
    /// The labels and units of `count` channels; false when none has a label.
    bool readChannels(LslLibrary::StreamInfo full, int32_t count, Candidate& candidate) const;
    /// Reads `channels` of the stream from now on, through `inlet`, which it takes over.
    void adopt(const Candidate& candidate, InletHandle& inlet, LslLibrary::StreamInfo full,
               const std::vector<std::string>& channels);
    void read();
    void take(const float* samples, std::size_t count, const double* stamps);

    LslLibrary lsl_;
    double gain_;
    Log log_;
    InletHandle inlet_;
    int channelCount_ = 0;
    double rate_ = 0.0;
    int channels_[Slots] = {};
    double microvoltsPerUnit_[Slots] = {};
    std::string labels_[Slots];
    std::string name_;
    std::string description_;
    std::string host_;
    std::string passedOver_;
    std::unique_ptr<LiveResampler> resampler_;
    // The reading thread's own buffers, made before it starts.
    std::vector<float> pulled_;
    std::vector<double> stamps_;
    double lastStamp_ = 0.0;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    double gap_ = 0.0;       ///< of the sample next() gave last
    uint64_t delivered_ = 0; ///< samples next() gave
    bool stopLogged_ = false;
};

} // namespace solvane::dsusim
