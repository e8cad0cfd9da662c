/* The processor time a running process has used so far, all its threads, in nanoseconds:
 * processor_time <pid>. Read through the process's CPU-time clock, which the kernel brings up
 * to date when asked, unlike the per-thread figures in /proc that may lag for a thread that is
 * running. */

#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <time.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: processor_time <pid>\n");
        return 2;
    }
    clockid_t clock;
    struct timespec used;
    if (clock_getcpuclockid((pid_t)atol(argv[1]), &clock) != 0 ||
        clock_gettime(clock, &used) != 0) {
        perror("processor_time");
        return 1;
    }
    printf("%lld\n", (long long)used.tv_sec * 1000000000LL + used.tv_nsec);
    return 0;
}
