// The serial boards (Cyton, OpenEEG P2) over boards emulated on a pseudo-terminal, in tables
// over both: a known sine arrives at its frequency and at the counts its scale gives it; the
// port is raw at the board's speed without hang-up on close; the stream survives garbage, cut
// and damaged packets and lost samples with the time axis kept; damaged numbers, noise and a
// board too fast never make more EEG than the time allows; an unplugged board ends the run
// with the recording intact; each fault at the start has its status, at SetComPorts already;
// and a louder left group leads the program's balance.

#include "BoardEmulator.h"
#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "dsu/device/SimulatedDsu.h"
#include "dsu/eeg/CytonSource.h"
#include "dsu/eeg/OpenEegSource.h"
#include "session/SessionFacts.h"
#include "session/SessionPaths.h"
#include "support/NullOutputs.h"
#include "support/RunSettings.h"
#include "support/SineFit.h"
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
#include <ostream>
#include <random>
#include <thread>

namespace solvane::dsusim {
namespace {

using testing::BoardEmulator;
using testing::TempFolder;
using Samples = std::vector<std::array<int32_t, 4>>;
using Protocol = BoardEmulator::Protocol;

const BoardEmulator::Options Cyton{};
const BoardEmulator::Options Daisy{.daisy = true};
const BoardEmulator::Options OpenEeg{.protocol = Protocol::OpenEeg};

const char* nameOf(const BoardEmulator::Options& board) {
    if (board.protocol == Protocol::OpenEeg)
        return "OpenEEG";
    return board.daisy ? "Cyton with Daisy" : "Cyton";
}

/// Where a board's packets carry their number, and how long they are.
std::size_t numberAt(const BoardEmulator::Options& options) {
    return options.protocol == Protocol::OpenEeg ? 3 : 1;
}
std::size_t packetSize(const BoardEmulator::Options& options) {
    return options.protocol == Protocol::OpenEeg ? OpenEegSource::PacketSize
                                                 : CytonSource::PacketSize;
}

/// The board's own time, its samples over its rate, as `speed` times real time: the clock a
/// test's rate guard runs on.
SerialBoardSource::Clock boardTime(const BoardEmulator& board, double speed = 1.0) {
    return [&board, speed] { return static_cast<double>(board.samples()) / board.rate() / speed; };
}

/// A source for `board`: 2 counts per microvolt for both boards (gain 2 on a Cyton, the
/// OpenEEG board's counts as they are at 0.5 uV each).
std::unique_ptr<SerialBoardSource> open(BoardEmulator& board, const BoardEmulator::Options& kind,
                                        const std::vector<std::string>& channels = {},
                                        const std::vector<std::string>& positions = {},
                                        double speed = 1.0, int answer = 3000) {
    if (kind.protocol == Protocol::OpenEeg)
        return std::make_unique<OpenEegSource>(board.device(), channels, positions, nullptr,
                                               boardTime(board, speed), answer);
    return std::make_unique<CytonSource>(board.device(), channels, positions, 2.0, nullptr,
                                         boardTime(board, speed), answer);
}

/// Polls `source` into `out` until it has read every byte the board wrote and has no sample
/// left; false if that does not happen within 10 s (the pseudo-terminal delivers in its own
/// time, but always within milliseconds).
bool drain(SerialBoardSource& source, const BoardEmulator& board, Samples& out) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int32_t counts[4];
    while (true) {
        const bool all = source.bytesRead() == board.written() || source.gone();
        bool got = false;
        while (source.next(counts)) {
            out.push_back({counts[0], counts[1], counts[2], counts[3]});
            got = true;
        }
        if (all && !got && (source.bytesRead() == board.written() || source.gone()))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (!got)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

/// Sends `samples` board samples in pieces, each read before the next is written; `between`
/// runs before each sample.
void stream(SerialBoardSource& source, BoardEmulator& board, int samples, Samples& out,
            const std::function<void()>& between = {}) {
    for (int sent = 0; sent < samples; sent += 50) {
        for (int s = sent; s < std::min(sent + 50, samples); ++s) {
            if (between)
                between();
            board.send(1);
        }
        ASSERT_TRUE(drain(source, board, out));
    }
}

/// Waits until the board has received `count` command bytes; its commands then.
std::string commandsAfter(const BoardEmulator& board, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (board.commands().size() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return board.commands();
}

/// Amplitude of `frequency` Hz in slot `slot` of samples [from, from + n) at 256 Hz.
double amplitudeAt(const Samples& samples, int slot, std::size_t from, std::size_t n,
                   double frequency) {
    return testing::fitSine(
               from, from + n, frequency,
               [&](std::size_t i) { return samples[i][static_cast<std::size_t>(slot)] - 512.0; })
        .amplitude;
}

struct SineCase {
    BoardEmulator::Options board;
    std::vector<std::string> channels;
    std::vector<std::string> positions;
    int boardChannel[4]; // 0-based, behind the slots
    const char* labels[4];
};

void PrintTo(const SineCase& c, std::ostream* out) {
    *out << nameOf(c.board) << (c.channels.empty() ? ", channels 1-4" : ", chosen channels");
}

class BoardSine : public ::testing::TestWithParam<SineCase> {};

// Catches a wrong scale, sign extension, byte order, channel order, Daisy pairing, rate or
// gain, and an OpenEEG board's counts resampled or scaled: each slot's 10 Hz sine has the
// amplitude its channel was sent with, at 2 counts per microvolt.
TEST_P(BoardSine, ArrivesAtItsFrequencyAndCounts) {
    const SineCase& c = GetParam();
    SCOPED_TRACE(nameOf(c.board));
    BoardEmulator board(c.board);
    const auto source = open(board, c.board, c.channels, c.positions);
    Samples out;
    const int seconds = 4;
    stream(*source, board, seconds * static_cast<int>(board.rate()), out);
    if (c.board.protocol == Protocol::OpenEeg) {
        EXPECT_EQ(out.size(), board.samples()); // each sample at once, as it came
    } else {
        // Everything sent comes out at 256 Hz, less what the filter waits for (5 samples).
        EXPECT_LE(out.size(), static_cast<std::size_t>(seconds * 256));
        EXPECT_GE(out.size(), static_cast<std::size_t>(seconds * 256 - 12));
    }
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(source->channel(slot), c.boardChannel[slot]);
        EXPECT_EQ(source->label(slot), c.labels[slot]);
        const double wanted = 2.0 * BoardEmulator::amplitude(c.boardChannel[slot]);
        EXPECT_NEAR(amplitudeAt(out, slot, 256, 512, 10.0), wanted, 0.03 * wanted) << slot;
        EXPECT_LT(amplitudeAt(out, slot, 256, 512, 20.0), 1.0) << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boards, BoardSine,
    ::testing::Values(SineCase{Cyton, {}, {}, {0, 1, 2, 3}, {"1", "2", "3", "4"}},
                      SineCase{Cyton, {"8", "3", "6", "1"}, {}, {7, 2, 5, 0}, {"8", "3", "6", "1"}},
                      SineCase{Daisy,
                               {"16", "Fp1", "9", "8"},
                               {"Fp1", "Fp2", "C3", "C4", "P3", "P4", "O1", "O2", "F7"},
                               {15, 0, 8, 7},
                               {"16", "Fp1", "F7", "O2"}},
                      SineCase{OpenEeg, {}, {}, {0, 1, 2, 3}, {"1", "2", "3", "4"}},
                      SineCase{OpenEeg,
                               {"6", "C3", "2", "1"},
                               {"Fp1", "Fp2", "C3"},
                               {5, 2, 1, 0},
                               {"6", "C3", "Fp2", "Fp1"}}));

// Catches a port left cooked (line editing, echo, CR/LF translation, XON/XOFF eat bytes of the
// packets), at the wrong speed, or with HUPCL, which resets a dongle on close; a Cyton left
// streaming, and commands sent to an OpenEEG board, which takes none.
TEST(BoardPort, IsRawAtTheBoardsSpeedWithoutHangUpAndTheBoardStops) {
    struct Case {
        BoardEmulator::Options board;
        speed_t speed;
        const char* commands; // while open, and after
    } const cases[] = {{Cyton, B115200, "svb"}, {OpenEeg, B57600, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(nameOf(c.board));
        BoardEmulator board(c.board);
        {
            const auto source = open(board, c.board);
            termios settings{};
            ASSERT_EQ(tcgetattr(board.slave(), &settings), 0);
            EXPECT_EQ(cfgetispeed(&settings), c.speed);
            EXPECT_EQ(cfgetospeed(&settings), c.speed);
            EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
            EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
            EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
            EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
            EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
            EXPECT_EQ(settings.c_oflag & OPOST, 0u);
            EXPECT_EQ(settings.c_cc[VMIN], 0);
            EXPECT_EQ(settings.c_cc[VTIME], 0);
        }
        // The source, destroyed, stopped the Cyton's stream.
        const std::string commands = c.commands[0] == '\0' ? "" : std::string(c.commands) + "s";
        EXPECT_EQ(commandsAfter(board, commands.size()), commands);
    }
}

struct LinkCase {
    const char* name;
    std::function<void(BoardEmulator&, const BoardEmulator::Options&)> fault;
    uint64_t resyncs;
    long droppedBytes;  // skipped, beside
    int droppedPackets; // whole packets' worth
    uint64_t lost;
    int held; // board samples held for the ones that did not come
};

// Catches a source that loses its framing for good after garbage or a cut or damaged packet,
// takes a damaged packet (a Cyton's end byte, an OpenEEG board's version) for a real one, does
// not count what it skipped or lost, or closes the gap on the time axis (the packets after a
// loss would come early and the spectra would smear).
TEST(BoardLink, ResynchronisesCountsAndKeepsTheTimeAxis) {
    const std::vector<uint8_t> noise(10, 0x55);
    using Options = BoardEmulator::Options;
    const LinkCase cases[] = {
        {"none", [](BoardEmulator&, const Options&) {}, 0, 0, 0, 0, 0},
        {"garbage", [&](BoardEmulator& b, const Options&) { b.garbage(noise); }, 1, 10, 0, 0, 0},
        {"cut packet", [](BoardEmulator& b, const Options&) { b.dropBytes(1); }, 1, -1, 1, 1, 1},
        {"lost samples", [](BoardEmulator& b, const Options&) { b.lose(3); }, 0, 0, 0, 3, 3},
        {"damaged frame",
         [](BoardEmulator& b, const Options& o) {
             o.protocol == Protocol::OpenEeg ? b.damage(2, 0x01) : b.damage(32, 0x10);
             b.send(1);
         },
         1, 0, 1, 1, 1},
    };
    for (const auto& kind : {Cyton, OpenEeg}) {
        std::size_t base = 0;
        for (const LinkCase& c : cases) {
            SCOPED_TRACE(std::string(nameOf(kind)) + ", " + c.name);
            BoardEmulator board(kind);
            const auto source = open(board, kind);
            Samples out;
            stream(*source, board, 100, out);
            c.fault(board, kind);
            stream(*source, board, 400, out);
            ASSERT_TRUE(drain(*source, board, out));
            EXPECT_EQ(source->counters().resyncs, c.resyncs);
            EXPECT_EQ(static_cast<long>(source->counters().bytesDropped),
                      c.droppedBytes + c.droppedPackets * static_cast<long>(packetSize(kind)));
            EXPECT_EQ(source->counters().samplesLost, c.lost);
            if (base == 0)
                base = out.size();
            const double extra = c.held * 256.0 / board.rate();
            EXPECT_NEAR(static_cast<double>(out.size()), static_cast<double>(base) + extra, 1.5);
            // The sine goes on in phase after the fault: its 10 Hz is whole in the last second.
            const std::size_t last = out.size() - 256;
            EXPECT_NEAR(amplitudeAt(out, 0, last, 256, 10.0), 20.0, 1.0);
        }
    }
}

struct SerialFault {
    const char* name;
    double speed; // of the board, times its rate
    /// Runs before each board sample: damages it, or sends noise before it.
    std::function<void(BoardEmulator&, const BoardEmulator::Options&, std::mt19937&)> before;
    bool misnumbered; // whether frames must have been skipped for their numbers
    int throttled;    // 1: samples must have been dropped for the rate, 0: none may, -1: either
};

// Catches a source that invents EEG: one that fills an implausible jump of the sample number
// (one damaged byte used to add 255 held samples, false frames in noise 100 times the run's
// length), or delivers a board's samples faster than its rate. The packets (which the
// recording holds) must span the board's time within 2 %, and never more than the rate guard
// allows for it.
TEST(SerialFaults, NeverMakeMoreEegThanTheTimeAllows) {
    const SerialFault cases[] = {
        {"one bad number", 1.0,
         [](BoardEmulator& b, const BoardEmulator::Options& o, std::mt19937&) {
             if (b.samples() == 3000)
                 b.damage(numberAt(o), 0x80);
         },
         true, 0},
        {"5 % bad numbers", 1.0,
         [](BoardEmulator& b, const BoardEmulator::Options& o, std::mt19937& random) {
             if (random() % 20 == 0)
                 b.damage(numberAt(o), static_cast<uint8_t>(1 + random() % 255));
         },
         true, 0},
        {"a flood of noise", 1.0,
         [](BoardEmulator& b, const BoardEmulator::Options&, std::mt19937& random) {
             if (random() % 4 != 0)
                 return;
             b.falseFrames(1 + static_cast<int>(random() % 3), static_cast<uint32_t>(random()));
             std::vector<uint8_t> bytes(random() % 40);
             for (uint8_t& byte : bytes)
                 byte = static_cast<uint8_t>(random());
             b.garbage(bytes);
         },
         true, -1},
        {"a board at twice its rate", 2.0, {}, false, 1},
    };
    for (const auto& kind : {Cyton, OpenEeg}) {
        for (const SerialFault& c : cases) {
            SCOPED_TRACE(std::string(nameOf(kind)) + ", " + c.name);
            BoardEmulator board(kind);
            const auto source = open(board, kind, {}, {}, c.speed);
            std::mt19937 random(7);
            Samples out;
            const double seconds = 30.0; // of real time
            const int samples = static_cast<int>(seconds * board.rate() * c.speed);
            stream(*source, board, samples, out, [&] {
                if (c.before)
                    c.before(board, kind, random);
            });
            board.hangUp();
            ASSERT_TRUE(drain(*source, board, out));
            const double time = static_cast<double>(board.samples()) / board.rate() / c.speed;
            const double length = static_cast<double>(out.size()) / 256.0;
            EXPECT_NEAR(length, time, 0.02 * time);
            EXPECT_LE(length, time * (1.0 + SerialBoardSource::RateMargin) +
                                  SerialBoardSource::LeadSeconds + 1.0 / 256.0);
            const auto& counted = source->counters();
            EXPECT_EQ(counted.misnumbered > 0, c.misnumbered) << counted.misnumbered;
            if (c.throttled >= 0) {
                EXPECT_EQ(counted.throttled > 0, c.throttled == 1) << counted.throttled;
            }
            if (std::string(c.name) == "one bad number") {
                EXPECT_EQ(counted.misnumbered, 1U);
                EXPECT_EQ(counted.samplesLost, 1U); // the damaged packet, held
            }
        }
    }
}

/// The amplitude of `frequency` Hz in signal `signal` of a kept session, in its physical unit.
double sessionAmplitude(const std::string& file, int signal, double frequency, int& records) {
    edf_hdr_struct header{};
    if (edfopen_file_readonly(file.c_str(), &header, EDFLIB_READ_ALL_ANNOTATIONS) != 0)
        return -1.0;
    records = static_cast<int>(header.datarecords_in_file);
    std::vector<double> values(256 * 2);
    edfseek(header.handle, signal, 256, EDFSEEK_SET);
    const int got = edfread_physical_samples(header.handle, signal, 512, values.data());
    edfclose_file(header.handle);
    if (got <= 0)
        return -1.0;
    return testing::fitSine(0, static_cast<std::size_t>(got), frequency,
                            [&](std::size_t i) { return values[i]; })
        .amplitude;
}

// Catches a run that hangs, crashes or loses its recording when the board is unplugged: polls
// then say "no data" (the program's stall stop ends the run), the log says it was unplugged,
// and the kept session holds every packet with the board's 10 Hz in microvolts (the
// OpenEEG board's through MicrovoltsPerCount), its labels and its name. The board SetComPorts
// opened is the one read: a Cyton is reset once.
TEST(BoardRun, EndsInNoDataWithTheRecordingIntactWhenUnplugged) {
    for (const auto& kind : {Cyton, OpenEeg}) {
        SCOPED_TRACE(nameOf(kind));
        TempFolder folder;
        BoardEmulator board(kind);
        const bool openEeg = kind.protocol == Protocol::OpenEeg;
        folder.write("dsu-simulator.ini",
                     std::string("[Simulator]\nSource = ") + (openEeg ? "openeeg" : "cyton") +
                         "\nSerialDevice = " + board.device() +
                         "\nPositions = Fp1, Fp2, C3, C4\nMicrovoltsPerCount = 0.5\n"
                         "Sound = off\nSoundFile = off\n");
        SimulatedDsu dsu(folder.path());
        dsu.setBoardClock(boardTime(board));
        const std::string log = (folder.path() / "debug.txt").string();
        dsu.setDebugMode(1, log.c_str());
        ASSERT_EQ(dsu.setComPort(0), 0);
        ASSERT_EQ(dsu.initialise(), 0);
        int32_t packet[8];
        int32_t count = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const auto rate = static_cast<int>(board.rate());
        const int piece = openEeg ? 64 : 50;
        for (int p = 0; p < 4 * rate / piece; ++p) {
            board.send(piece);
            const auto wanted = static_cast<uint64_t>((p + 1) * piece * 256 / rate - 8);
            while (dsu.delivered() < wanted && std::chrono::steady_clock::now() < deadline)
                if (dsu.poll(packet, 8, &count) != 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        board.hangUp();
        // What the resampler's filter held comes out, then nothing more.
        for (int i = 0; i < 100 && dsu.poll(packet, 8, &count) == 0; ++i) {
        }
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(dsu.poll(packet, 8, &count), SimulatedDsu::NoData);
        const uint64_t delivered = dsu.delivered();
        // All 4 s of the board at 256 Hz, those in the resampler's filter too.
        EXPECT_NEAR(static_cast<double>(delivered), 4 * 256, 2.0);
        const auto factsFile = session::SessionPaths::ofRecording(dsu.sessionFile()).facts();
        ASSERT_EQ(dsu.terminate("session.edf"), 0);
        const auto facts = session::readFacts(factsFile);
        ASSERT_TRUE(facts);
        EXPECT_EQ(facts->source.kind, openEeg ? "openeeg" : "cyton");
        EXPECT_EQ(facts->source.port, board.device());
        // Reset once, when SetComPorts opened it; the board had gone before it could stop.
        EXPECT_EQ(commandsAfter(board, openEeg ? 0 : 3), openEeg ? "" : "svb");

        const std::string session = (folder.path() / "session.edf").string();
        int records = 0;
        EXPECT_NEAR(sessionAmplitude(session, 0, 10.0, records), BoardEmulator::amplitude(0),
                    0.03 * BoardEmulator::amplitude(0));
        EXPECT_NEAR(sessionAmplitude(session, 4, 10.0, records), BoardEmulator::amplitude(1),
                    0.03 * BoardEmulator::amplitude(1));
        // The last record, partly filled, is kept too.
        EXPECT_EQ(static_cast<uint64_t>(records), (delivered + 255) / 256);
        edf_hdr_struct header{};
        ASSERT_EQ(edfopen_file_readonly(session.c_str(), &header, EDFLIB_DO_NOT_READ_ANNOTATIONS),
                  0);
        EXPECT_STREQ(header.signalparam[0].label, "Fp1             ");
        EXPECT_STREQ(header.signalparam[5].label, "C4              ");
        EXPECT_NE(std::string(header.recording_additional).find(openEeg ? "OpenEEG" : "Cyton"),
                  std::string::npos)
            << header.recording_additional;
        edfclose_file(header.handle);
        const std::string text = folder.read("debug.txt");
        EXPECT_NE(text.find("GetP3Data: the board was unplugged"), std::string::npos) << text;
        EXPECT_NE(text.find("had gone after"), std::string::npos) << text;
    }
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
        return statusOf([&] { SerialPort port(device, 115200, true); });
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(1);
        _exit(-statusOf([&] { SerialPort port(device, 115200, true); }) - 1100);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? -(1100 + WEXITSTATUS(status)) : 0;
}

/// SetComPorts' status for a DSU whose dsu-simulator.ini holds `ini`.
int32_t setComPortsWith(const std::string& ini) {
    TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nSound = off\n" + ini);
    SimulatedDsu dsu(folder.path());
    return dsu.setComPort(499);
}

// Catches faults at the start that fail silently, hang the window, are told as another fault
// (so that the debug log's advice would be wrong), or wait for InitialiseDSU, which leaves the
// program waiting 5 s for data that never come, where SetComPorts fails at once.
TEST(BoardStart, EachFaultHasItsStatus) {
    BoardEmulator cyton(Cyton);
    BoardEmulator openEeg(OpenEeg);
    BoardEmulator silentCyton({.answers = false});
    BoardEmulator silentOpenEeg({.protocol = Protocol::OpenEeg, .answers = false});
    BoardEmulator otherFirmware({.protocol = Protocol::OpenEeg, .version = 3});
    const auto none = std::vector<std::string>{};
    auto board = [](BoardEmulator& b, const BoardEmulator::Options& kind,
                    std::vector<std::string> channels = {}, int answer = 3000) {
        return [&b, kind, channels, answer] { open(b, kind, channels, {}, 1.0, answer); };
    };
    int master = -1;
    int slave = -1;
    char locked[128] = {};
    ASSERT_EQ(openpty(&master, &slave, locked, nullptr, nullptr), 0);
    ASSERT_EQ(chmod(locked, geteuid() == 0 ? 0600 : 0), 0);
    TempFolder files;
    files.write("file", "not a terminal");
    const std::string file = (files.path() / "file").string();

    struct Case {
        const char* name;
        std::function<int32_t()> status;
        int32_t expected;
    };
    const Case cases[] = {
        {"not in dialout", [&] { return statusAsNobody(locked); }, -1108},
        {"busy",
         [&] {
             SerialPort holder(cyton.device(), 115200, true);
             return statusOf(board(cyton, Cyton));
         },
         -1109},
        {"a Cyton that does not answer",
         [&] { return statusOf(board(silentCyton, Cyton, {}, 200)); }, -1110},
        {"an OpenEEG board of other firmware",
         [&] { return statusOf(board(otherFirmware, OpenEeg, {}, 200)); }, -1110},
        {"no such port",
         [&] { return statusOf([] { SerialPort p("/dev/ttyUSB-none", 57600, false); }); }, -1111},
        {"no channel 9 on a Cyton",
         [&] {
             return statusOf(board(cyton, Cyton, {"1", "2", "3", "9"}));
         },
         -205},
        {"17 positions",
         [] {
             std::string positions = "P1";
             for (int p = 2; p <= 17; ++p)
                 positions += ", P" + std::to_string(p);
             return statusOf(
                 [&] { SimulatorConfig::fromText("[Simulator]\nPositions = " + positions); });
         },
         -1206},
        {"MicrovoltsPerCount of 0",
         [] {
             return statusOf(
                 [] { SimulatorConfig::fromText("[Simulator]\nMicrovoltsPerCount = 0\n"); });
         },
         -1602},
        {"SetComPorts: Com500 names no port", [] { return setComPortsWith("Source = cyton\n"); },
         -1111},
        {"SetComPorts: an OpenEEG board that never sends",
         [&] {
             return setComPortsWith("Source = openeeg\nSerialDevice = " + silentOpenEeg.device());
         },
         -1110},
        {"SetComPorts: a file that is no terminal",
         [&] { return setComPortsWith("Source = openeeg\nSerialDevice = " + file); }, -1112},
        {"SetComPorts leaves a channel to InitialiseDSU",
         [&] {
             return setComPortsWith("Source = openeeg\nChannels = 1, 2, 3, 7\nSerialDevice = " +
                                    openEeg.device());
         },
         0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.status(), c.expected) << c.name;
    close(slave);
    close(master);
}

// Catches a board whose channels reach the wrong slots or packet elements, so that the
// program's left (slots 0 and 2) and right (1 and 3) swap: the louder pair of channels leads
// the balance the program computes, on whichever side it is.
TEST(OpenEegBalance, TheLouderGroupLeads) {
    struct Case {
        const char* channels; // the emulated channels grow louder: 1 is the quietest
        bool leftLouder;
    } const cases[] = {{"4, 1, 3, 2", true}, {"1, 4, 2, 3", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        TempFolder folder;
        BoardEmulator board(OpenEeg);
        folder.write("dsu-simulator.ini",
                     "[Simulator]\nSource = openeeg\nSerialDevice = " + board.device() +
                         "\nChannels = " + c.channels + "\nSound = off\nRecord = off\n");
        SimulatedDsu dsu(folder.path());
        dsu.setBoardClock(boardTime(board));
        ASSERT_EQ(dsu.initialise(), 0);
        Settings settings = testing::runSettings(19, 21, 15, 17);
        testing::NoMap map;
        testing::NoCommands commands;
        PacketAnalysis program(settings, map, commands);
        program.ApplyChannelSelection();
        int32_t packet[8];
        int32_t count = 0;
        int packets = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int second = 1; second <= 3; ++second) {
            board.send(256);
            while (packets < second * 256 && std::chrono::steady_clock::now() < deadline) {
                if (dsu.poll(packet, 8, &count) == 0) {
                    program.draw(packet);
                    ++packets;
                }
            }
        }
        ASSERT_EQ(dsu.terminate(nullptr), 0);
        const AnalysisState& s = program.state();
        EXPECT_EQ(s.VolumeShare00 > 0.6F, c.leftLouder) << s.VolumeShare00;
        EXPECT_EQ(s.VolumeShare01 > 0.6F, !c.leftLouder) << s.VolumeShare01;
    }
}

} // namespace
} // namespace solvane::dsusim
