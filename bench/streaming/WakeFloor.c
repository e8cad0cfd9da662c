/* The processor share of a process that does nothing but wake 256 times a second, as the
 * program does while it streams: what the machine itself charges for the wake-ups, beside which
 * the program's own share can be judged. Usage: wake_floor [seconds]. */

#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double seconds(clockid_t clock) {
    struct timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
    const double length = argc > 1 ? atof(argv[1]) : 20.0;
    const long period = 1000000000L / 256;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    const double wallStart = seconds(CLOCK_MONOTONIC);
    const double cpuStart = seconds(CLOCK_PROCESS_CPUTIME_ID);
    long wakes = 0;
    while (seconds(CLOCK_MONOTONIC) - wallStart < length) {
        next.tv_nsec += period;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
        ++wakes;
    }
    const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    const double wall = seconds(CLOCK_MONOTONIC) - wallStart;
    printf("%.2f %% of one core (%.1f us a wake-up)\n", 100.0 * cpu / wall,
           1e6 * cpu / (double)wakes);
    return 0;
}
