#include "dsu/eeg/EdfInputFile.h"

#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"
#include "files/FileIo.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

// The fixed part of the header: 256 bytes.
constexpr std::size_t FixedBytes = 256;
constexpr std::size_t VersionAt = 0, VersionWidth = 8;
constexpr std::size_t HeaderBytesAt = 184, ReservedAt = 192, RecordsAt = 236;
constexpr std::size_t RecordSecondsAt = 244, SignalsAt = 252;
constexpr std::string_view EdfVersion = "0       ";
constexpr char BdfVersion[VersionWidth] = {'\xff', 'B', 'I', 'O', 'S', 'E', 'M', 'I'};
// The per-signal part: each field holds one entry per signal in turn; widths in bytes.
constexpr std::size_t LabelWidth = 16, TransducerWidth = 80, UnitWidth = 8, NumberWidth = 8;
constexpr std::size_t PrefilterWidth = 80, ReservedWidth = 32;
constexpr std::size_t SignalFieldBytes = LabelWidth + TransducerWidth + UnitWidth +
                                         4 * NumberWidth + PrefilterWidth + NumberWidth +
                                         ReservedWidth;
static_assert(SignalFieldBytes == 256);
// Where each field of the per-signal part starts, in units of the signal count.
constexpr std::size_t UnitAt = LabelWidth + TransducerWidth;
constexpr std::size_t PhysMinAt = UnitAt + UnitWidth;
constexpr std::size_t PhysMaxAt = PhysMinAt + NumberWidth;
constexpr std::size_t DigMinAt = PhysMaxAt + NumberWidth;
constexpr std::size_t DigMaxAt = DigMinAt + NumberWidth;
constexpr std::size_t SamplesAt = DigMaxAt + NumberWidth + PrefilterWidth;

// The most samples read with one system call, and the largest sample (BDF: 3 bytes).
constexpr int ReadSamples = 256;
constexpr std::size_t MaxSampleBytes = 3;
// Sizes beyond these are no recording: they guard the arithmetic against overflow.
constexpr int64_t MaxSamplesPerRecord = int64_t{1} << 24;
constexpr int64_t MaxRecords = int64_t{1} << 40;

[[noreturn]] void refuse(ConfigFault fault, const std::filesystem::path& path,
                         const std::string& why) {
    throw SimulatorConfigError(ConfigKey::Source, fault,
                               "Source: the recording " + shortened(path.string()) + " " + why);
}

std::string shown(std::string_view text) {
    std::string result = "\"";
    for (const char c : text)
        result += (c >= 32 && c < 127) ? c : '?';
    return result + "\"";
}

// A header number: ASCII, blanks around it, an optional sign; independent of the locale.
bool parseNumber(std::string_view field, double& value) {
    std::string_view text = trim(field);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        value = std::numeric_limits<double>::infinity();
        return true;
    }
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool parseInteger(std::string_view field, int64_t& value) {
    std::string_view text = trim(field);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

int openRecording(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileMissing,
                                   "Source: the recording " + shortened(path.string()) +
                                       " does not exist");
    // Without blocking, so that a FIFO put where a recording is expected cannot hang here.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        refuse(ConfigFault::FileUnreadable, path,
               std::string("cannot be opened: ") + std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::FileUnreadable,
                                   "Source: " + shortened(path.string()) + " is not a file");
    }
    return fd;
}

// Why readAt() failed: the error, or the file ending sooner than its size said.
std::string readFailure() {
    return std::string("cannot be read: ") +
           (errno != 0 ? std::strerror(errno) : "it shrank while it was opened");
}

uint64_t fileSize(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

} // namespace

EdfInputFile::EdfInputFile(const std::filesystem::path& path)
    : path_(path), fd_(openRecording(path)) {
    const uint64_t size = fileSize(fd_.get());
    int64_t records = 0;
    const auto signals = static_cast<std::size_t>(readFixedHeader(size, records));
    if (size < headerBytes_)
        refuse(ConfigFault::TooFewRecords, path,
               "is cut short in its header (" + std::to_string(size) + " of " +
                   std::to_string(headerBytes_) + " bytes)");
    std::string table(signals * SignalFieldBytes, ' ');
    if (!files::readAt(fd_.get(), table.data(), table.size(), FixedBytes))
        refuse(ConfigFault::FileUnreadable, path, readFailure());
    for (std::size_t s = 0; s < signals; ++s)
        readSignal(table, signals, s);
    countRecords(records, size);
}

