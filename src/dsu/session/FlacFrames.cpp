#include "dsu/session/FlacFrames.h"

#include "session/FileIo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace solvane::dsusim {

namespace {

constexpr uint64_t StreamInfoAt = 8; // after "fLaC" and the first block's header
constexpr uint64_t StreamInfoBytes = 34;
constexpr uint64_t LengthAt = StreamInfoAt + 10; // rate, channels, bits and the length: 8 bytes
constexpr uint64_t Md5At = StreamInfoAt + 18;
constexpr uint64_t LengthMask = (uint64_t{1} << 36) - 1;
/// Of the file's end, read to find its last whole frame: many frames of the largest size.
constexpr uint64_t TailBytes = uint64_t{1} << 20;
/// Frames after a candidate tried as its end (a false sync inside a frame is rare).
constexpr std::size_t EndsTried = 8;

template <typename T, unsigned Width, T Polynomial> constexpr std::array<T, 256> crcTable() {
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T crc = static_cast<T>(i << (Width - 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<T>((crc & (T{1} << (Width - 1))) != 0 ? (crc << 1) ^ Polynomial
                                                                    : crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr auto Crc8 = crcTable<uint8_t, 8, 0x07>();
constexpr auto Crc16 = crcTable<uint16_t, 16, 0x8005>();

uint8_t crc8(const uint8_t* bytes, std::size_t length) {
    uint8_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = Crc8[crc ^ bytes[i]];
    return crc;
}

uint16_t crc16(const uint8_t* bytes, std::size_t length) {
    uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ Crc16[((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

struct FrameHeader {
    uint64_t number = 0; ///< the frame's number, or its first sample in a variable stream
    bool variable = false;
    uint32_t blockSize = 0;
};

/// The frame header at `bytes`, when one whose CRC holds begins there.
std::optional<FrameHeader> frameHeaderAt(const uint8_t* bytes, std::size_t room) {
    if (room < 6 || bytes[0] != 0xFF || (bytes[1] & 0xFE) != 0xF8)
        return std::nullopt;
    const unsigned blockCode = bytes[2] >> 4;
    const unsigned rateCode = bytes[2] & 0x0F;
    const unsigned channels = bytes[3] >> 4;
    const unsigned sizeCode = (bytes[3] >> 1) & 0x07;
    if (blockCode == 0 || rateCode == 15 || channels > 10 || sizeCode == 3 || (bytes[3] & 1) != 0)
        return std::nullopt;
    FrameHeader header;
    header.variable = (bytes[1] & 1) != 0;
    // The number, coded as UTF-8 codes its characters.
    std::size_t at = 4;
    const uint8_t first = bytes[at++];
    int more = 0;
    if ((first & 0x80) == 0) {
        header.number = first;
    } else {
        for (uint8_t mask = 0x40; (first & mask) != 0 && more < 6; mask >>= 1)
            ++more;
        if (more == 0 || first == 0xFF)
            return std::nullopt;
        header.number = first & (0x3FU >> more);
    }
    for (int i = 0; i < more; ++i) {
        if (at >= room || (bytes[at] & 0xC0) != 0x80)
            return std::nullopt;
        header.number = header.number << 6 | (bytes[at++] & 0x3FU);
    }
    if (blockCode == 1)
        header.blockSize = 192;
    else if (blockCode <= 5)
        header.blockSize = 576U << (blockCode - 2);
    else if (blockCode >= 8)
        header.blockSize = 256U << (blockCode - 8);
    const std::size_t sized = blockCode == 6 ? 1 : blockCode == 7 ? 2 : 0;
    const std::size_t rated = rateCode == 12 ? 1 : rateCode == 13 || rateCode == 14 ? 2 : 0;
    if (at + sized + rated >= room)
        return std::nullopt;
    if (sized == 1)
        header.blockSize = bytes[at] + 1U;
    else if (sized == 2)
        header.blockSize = (static_cast<uint32_t>(bytes[at]) << 8 | bytes[at + 1]) + 1U;
    at += sized + rated;
    if (crc8(bytes, at) != bytes[at])
        return std::nullopt;
    return header;
}

uint64_t bigEndian(const uint8_t* bytes, std::size_t length) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i)
        value = value << 8 | bytes[i];
    return value;
}

using StreamInfo = uint8_t[StreamInfoAt + StreamInfoBytes];

/// Where the frames of the FLAC file `fd` of `size` bytes begin, after its metadata, with
/// its STREAMINFO read into `info`; nothing, with `why` in words, when it is no FLAC file.
std::optional<uint64_t> framesStart(int fd, uint64_t size, StreamInfo& info, std::string& why) {
    if (size < sizeof info || !session::readAt(fd, info, sizeof info, 0) ||
        std::memcmp(info, "fLaC", 4) != 0 || (info[4] & 0x7F) != 0 ||
        bigEndian(info + 5, 3) != StreamInfoBytes) {
        why = size == 0 ? "it is empty" : "it is no FLAC file";
        return std::nullopt;
    }
    // The frames follow the last block of metadata.
    uint64_t audio = 4;
    for (bool last = false; !last;) {
        uint8_t block[4];
        if (!session::readAt(fd, block, sizeof block, audio)) {
            why = "its metadata is cut short";
            return std::nullopt;
        }
        last = (block[0] & 0x80) != 0;
        audio += 4 + bigEndian(block + 1, 3);
    }
    if (audio > size) {
        why = "its metadata is cut short";
        return std::nullopt;
    }
    return audio;
}

/// Writes `samples` as the length into the STREAMINFO `info` of `fd` read, and unsets its
/// checksum, unless it says so already and nothing was `cut`; false with `why` set.
bool writeLength(int fd, const StreamInfo& info, uint64_t samples, bool cut, std::string& why) {
    uint8_t length[8];
    std::memcpy(length, info + LengthAt, sizeof length);
    const uint64_t stored = bigEndian(length, sizeof length);
    if (!cut && (stored & LengthMask) == samples)
        return true;
    const uint64_t value = (stored & ~LengthMask) | samples;
    for (std::size_t i = 0; i < sizeof length; ++i)
        length[i] = static_cast<uint8_t>(value >> (8 * (sizeof length - 1 - i)));
    // The checksum covered samples that are gone, or was never made: unset.
    const uint8_t unset[16] = {};
    if (!session::writeAt(fd, length, sizeof length, LengthAt) ||
        !session::writeAt(fd, unset, sizeof unset, Md5At)) {
        why = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

} // namespace

std::optional<uint64_t> keepWholeFrames(int fd, std::string& why) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    const auto size = static_cast<uint64_t>(status.st_size);
    StreamInfo info;
    const std::optional<uint64_t> audio = framesStart(fd, size, info, why);
    if (!audio)
        return std::nullopt;
    const uint64_t fixedBlock = bigEndian(info + StreamInfoAt + 2, 2);
    const uint64_t from = size - *audio > TailBytes ? size - TailBytes : *audio;
    std::vector<uint8_t> tail(size - from);
    if (!session::readAt(fd, tail.data(), tail.size(), from)) {
        why = std::strerror(errno != 0 ? errno : EIO);
        return std::nullopt;
    }
    struct Candidate {
        std::size_t at;
        FrameHeader header;
    };
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i + 1 < tail.size(); ++i)
        if (tail[i] == 0xFF)
            if (const auto header = frameHeaderAt(tail.data() + i, tail.size() - i))
                candidates.push_back({i, *header});
    // The last frame whose CRC holds up to the next frame or the end: what follows it is a
    // torn frame.
    for (std::size_t c = candidates.size(); c-- > 0;) {
        const std::size_t start = candidates[c].at;
        for (std::size_t e = c + 1; e <= candidates.size() && e <= c + 1 + EndsTried; ++e) {
            const std::size_t end = e < candidates.size() ? candidates[e].at : tail.size();
            if (end < start + 8 ||
                crc16(tail.data() + start, end - start - 2) != bigEndian(tail.data() + end - 2, 2))
                continue;
            const FrameHeader& header = candidates[c].header;
            const uint64_t samples =
                (header.variable ? header.number : header.number * fixedBlock) + header.blockSize;
            const bool cut = end < tail.size();
            if (cut && ::ftruncate(fd, static_cast<off_t>(from + end)) != 0) {
                why = std::strerror(errno);
                return std::nullopt;
            }
            if (!writeLength(fd, info, samples, cut, why))
                return std::nullopt;
            return samples;
        }
    }
    why = from == *audio ? "it holds no whole frame of sound"
                         : "no whole frame of sound ends within its last megabyte";
    return std::nullopt;
}

} // namespace solvane::dsusim
