#pragma once
// What the boards on a serial port share (CytonSource, OpenEegSource): the port, the hunt for
// packets in the byte stream, their sample numbers, a guard against more samples than the
// board's rate allows, the choice of four of its channels, the resampling to 256 Hz, and the
// debug log's account of the stream.
//
// Sample numbers: each packet carries an 8-bit number one above the last. A packet up to the
// board's maxLost numbers further on follows packets lost on the way: their samples are
// counted and held (the last values repeat), so that the time axis stays right. Any other
// number cannot follow: the packet is taken for a false frame (noise that looks like a packet,
// or a damaged number), skipped byte by byte and never filled. RenumberAfter such packets back
// to back, each one number above the one before, take over the numbering: the board was silent
// for longer than maxLost packets, and that time is not filled either.
//
// Rate: a board sends no more samples than its rate in the time since its stream started,
// give or take RateMargin for its clock and LeadSeconds of packets buffered at the start. One found
// faster than that is held to its rate from then on: what comes beyond it is dropped, counted
// and logged once, so that the feedback never runs ahead of real time.
//
// A port that goes away (the board unplugged, the line hung up) ends the stream, once all that
// arrived before has been delivered, the resampler's last frames too.

#include "dsu/eeg/LiveResampler.h"
#include "dsu/eeg/SampleSource.h"
#include "dsu/eeg/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace solvane::dsusim {

class SerialBoardSource : public SampleSource {
public:
    using Log = std::function<void(const std::string&)>;
    using Clock = std::function<double()>; ///< seconds on a steady clock
    static constexpr int MaxChannels = 16;
    static constexpr double RateMargin = 0.015;
    static constexpr double LeadSeconds = 0.25;
    static constexpr int RenumberAfter = 3;
    static constexpr int AnswerMilliseconds = 3000; ///< longest wait for a board to answer

    struct Counters {
        uint64_t packets = 0;      ///< whole packets decoded
        uint64_t samplesLost = 0;  ///< packets missing from the sample numbers, held
        uint64_t bytesDropped = 0; ///< bytes skipped to find the next packet
        uint64_t resyncs = 0;      ///< times the stream lost its framing
        uint64_t misnumbered = 0;  ///< frames whose number cannot follow: skipped, not filled
        uint64_t renumbered = 0;   ///< times the numbering was taken over after a silence
        uint64_t throttled = 0;    ///< samples beyond the board's rate, dropped
    };

    /// Each board's destructor calls stop(), with its halt() still there.
    ~SerialBoardSource() override = default;

    bool next(int32_t (&counts)[Slots]) override;
    [[nodiscard]] bool live() const override { return true; }
    void stop() override;
    [[nodiscard]] std::string label(int slot) const override { return labels_[channel_[slot]]; }

    /// The board channel (0-based) behind each slot.
    [[nodiscard]] int channel(int slot) const { return channel_[slot]; }
    [[nodiscard]] int boardChannels() const { return format_.channels; }
    [[nodiscard]] const Counters& counters() const { return counters_; }
    /// Bytes of the stream read from the port so far (a Cyton's banner not among them).
    [[nodiscard]] uint64_t bytesRead() const { return consumed_ + have_; }
    /// Whether the port has gone (unplugged, hung up).
    [[nodiscard]] bool gone() const { return gone_; }

protected:
    struct Format {
        const char* board;      ///< its name, for the log
        std::size_t packetSize; ///< bytes
        std::size_t numberAt;   ///< where in a packet its sample number is
        double rate;            ///< board samples per second
        int channels;
        int maxLost; ///< packets that may be lost in a row (more: the number is not plausible)
    };

    /// Opens `device` at `baud` (`discard`: dropping what waits in it); the counts are `gain`
    /// times what emit() is given, around 512. `clock` (empty: the steady clock) paces the
    /// rate guard. Throws as SerialPort does.
    SerialBoardSource(const std::string& device, int baud, bool discard, double gain, Log log,
                      Clock clock);
    /// The board's format, once known, as its stream starts: picks the channels, by number
    /// ("1".."16") or by the position `positions` gives them (empty `channels`: 1..4), makes
    /// the resampler and starts the clock of the rate guard.
    /// Throws SimulatorConfigError (key Channels) for a channel the board does not have.
    void begin(const Format& format, const std::vector<std::string>& channels,
               const std::vector<std::string>& positions);
    /// Whether a packet starts at `bytes` (packetSize of them): its sync, version or end bytes.
    [[nodiscard]] virtual bool framed(const uint8_t* bytes) const = 0;
    /// A packet in order with sample number `number`, or (`packet` null) one that was lost.
    virtual void take(int number, const uint8_t* packet) = 0;
    /// One board sample: the values of all its channels (in the units gain applies to).
    void emit(const float* values);
    /// Stops the board's stream at the end of the run (the port is still there).
    virtual void halt() {}
    /// "1, 2, 3 C3, 4": the board channels behind the slots, with their positions.
    [[nodiscard]] std::string channelList() const;
    void log(const std::string& line) const;

    SerialPort port_;
    uint8_t buffer_[4096] = {}; ///< bytes read and not yet decoded
    std::size_t have_ = 0;

private:
    void readArrived();
    void decodeBuffered();
    /// Whether the framed packet at stream position `position` is taken (its number follows).
    bool accept(const uint8_t* packet, uint64_t position);
    bool withinRate();

    Format format_{"board", 1, 0, SampleRate, 0, 0};
    double gain_;
    Log log_;
    Clock clock_;
    bool stopped_ = false;
    bool gone_ = false;
    bool synced_ = false;
    int channel_[Slots] = {0, 1, 2, 3};
    std::string labels_[MaxChannels];
    int expected_ = -1;      ///< next sample number, -1 before the first packet
    int chain_ = 0;          ///< misnumbered packets back to back, each one above the last
    int chainNumber_ = 0;    ///< the last one's number
    uint64_t chainEnd_ = 0;  ///< and where it ended in the stream
    uint64_t consumed_ = 0;  ///< stream bytes before buffer_[0]
    double now_ = 0.0;       ///< the clock when the port was last read
    double startedAt_ = 0.0; ///< the clock as the stream started
    bool tooFast_ = false;   ///< held to the board's rate
    double heldAt_ = 0.0;    ///< seconds after the start it was
    uint64_t heldFrom_ = 0;  ///< samples by then
    uint64_t samples_ = 0;   ///< board samples passed on
    Counters counters_;
    std::unique_ptr<LiveResampler> resampler_;
};

} // namespace solvane::dsusim
