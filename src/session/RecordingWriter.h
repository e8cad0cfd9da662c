#pragma once
// Records a run as the EDF+ file of a session while it goes: the eight packet elements at
// 256 Hz exactly as delivered (digital 0..1023, physical in microvolts through the gain) and an
// annotation signal, in one-second records. Each record goes to the file whole, with ONE
// write, carrying the annotations of its second (commands and marks as TALs); then the
// header's record count is brought up to date. A run killed at any moment thus leaves whole
// records that hold their own annotations, and a reader takes as many as the count says.
// Annotations that do not fit into their second's record go into the next ones (an onset may
// lie in an earlier record); what the last record cannot hold is said there, never lost
// without a word. A record that cannot be written stops the recording: the file is cut back
// to its whole records and stays valid as it stands. Every header field is written within its
// width; a value that cannot be written exactly enough is refused.

#include "device/kardemo.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::session {

/// What the header of a session's recording says.
struct RecordingSetup {
    static constexpr int Elements = KARDEMO_PACKET_ELEMENTS;
    std::array<std::string, Elements> labels;      ///< "EEG O1", ...; at most 16 characters
    std::array<std::string, Elements> transducers; ///< where each signal came from
    double gain = 2.0;                             ///< counts per microvolt
    std::string source;                            ///< the recording's origin, in words
    std::chrono::system_clock::time_point start;   ///< the run's start: its first packet
};

class RecordingWriter {
public:
    static constexpr int Elements = RecordingSetup::Elements;
    static constexpr int RecordSamples = KARDEMO_PACKET_RATE; ///< per element: one second
    static constexpr int PacketsPerSecond = KARDEMO_PACKET_RATE;
    static constexpr int Centre = 512;
    static constexpr int Highest = 1023;
    /// Bytes of a record's annotation signal: a dozen commands and marks, with room to spare.
    static constexpr int AnnotationBytes = 384;
    /// Characters of an annotation's text; longer texts are cut.
    static constexpr std::size_t LongestText = 40;
    static constexpr std::size_t RecordBytes = Elements * RecordSamples * 2 + AnnotationBytes;
    /// The annotation finish() puts at the moment after the last packet.
    static constexpr std::string_view EndsAnnotation = "Recording ends";

    /// Why a gain (counts per microvolt) gives a physical range that the header cannot hold
    /// exactly enough, in words; nothing when it can.
    static std::optional<std::string> gainProblem(double gain);

    /// Creates `workingFile` (replacing one of that name) with its header. Throws
    /// SessionError, whose code() is the system's error.
    RecordingWriter(std::filesystem::path workingFile, const RecordingSetup& setup);
    /// An unfinished recording is completed and left under its working name.
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    /// Adds one packet (8 elements). Allocates nothing. Throws SessionError when a record
    /// cannot be written; the recording has then stopped (see stopped()) with its whole
    /// records.
    void add(const int32_t* packet);
    /// An annotation at the time of `packet` (no earlier than the annotations before it);
    /// `duration` in seconds, negative for none.
    void annotate(uint64_t packet, std::string_view text, double duration = -1.0);
    /// Completes the last record, adds a "Recording ends" annotation, closes the file and
    /// renames it to `target`. Throws SessionError; the working file then stays.
    void finish(const std::filesystem::path& target);
    /// Completes the last record (the centre value after the last packet) and closes the
    /// file under its working name.
    void close() noexcept;
    /// Stops the recording at its whole records, as a record that cannot be written does
    /// (a disk about to fill): the file is cut back to them, and nothing more is added.
    void stop() noexcept;

    [[nodiscard]] const std::filesystem::path& workingFile() const noexcept { return working_; }
    [[nodiscard]] uint64_t packets() const noexcept { return packets_; }
    [[nodiscard]] uint64_t records() const noexcept { return records_; }
    /// Annotations written into the records.
    [[nodiscard]] uint64_t annotations() const noexcept { return annotations_; }
    /// Annotations the file could not take: those still waiting when it was completed.
    [[nodiscard]] uint64_t leftOut() const noexcept { return leftOut_; }
    /// A record could not be written; the file holds those before it.
    [[nodiscard]] bool stopped() const noexcept { return stopped_; }

    /// Cuts the EDF file at `fd` back to its whole records (at most `limit`, when not
    /// negative) and writes their number into its header; the number, or -1 when it is no
    /// EDF file or cannot be changed.
    static long long keepWholeRecords(int fd, long long limit = -1);

private:
    struct Pending {
        uint64_t packet = 0;
        double duration = -1.0;
        std::array<char, LongestText> text{};
        std::size_t length = 0;
    };
    void writeRecord(bool last);
    std::size_t putAnnotations(char* area, uint64_t record, std::size_t used, bool last) noexcept;
    std::size_t talOf(const Pending& pending, char* into, std::size_t room) const noexcept;

    std::filesystem::path working_;
    int fd_ = -1;
    long long fraction_ = 0; ///< the start's fraction of a second, in 100 us
    std::array<char, RecordBytes> record_{};
    int filled_ = 0;           ///< samples of each element in record_
    std::size_t lastUsed_ = 0; ///< bytes of the last record's annotation signal in use
    std::vector<Pending> pending_;
    uint64_t packets_ = 0;
    uint64_t records_ = 0;
    uint64_t annotations_ = 0;
    uint64_t leftOut_ = 0;
    bool stopped_ = false;
};

} // namespace solvane::session
