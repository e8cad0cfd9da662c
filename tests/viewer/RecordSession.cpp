// Records a session with the bundled DSU as the program would run it: the program's packet
// analysis drives the entrainment from the packets, its commands go to the DSU, and the
// session's events file is written beside the recording as the recorder lays it out.
//
//   viewer_record_session <folder> <seconds> [<recording to replay>] [<speed>]
//
// The DSU records into <folder>/sessions; the run is kept as <stamp>.edf there. With speed 1
// the packets come at their own pace, so that a viewer can follow the run as it grows.

#include "analysis/PacketAnalysis.h"
#include "ave/AveCommandSink.h"
#include "config/Settings.h"
#include "dsu/unit/SimulatedDsu.h"
#include "support/NullOutputs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

using solvane::dsusim::SimulatedDsu;

class RecordedCommands : public solvane::AveCommandSink {
public:
    RecordedCommands(SimulatedDsu& dsu, const std::filesystem::path& events) : dsu_(dsu) {
        events_.open(events, std::ios::trunc);
        events_ << "onset\tduration\ttrial_type\tvalue\n" << std::flush;
    }
    void sendCommand(const char* command) override {
        char line[80];
        std::snprintf(line, sizeof line, "%.4f\tn/a\tave_command\t%.6s\n",
                      static_cast<double>(dsu_.delivered()) / 256.0, command);
        events_ << line << std::flush;
        dsu_.sendCommand(command, 6);
    }

private:
    SimulatedDsu& dsu_;
    std::ofstream events_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <seconds> [<recording>] [<speed>]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const long seconds = std::atol(argv[2]);
    const std::string speed = argc > 4 ? argv[4] : "0";
    std::filesystem::create_directories(folder);
    {
        std::ofstream ini(folder / "dsu-simulator.ini");
        ini << "[Simulator]\nSpeed = " << speed << "\nSound = off\nSeed = 3\n";
        if (argc > 3)
            ini << "Source = " << std::filesystem::absolute(argv[3]).string() << "\n";
    }
    SimulatedDsu dsu(folder);
    if (const int32_t status = dsu.initialise(); status != 0) {
        std::fprintf(stderr, "the DSU does not start: status %d\n", status);
        return 1;
    }
    std::filesystem::path working = dsu.recordingFile();
    std::string stamp = working.filename().string();
    stamp = stamp.substr(0, stamp.size() - std::string(".working.edf").size());
    RecordedCommands commands(dsu, working.parent_path() / (stamp + "_events.tsv"));
    // Held while the run goes, as the recording process holds it.
    const std::filesystem::path lock = working.parent_path() / (stamp + ".lock");
    const int lockFd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0 || ::flock(lockFd, LOCK_EX) != 0) {
        std::fprintf(stderr, "the lock %s cannot be held\n", lock.c_str());
        return 1;
    }

    solvane::settings.DSUSampleRate = 256;
    solvane::settings.AVEVolume = 60;
    solvane::settings.AVEFrequency = 200;
    solvane::settings.AVEDesiredFrequency = 10;
    solvane::settings.AVEChannel1 = 3;
    solvane::settings.AVEChannel2 = 5;
    solvane::settings.AVEChannel3 = 8;
    solvane::settings.AVEChannel4 = 10;
    solvane::testing::NoMap map;
    solvane::PacketAnalysis analysis(solvane::settings, map, commands);
    analysis.ApplyChannelSelection();
    int32_t packet[8] = {};
    for (long n = 0; n < seconds * 256;) {
        int32_t received = 0;
        const int32_t status = dsu.poll(packet, 8, &received);
        if (status < 0) {
            std::fprintf(stderr, "the DSU stopped delivering: status %d\n", status);
            return 1;
        }
        if (received == 0) { // none due yet
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        analysis.draw(packet);
        ++n;
    }
    analysis.SilenceEntrainment();
    const int32_t ended = dsu.terminate("kardemo.SES");
    std::filesystem::remove(lock);
    ::close(lockFd);
    if (ended != 0)
        return 1;
    std::printf("%s\n", (working.parent_path() / (stamp + ".edf")).c_str());
    return 0;
}