int64_t EdfInputFile::readFixedHeader(uint64_t size, int64_t& records) {
    const std::string notRecording = "is not an EDF, EDF+, BDF or BDF+ file";
    std::array<char, FixedBytes> fixed{};
    if (size < FixedBytes)
        refuse(ConfigFault::FileUnreadable, path_,
               notRecording + " (it holds " + std::to_string(size) + " bytes)");
    if (!files::readAt(fd_.get(), fixed.data(), FixedBytes, 0))
        refuse(ConfigFault::FileUnreadable, path_, readFailure());
    const std::string_view head(fixed.data(), FixedBytes);
    auto field = [&](std::size_t at, std::size_t width) { return head.substr(at, width); };

    const std::string_view version = field(VersionAt, VersionWidth);
    if (version == EdfVersion)
        bdf_ = false;
    else if (version == std::string_view(BdfVersion, VersionWidth))
        bdf_ = true;
    else
        refuse(ConfigFault::FileUnreadable, path_,
               notRecording + " (it starts with " + shown(version) + ")");

    auto invalid = [&](const std::string& what, std::string_view found) {
        refuse(ConfigFault::HeaderInvalid, path_, "has " + what + " " + shown(trim(found)));
    };
    int64_t signals = 0;
    if (!parseInteger(field(SignalsAt, 4), signals) || signals < 1 || signals > MaxSignals)
        invalid("a signal count (1.." + std::to_string(MaxSignals) + ") of", field(SignalsAt, 4));
    int64_t headerBytes = 0;
    const auto wantedBytes =
        static_cast<int64_t>(FixedBytes * static_cast<std::size_t>(signals + 1));
    if (!parseInteger(field(HeaderBytesAt, 8), headerBytes) || headerBytes != wantedBytes)
        refuse(ConfigFault::HeaderInvalid, path_,
               "has a header size of " + shown(trim(field(HeaderBytesAt, 8))) +
                   " bytes; the header of its " + std::to_string(signals) + " signals is " +
                   std::to_string(wantedBytes) + " bytes long");
    headerBytes_ = static_cast<uint64_t>(headerBytes);
    const std::string_view reserved = field(ReservedAt, 5);
    if (reserved == "EDF+D" || reserved == "BDF+D")
        refuse(ConfigFault::FileUnreadable, path_,
               "is discontinuous (EDF+D or BDF+D), which cannot be replayed");
    if (!parseNumber(field(RecordSecondsAt, 8), recordSeconds_) || !std::isfinite(recordSeconds_) ||
        !(recordSeconds_ > 0.0))
        invalid("a data record duration of", field(RecordSecondsAt, 8));
    if (!parseInteger(field(RecordsAt, 8), records) || records == 0 || records < -1 ||
        records > MaxRecords)
        invalid("a data record count of", field(RecordsAt, 8));
    return signals;
}

void EdfInputFile::readSignal(std::string_view table, std::size_t n, std::size_t s) {
    // A field of signal s: the field's offset in units of n bytes, and its width.
    auto column = [&](std::size_t offset, std::size_t width) {
        return table.substr(offset * n + width * s, width);
    };
    Signal signal;
    signal.label = std::string(trim(column(0, LabelWidth)));
    const std::string which =
        "signal " + std::to_string(s + 1) + " (" + shown(signal.label) + ") has ";
    auto wrong = [&](ConfigFault fault, const std::string& what, std::string_view found) {
        refuse(fault, path_, which + what + " " + shown(trim(found)));
    };
    const std::string_view samples = column(SamplesAt, NumberWidth);
    if (!parseInteger(samples, signal.samplesPerRecord) || signal.samplesPerRecord < 1 ||
        signal.samplesPerRecord > MaxSamplesPerRecord)
        wrong(ConfigFault::HeaderInvalid, "a samples per data record of", samples);
    signal.offset = recordBytes_;
    recordBytes_ += static_cast<uint64_t>(signal.samplesPerRecord) * (bdf_ ? 3 : 2);
    if (signal.label == "EDF Annotations" || signal.label == "BDF Annotations")
        return; // text, whatever its numeric fields say

    signal.unit = std::string(trim(column(UnitAt, UnitWidth)));
    const int64_t lowest = bdf_ ? -(int64_t{1} << 23) : -(int64_t{1} << 15);
    const int64_t highest = bdf_ ? (int64_t{1} << 23) - 1 : (int64_t{1} << 15) - 1;
    int64_t digitalMin = 0;
    int64_t digitalMax = 0;
    const std::string_view digMin = column(DigMinAt, NumberWidth);
    const std::string_view digMax = column(DigMaxAt, NumberWidth);
    if (!parseInteger(digMin, digitalMin) || digitalMin < lowest || digitalMin >= highest)
        wrong(ConfigFault::HeaderInvalid, "a digital minimum of", digMin);
    if (!parseInteger(digMax, digitalMax) || digitalMax <= digitalMin || digitalMax > highest)
        wrong(ConfigFault::HeaderInvalid,
              "a digital maximum (above its minimum " + std::to_string(digitalMin) + ") of",
              digMax);
    signal.digitalMin = static_cast<int32_t>(digitalMin);
    signal.digitalMax = static_cast<int32_t>(digitalMax);
    const std::string_view physMin = column(PhysMinAt, NumberWidth);
    const std::string_view physMax = column(PhysMaxAt, NumberWidth);
    if (!parseNumber(physMin, signal.physicalMin))
        wrong(ConfigFault::HeaderInvalid, "a physical minimum of", physMin);
    if (!parseNumber(physMax, signal.physicalMax))
        wrong(ConfigFault::HeaderInvalid, "a physical maximum of", physMax);
    if (!std::isfinite(signal.physicalMin))
        wrong(ConfigFault::RangeUnusable, "a physical minimum that is not finite:", physMin);
    if (!std::isfinite(signal.physicalMax))
        wrong(ConfigFault::RangeUnusable, "a physical maximum that is not finite:", physMax);
    if (signal.physicalMin == signal.physicalMax)
        wrong(ConfigFault::RangeUnusable, "an empty physical range: minimum and maximum", physMax);
    // As EDFlib converts: the step, and the offset that puts the digital maximum on the
    // physical one.
    const double step =
        (signal.physicalMax - signal.physicalMin) / static_cast<double>(digitalMax - digitalMin);
    const double shift = signal.physicalMax / step - static_cast<double>(digitalMax);
    if (!std::isfinite(step) || step == 0.0 || !std::isfinite(shift))
        wrong(ConfigFault::RangeUnusable,
              "a physical range that no digital step can span: minimum " + shown(trim(physMin)) +
                  ", maximum",
              physMax);
    scale_.push_back(step);
    shift_.push_back(shift);
    signals_.push_back(std::move(signal));
}

