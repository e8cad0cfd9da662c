// The emulated Cyton board as a program, for the smoke test: prints the device node it is on,
// streams its known signal at 250 samples/s once started ('b') for the given number of seconds,
// then hangs up as an unplugged dongle would.
//
//   cyton_board <seconds>

#include "BoardEmulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 8;
    solvane::testing::BoardEmulator board({.paced = true});
    std::printf("%s\n", board.device().c_str());
    std::fflush(stdout);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!board.streaming()) {
        if (std::chrono::steady_clock::now() > deadline)
            return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    board.hangUp();
    return 0;
}
