// Recordings as sources: a header value that cannot describe a recording is refused with its
// own status, naming the file and the value; a large file is judged without reading it; a
// recording that shrinks while it is replayed ends, even when it loops, and says why.

#include "DsuSimSupport.h"
#include "dsu/common/ConfigError.h"
#include "dsu/eeg/RecordingSource.h"
#include "dsu/unit/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;
using testing::writeTestRecording;

// Four EEG signals at 256 Hz for 4 s, then the EDF+ annotation signal: five in the header.
constexpr int HeaderSignals = 5;
constexpr std::size_t HeaderBytes = 256 * (HeaderSignals + 1);

void writeRecording(const std::filesystem::path& file) {
    writeTestRecording(
        file, 256, 4,
        {{"O1", 10.0, 50.0}, {"O2", 10.0, 50.0}, {"P3", 10.0, 50.0}, {"P4", 10.0, 50.0}});
}

// Overwrites `text` (padded with blanks to `width`) at byte `at` of the file.
void patch(const std::filesystem::path& file, std::size_t at, std::size_t width,
           const std::string& text) {
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    std::string field = text;
    field.resize(width, ' ');
    out.write(field.data(), static_cast<std::streamsize>(width));
}

// Byte offset of a per-signal field (offset in units of the signal count) of signal s.
std::size_t signalField(std::size_t offset, std::size_t width, std::size_t s) {
    return 256 + offset * HeaderSignals + width * s;
}

// The status RecordingSource gives the file (0 when it opens) and its message.
int32_t judge(const std::filesystem::path& file, std::string& message) {
    try {
        RecordingSource source(file, {}, 2.0, false);
        return 0;
    } catch (const SimulatorConfigError& e) {
        message = e.what();
        return e.status();
    }
}

struct HeaderCase {
    const char* name;
    std::size_t at; ///< byte offset of the field
    std::size_t width;
    const char* value;
    int32_t status;
    const char* said;       ///< part of the message
    std::size_t alsoAt = 0; ///< a second field of the same width, when not 0
    const char* alsoValue = "";
};

class RecordingHeader : public ::testing::TestWithParam<HeaderCase> {};

// Catches header values that replay as garbage (infinite or absurd ranges gave mostly zeros),
// divide by zero, read outside the file, or are refused under the wrong status.
TEST_P(RecordingHeader, IsJudgedByItsValues) {
    const HeaderCase& c = GetParam();
    TempFolder folder;
    const auto file = folder.path() / "case.edf";
    writeRecording(file);
    if (c.width > 0)
        patch(file, c.at, c.width, c.value);
    if (c.alsoAt > 0)
        patch(file, c.alsoAt, c.width, c.alsoValue);
    std::string message;
    EXPECT_EQ(judge(file, message), c.status) << message;
    if (c.status != 0) {
        EXPECT_NE(message.find(file.string()), std::string::npos) << message;
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
    }
}

constexpr std::size_t PhysMin = 104, PhysMax = 112, DigMin = 120, DigMax = 128;
INSTANTIATE_TEST_SUITE_P(
    Values, RecordingHeader,
    ::testing::Values(
        HeaderCase{"Valid", 0, 0, "", 0, ""},
        HeaderCase{"NotARecording", 0, 8, "PK", -104, "starts with \"PK      \""},
        HeaderCase{"InfinitePhysicalMax", signalField(PhysMax, 8, 1), 8, "9e99999", -129,
                   "\"9e99999\""},
        HeaderCase{"NanPhysicalMin", signalField(PhysMin, 8, 0), 8, "nan", -129, "\"nan\""},
        HeaderCase{"AbsurdPhysicalRange", signalField(PhysMin, 8, 2), 8, "-1e300", -129,
                   "-1e+300 to 200 uV, beyond 10 V"},
        HeaderCase{"EmptyPhysicalRange", signalField(PhysMin, 8, 3), 8, "200", -129,
                   "empty physical range"},
        HeaderCase{"PhysicalRangeBeyondDoubles", signalField(PhysMin, 8, 1), 8, "-1.7e308", -129,
                   "no digital step", signalField(PhysMax, 8, 1), "1.7e308"},
        HeaderCase{"PhysicalNotANumber", signalField(PhysMax, 8, 0), 8, "2OO", -128, "\"2OO\""},
        HeaderCase{"DigitalMaxNotAboveMin", signalField(DigMax, 8, 0), 8, "-32768", -128,
                   "digital maximum (above its minimum -32768) of \"-32768\""},
        HeaderCase{"DigitalBeyond16Bits", signalField(DigMax, 8, 1), 8, "40000", -128, "\"40000\""},
        HeaderCase{"NoSamplesPerRecord", signalField(216, 8, 0), 8, "0", -128,
                   "samples per data record"},
        HeaderCase{"HeaderSizeWrong", 184, 8, "1280", -128, "header size"},
        // Was said as "does not fit its 5 signals", naming the count and not the size found.
        HeaderCase{"HeaderSizeAbsurd", 184, 8, "99999999", -128,
                   "header size of \"99999999\" bytes; the header of its 5 signals is 1536"},
        HeaderCase{"NoSignals", 252, 4, "0", -128, "signal count"},
        HeaderCase{"ZeroRecordDuration", 244, 8, "0", -128, "data record duration"},
        HeaderCase{"RecordCountNotANumber", 236, 8, "four", -128, "\"four\""},
        HeaderCase{"MoreRecordsThanTheFileHolds", 236, 8, "5", -130,
                   "holds 4 whole data records of the 5"},
        HeaderCase{"UnknownRecordCountTakesTheWholeOnes", 236, 8, "-1", 0, ""}),
    [](const ::testing::TestParamInfo<HeaderCase>& row) { return std::string(row.param.name); });