void EdfInputFile::countRecords(int64_t records, uint64_t size) {
    const uint64_t whole = (size - headerBytes_) / recordBytes_;
    if (records < 0) { // -1: unknown while it was recorded; as many as are whole
        if (whole == 0)
            refuse(ConfigFault::TooFewRecords, path_,
                   "holds no whole data record (" + std::to_string(size) + " bytes)");
        records = static_cast<int64_t>(std::min<uint64_t>(whole, MaxRecords));
    }
    if (static_cast<uint64_t>(records) > whole)
        refuse(ConfigFault::TooFewRecords, path_,
               "holds " + std::to_string(whole) + " whole data records of the " +
                   std::to_string(records) + " its header gives (" + std::to_string(size) +
                   " bytes)");
    records_ = records;
    if (signals_.empty())
        refuse(ConfigFault::HeaderInvalid, path_, "has no signal other than annotations");
}

double EdfInputFile::sampleRate(int signal) const {
    return static_cast<double>(signals_.at(signal).samplesPerRecord) / recordSeconds_;
}

double EdfInputFile::microvoltsPerUnit(int signal) const {
    const std::string unit = lower(signals_.at(signal).unit);
    if (unit == "mv")
        return 1e3;
    if (unit == "v")
        return 1e6;
    if (unit == "nv")
        return 1e-3;
    return 1.0;
}

std::string EdfInputFile::label(int signal) const {
    return signals_.at(signal).label;
}

int EdfInputFile::readPhysical(int signal, int64_t& position, double* values, int count) {
    const Signal& s = signals_[static_cast<std::size_t>(signal)];
    const double scale = scale_[static_cast<std::size_t>(signal)];
    const double shift = shift_[static_cast<std::size_t>(signal)];
    const std::size_t sampleBytes = bdf_ ? 3 : 2;
    std::array<unsigned char, ReadSamples * MaxSampleBytes> bytes{};
    int done = 0;
    while (done < count && damage_.empty()) {
        const int64_t record = position / s.samplesPerRecord;
        if (record >= records_)
            break;
        const int64_t within = position % s.samplesPerRecord;
        const int take = static_cast<int>(
            std::min<int64_t>({count - done, s.samplesPerRecord - within, ReadSamples}));
        const uint64_t at = headerBytes_ + static_cast<uint64_t>(record) * recordBytes_ + s.offset +
                            static_cast<uint64_t>(within) * sampleBytes;
        if (!files::readAt(fd_.get(), bytes.data(), static_cast<std::size_t>(take) * sampleBytes,
                           at)) {
            markDamaged(record, errno);
            break;
        }
        for (int i = 0; i < take; ++i) {
            const unsigned char* b = bytes.data() + static_cast<std::size_t>(i) * sampleBytes;
            int32_t digital = 0;
            if (bdf_) {
                const auto raw = static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16));
                digital = static_cast<int32_t>(raw << 8) >> 8; // sign from bit 23
            } else {
                digital = static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
            }
            values[done + i] = scale * (shift + static_cast<double>(digital));
        }
        done += take;
        position += take;
    }
    return done;
}

bool EdfInputFile::stillWhole() {
    if (!damage_.empty())
        return false;
    const uint64_t needed = headerBytes_ + static_cast<uint64_t>(records_) * recordBytes_;
    const uint64_t size = fileSize(fd_.get());
    if (size < needed)
        markDamaged(static_cast<int64_t>((size - std::min(size, headerBytes_)) / recordBytes_), 0);
    return damage_.empty();
}

void EdfInputFile::markDamaged(int64_t record, int error) {
    if (!damage_.empty())
        return;
    const std::string at = "data record " + std::to_string(record + 1) + " of " +
                           std::to_string(records_) + " of " + shortened(path_.string());
    if (error != 0)
        damage_ = at + " cannot be read: " + std::strerror(error);
    else
        damage_ = at + " is missing: the file has shrunk to " +
                  std::to_string(fileSize(fd_.get())) + " bytes";
}

} // namespace solvane::dsusim
