// The Cyton source over the emulated board: a known sine arrives at its frequency and at the
// counts the scale, the resampler and the gain give it, for 8 and 16 channels; the port is
// raw 115200 8N1 without hang-up on close; the stream survives garbage, dropped bytes and lost
// samples with the time axis kept; a dongle that goes ends in "no data" with the recording
// intact; and each fault at the start has its own status.

#include "CytonEmulator.h"
#include "dsu/eeg/CytonSource.h"
#include "dsu/unit/SimulatedDsu.h"
#include "session/SessionFacts.h"
#include "session/SessionPaths.h"
#include "support/TempFolder.h"

#include <edflib.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <thread>

namespace solvane::dsusim {
namespace {

using testing::CytonEmulator;
using testing::TempFolder;
using Samples = std::vector<std::array<int32_t, 4>>;

/// Polls `source` into `out` until `done` holds; false if it does not within 10 s (the
/// pseudo-terminal delivers in its own time, but always within milliseconds).
bool pollUntil(SampleSource& source, Samples& out, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int32_t counts[4];
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (source.next(counts))
            out.push_back({counts[0], counts[1], counts[2], counts[3]});
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    while (source.next(counts))
        out.push_back({counts[0], counts[1], counts[2], counts[3]});
    return true;
}

/// Waits until the board has received `count` command bytes; its commands then.
std::string commandsAfter(const CytonEmulator& board, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (board.commands().size() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return board.commands();
}

/// Sends `samples` board samples in small pieces, each read before the next is written.
void stream(CytonSource& source, CytonEmulator& board, int samples, Samples& out) {
    const int packetsPerSample = source.daisy() ? 2 : 1;
    for (int sent = 0; sent < samples; sent += 50) {
        const uint64_t before = source.counters().packets;
        const int piece = std::min(50, samples - sent);
        board.send(piece);
        const uint64_t target = before + static_cast<uint64_t>(piece * packetsPerSample);
        ASSERT_TRUE(pollUntil(source, out, [&] { return source.counters().packets >= target; }));
    }
}

/// Amplitude of `frequency` Hz in slot `slot` of samples [from, from + n) at 256 Hz.
double amplitudeAt(const Samples& samples, int slot, std::size_t from, std::size_t n,
                   double frequency) {
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = from; i < from + n; ++i) {
        const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / 256.0;
        const double value = samples[i][static_cast<std::size_t>(slot)] - 512.0;
        re += value * std::cos(phase);
        im += value * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(n);
}

struct SineCase {
    bool daisy;
    std::vector<std::string> channels;
    std::vector<std::string> positions;
    int boardChannel[4]; // 0-based, behind the slots
    const char* labels[4];
};

class CytonSine : public ::testing::TestWithParam<SineCase> {};

// Catches a wrong scale, sign extension, channel order, Daisy pairing, rate or gain: each
// slot's 10 Hz sine has the amplitude its channel was sent with, times the gain.
TEST_P(CytonSine, ArrivesAtItsFrequencyAndCounts) {
    const SineCase& c = GetParam();
    CytonEmulator board({.daisy = c.daisy});
    constexpr double Gain = 2.0;
    CytonSource source(board.device(), c.channels, c.positions, Gain, nullptr);
    ASSERT_EQ(source.daisy(), c.daisy);
    Samples out;
    const int seconds = 4;
    stream(source, board, seconds * (c.daisy ? 125 : 250), out);
    // Everything sent comes out at 256 Hz, less what the resampler's filter still holds.
    EXPECT_LE(out.size(), static_cast<std::size_t>(seconds * 256));
    EXPECT_GE(out.size(), static_cast<std::size_t>(seconds * 256 - (c.daisy ? 112 : 64)));
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(source.channel(slot), c.boardChannel[slot]);
        EXPECT_EQ(source.label(slot), c.labels[slot]);
        const double wanted = Gain * CytonEmulator::amplitude(c.boardChannel[slot]);
        EXPECT_NEAR(amplitudeAt(out, slot, 256, 512, 10.0), wanted, 0.03 * wanted) << slot;
        EXPECT_LT(amplitudeAt(out, slot, 256, 512, 20.0), 1.0) << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boards, CytonSine,
    ::testing::Values(SineCase{false, {}, {}, {0, 1, 2, 3}, {"1", "2", "3", "4"}},
                      SineCase{false, {"8", "3", "6", "1"}, {}, {7, 2, 5, 0}, {"8", "3", "6", "1"}},
                      SineCase{true,
                               {"16", "Fp1", "9", "8"},
                               {"Fp1", "Fp2", "C3", "C4", "P3", "P4", "O1", "O2", "F7"},
                               {15, 0, 8, 7},
                               {"16", "Fp1", "F7", "O2"}}));

// Catches a port left cooked (line editing, echo, CR/LF translation, XON/XOFF eat bytes of the
// packets), at the wrong speed, or with HUPCL, which resets the dongle on close; and a board
// left streaming.
TEST(CytonPort, IsRawAt115200WithoutHangUpAndTheBoardStops) {
    CytonEmulator board({});
    {
        CytonSource source(board.device(), {}, {}, 2.0, nullptr);
        termios settings{};
        ASSERT_EQ(tcgetattr(board.slave(), &settings), 0);
        EXPECT_EQ(cfgetispeed(&settings), B115200);
        EXPECT_EQ(cfgetospeed(&settings), B115200);
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
        EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
        EXPECT_EQ(settings.c_oflag & OPOST, 0u);
        EXPECT_EQ(settings.c_cc[VMIN], 0);
        EXPECT_EQ(settings.c_cc[VTIME], 0);
        EXPECT_EQ(commandsAfter(board, 3), "svb");
    }
    Samples none;
    EXPECT_TRUE(pollUntil(*std::make_unique<CytonSource>(board.device(), std::vector<std::string>{},
                                                         std::vector<std::string>{}, 2.0, nullptr),
                          none, [] { return true; }));
    // Each source, destroyed, stopped its stream.
    EXPECT_EQ(commandsAfter(board, 8), "svbssvbs");
}

struct LinkCase {
    const char* name;
    std::function<void(CytonEmulator&)> fault;
    uint64_t resyncs, dropped, lost;
    int heldSamples; // board samples the source holds in for the ones that did not come
};

// Catches a source that loses its framing for good after garbage or a cut packet, that does
// not count what it skipped or lost, or that closes the gap on the time axis (the packets
// after a loss would come early and the spectra would smear).
TEST(CytonLink, ResynchronisesCountsAndKeepsTheTimeAxis) {
    const std::vector<uint8_t> noise(10, 0x55);
    const LinkCase cases[] = {
        {"none", [](CytonEmulator&) {}, 0, 0, 0, 0},
        {"garbage", [&](CytonEmulator& b) { b.garbage(noise); }, 1, 10, 0, 0},
        {"cut packet", [](CytonEmulator& b) { b.dropBytes(1); }, 1, 32, 1, 1},
        {"lost samples", [](CytonEmulator& b) { b.lose(5); }, 0, 0, 5, 5},
    };
    std::size_t base = 0;
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        CytonEmulator board({});
        CytonSource source(board.device(), {}, {}, 2.0, nullptr);
        Samples out;
        stream(source, board, 100, out);
        c.fault(board);
        stream(source, board, 400, out);
        EXPECT_EQ(source.counters().resyncs, c.resyncs);
        EXPECT_EQ(source.counters().bytesDropped, c.dropped);
        EXPECT_EQ(source.counters().samplesLost, c.lost);
        if (base == 0)
            base = out.size();
        const double extra = c.heldSamples * 256.0 / 250.0;
        EXPECT_NEAR(static_cast<double>(out.size()), static_cast<double>(base) + extra, 1.5);
        // The sine goes on in phase after the fault: its 10 Hz is whole in the last second.
        const std::size_t last = out.size() - 256;
        EXPECT_NEAR(amplitudeAt(out, 0, last, 256, 10.0), 20.0, 1.0);
    }
}

// Catches a run that hangs, crashes or loses its recording when the dongle is pulled: polls
// then say "no data" (the program's stall stop ends the run), and the recording keeps every
// packet delivered, with the board's labels and its description in the header.
TEST(CytonRun, EndsInNoDataWithTheRecordingIntactWhenTheDongleGoes) {
    TempFolder folder;
    CytonEmulator board({});
    folder.write("dsu-simulator.ini",
                 "[Simulator]\nSource = cyton\nSerialDevice = " + board.device() +
                     "\nPositions = Fp1, Fp2, C3, C4\nSound = off\n"
                     "SoundFile = off\n");
    SimulatedDsu dsu(folder.path());
    const std::string log = (folder.path() / "debug.txt").string();
    dsu.setDebugMode(1, log.c_str());
    ASSERT_EQ(dsu.initialise(), 0);
    int32_t packet[8];
    int32_t count = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int piece = 0; piece < 20; ++piece) {
        board.send(50);
        const uint64_t wanted =
            static_cast<uint64_t>(std::max(0, (piece + 1) * 50 * 256 / 250 - 60));
        while (dsu.delivered() < wanted && std::chrono::steady_clock::now() < deadline)
            if (dsu.poll(packet, 8, &count) != 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    while (dsu.poll(packet, 8, &count) == 0) {
    }
    board.hangUp();
    // What the resampler's filter held comes out, then nothing more.
    for (int i = 0; i < 100 && dsu.poll(packet, 8, &count) == 0; ++i) {
    }
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(dsu.poll(packet, 8, &count), SimulatedDsu::NoData);
    const uint64_t delivered = dsu.delivered();
    // All 1000 board samples at 256 Hz, those still in the resampler's filter too.
    EXPECT_NEAR(static_cast<double>(delivered), 1000 * 256 / 250.0, 3.0);
    const auto factsFile = session::SessionPaths::ofRecording(dsu.sessionFile()).facts();
    ASSERT_EQ(dsu.terminate("session.edf"), 0);
    const auto facts = session::readFacts(factsFile);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->source.kind, "cyton");
    EXPECT_EQ(facts->source.port, board.device());

    edf_hdr_struct header{};
    const std::string session = (folder.path() / "session.edf").string();
    ASSERT_EQ(edfopen_file_readonly(session.c_str(), &header, EDFLIB_READ_ALL_ANNOTATIONS), 0);
    // The last record, partly filled, is kept too.
    EXPECT_EQ(static_cast<uint64_t>(header.datarecords_in_file), (delivered + 255) / 256);
    EXPECT_STREQ(header.signalparam[0].label, "Fp1             ");
    EXPECT_STREQ(header.signalparam[5].label, "C4              ");
    EXPECT_NE(std::string(header.recording_additional).find("Cyton"), std::string::npos)
        << header.recording_additional;
    edfclose_file(header.handle);
    const std::string text = folder.read("debug.txt");
    EXPECT_NE(text.find("has gone"), std::string::npos) << text;
    EXPECT_NE(text.find("had gone after"), std::string::npos) << text;
}

// The status of a start that fails, as the debug log and InitialiseDSU give it.
int32_t statusOf(const std::function<void()>& start) {
    try {
        start();
    } catch (const SimulatorConfigError& e) {
        return e.status();
    }
    return 0;
}

/// Opens `device` as an unprivileged user; the status it fails with.
int32_t statusAsNobody(const std::string& device) {
    if (geteuid() != 0)
        return statusOf([&] { SerialPort port(device); });
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(1);
        _exit(-statusOf([&] { SerialPort port(device); }) - 1100);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? -(1100 + WEXITSTATUS(status)) : 0;
}

// Catches faults at the start that fail silently, hang the window, or are told as another
// fault, so that the debug log's advice would be wrong.
TEST(CytonStart, EachFaultHasItsStatus) {
    CytonEmulator board({});
    CytonEmulator silent({.banner = false});
    const auto none = std::vector<std::string>{};
    auto open = [&](const std::string& device, int wait = 3000) {
        return [&, device, wait] { CytonSource source(device, none, none, 2.0, nullptr, wait); };
    };
    int master = -1;
    int slave = -1;
    char locked[128] = {};
    ASSERT_EQ(openpty(&master, &slave, locked, nullptr, nullptr), 0);
    ASSERT_EQ(chmod(locked, geteuid() == 0 ? 0600 : 0), 0);

    struct Case {
        const char* name;
        std::function<int32_t()> status;
        int32_t expected;
    };
    const Case cases[] = {
        {"not in dialout", [&] { return statusAsNobody(locked); }, -1108},
        {"busy",
         [&] {
             SerialPort holder(board.device());
             return statusOf(open(board.device()));
         },
         -1109},
        {"no banner", [&] { return statusOf(open(silent.device(), 200)); }, -1110},
        {"no such port", [&] { return statusOf(open("/dev/ttyUSB-none")); }, -1111},
        {"not a serial port", [&] { return statusOf(open("/dev/null")); }, -1112},
        {"no such channel",
         [&] {
             return statusOf([&] {
                 CytonSource source(board.device(), {"1", "2", "3", "9"}, none, 2.0, nullptr);
             });
         },
         -205},
        {"Com500 names no port",
         [&] {
             TempFolder folder;
             folder.write("dsu-simulator.ini", "[Simulator]\nSource = cyton\nSound = off\n");
             SimulatedDsu dsu(folder.path());
             dsu.setComPort(499);
             return dsu.initialise();
         },
         -1111},
        {"17 positions",
         [] {
             std::string positions = "P1";
             for (int p = 2; p <= 17; ++p)
                 positions += ", P" + std::to_string(p);
             return statusOf(
                 [&] { SimulatorConfig::fromText("[Simulator]\nPositions = " + positions); });
         },
         -1206},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.status(), c.expected) << c.name;
    close(slave);
    close(master);
}

} // namespace
} // namespace solvane::dsusim