// Catches a record still being written (bytes after the counted records) refused, and a
// file cut inside its counted records accepted.
TEST(RecordingLength, TakesTheCountedRecordsWhateverFollows) {
    TempFolder folder;
    const auto file = folder.path() / "growing.edf";
    writeRecording(file);
    const auto size = std::filesystem::file_size(file);
    { std::ofstream(file, std::ios::binary | std::ios::app) << std::string(1000, '\x01'); }
    std::string message;
    EXPECT_EQ(judge(file, message), 0) << message;
    std::filesystem::resize_file(file, size - 1);
    EXPECT_EQ(judge(file, message), -130) << message;
}

long maxResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Catches a file read whole (or copied) to be judged: a 2 GB file that is no recording, and a
// 2 GB recording of sparse records, are each judged without the process growing by more than
// a few megabytes, and no temporary copy appears.
TEST(LargeSource, IsJudgedFromItsHeaderWithFlatMemory) {
    TempFolder folder;
    TempFolder temporary;
    const char* oldTemp = std::getenv("TMPDIR");
    const std::string saved = oldTemp != nullptr ? oldTemp : "";
    setenv("TMPDIR", temporary.path().c_str(), 1);

    const auto junk = folder.path() / "junk.edf";
    std::ofstream(junk, std::ios::binary) << "not a recording";
    std::filesystem::resize_file(junk, std::uintmax_t{2} << 30);
    const auto large = folder.path() / "large.edf";
    writeRecording(large);
    // Each one-second record holds 4 x 256 samples and one annotation record of EDFlib's size.
    const auto recordBytes = (std::filesystem::file_size(large) - HeaderBytes) / 4;
    const std::uintmax_t records = (std::uintmax_t{2} << 30) / recordBytes;
    patch(large, 236, 8, std::to_string(records));
    std::filesystem::resize_file(large, HeaderBytes + records * recordBytes);

    const long before = maxResidentKilobytes();
    std::string message;
    EXPECT_EQ(judge(junk, message), -104) << message;
    {
        RecordingSource source(large, {}, 2.0, true);
        int32_t counts[4];
        for (int i = 0; i < 256 * 8; ++i)
            ASSERT_TRUE(source.next(counts)) << "sample " << i;
    }
    EXPECT_LT(maxResidentKilobytes() - before, 16 * 1024);
    EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
    if (oldTemp != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// Catches a recording cut short during replay looping what is left, or ending without a word
// in the debug log.
TEST(ShrinkingSource, EndsEvenWhenLoopingAndTheLogSaysWhy) {
    TempFolder folder;
    const auto file = folder.path() / "shrinking.edf";
    writeRecording(file);
    const auto cut = HeaderBytes + 2 * (std::filesystem::file_size(file) - HeaderBytes) / 4 + 10;
    folder.write("dsu-simulator.ini", "[Simulator]\nSource = shrinking.edf\nLoop = 1\nSpeed = "
                                      "0\nSound = off\nSoundFile = off\n");
    SimulatedDsu dsu(folder.path());
    const std::string log = (folder.path() / "debug.txt").string();
    dsu.setDebugMode(1, log.c_str());
    ASSERT_EQ(dsu.initialise(), 0);
    int32_t packet[8] = {};
    int32_t count = 0;
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
    std::filesystem::resize_file(file, cut);
    for (int i = 0; i < 256 * 20 && dsu.poll(packet, 8, &count) == 0; ++i) {
    }
    EXPECT_EQ(dsu.poll(packet, 8, &count), SimulatedDsu::NoData);
    const uint64_t delivered = dsu.delivered();
    EXPECT_LT(delivered, 256U * 4) << "it went on past the cut";
    EXPECT_GE(delivered, 256U * 2 - 64) << "the whole records before the cut were dropped";
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);

    const std::string text = folder.read("debug.txt");
    const std::string line = "the recording has ended after " + std::to_string(delivered) +
                             " packets: data record 3 of 4 of " + file.string() +
                             " is missing: the file has shrunk to " + std::to_string(cut);
    EXPECT_NE(text.find(line), std::string::npos) << text;
}

} // namespace
} // namespace solvane::dsusim
