// The recovery of a killed one-hour run at the next start: what InitialiseDSU spends on
// finishing its files (target: under a second). The run is recorded by the bundled DSU in a
// child process that is killed part-way through its last second, with a volume command every
// second and its sound file; each iteration recovers a fresh copy of its files.

#include "dsu/session/SessionRecovery.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using solvane::dsusim::SimulatedDsu;

/// Records `seconds` and a half in a child process that is then killed; false when it was not.
bool recordKilledRun(const std::filesystem::path& folder, long seconds) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        SimulatedDsu dsu(folder);
        if (dsu.initialise() != 0)
            ::_exit(1);
        for (long n = 0; n < seconds * 256 + 128; ++n) {
            if (n % 256 == 0) {
                char command[8];
                std::snprintf(command, sizeof command, "WB%02lX%02lX", n / 256 % 2,
                              10 + n / 256 % 40);
                dsu.sendCommand(command, 6);
            }
            int32_t packet[8];
            int32_t count = 0;
            dsu.poll(packet, 8, &count);
        }
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void RecoverAKilledOneHourRun(benchmark::State& state) {
    const solvane::testing::TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\nSoundFile = on\n");
    const std::filesystem::path killed = folder.path() / "killed";
    std::filesystem::create_directory(killed);
    std::filesystem::copy_file(folder.path() / "dsu-simulator.ini", killed / "dsu-simulator.ini");
    if (!recordKilledRun(killed, 3600)) {
        state.SkipWithError("the recording child was not killed");
        return;
    }
    const std::filesystem::path sessions = folder.path() / "sessions";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(sessions);
        std::filesystem::copy(killed / SimulatedDsu::SessionsFolder, sessions);
        state.ResumeTiming();
        benchmark::DoNotOptimize(solvane::dsusim::recoverSessions(sessions));
    }
}
BENCHMARK(RecoverAKilledOneHourRun)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
