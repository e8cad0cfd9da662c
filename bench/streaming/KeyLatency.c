/* The time from a key to the program's answer, measured from outside: the real program's
 * window is sent Space through XTEST to start a run, then, once InitialiseDSU is done and
 * after a random wait, Space again to stop it; the time from that second key to the silencing
 * command SendCommandToDSU(WB0000) in the debug log (watched with inotify) is one sample, printed
 * in milliseconds on a line of its own. The random wait puts the key anywhere in the loop's rhythm
 * of passes.
 *
 *   key_latency <window> <debug file> <presses> */

#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

/* The debug log from byte `from` on, NUL-terminated, in `buffer` of `size` bytes. */
static void readLog(const char* file, long from, char* buffer, size_t size) {
    buffer[0] = '\0';
    const int fd = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    const ssize_t got = pread(fd, buffer, size - 1, from);
    buffer[got > 0 ? got : 0] = '\0';
    close(fd);
}

static long logSize(const char* file) {
    char buffer[1 << 16];
    readLog(file, 0, buffer, sizeof buffer);
    return (long)strlen(buffer);
}

/* Waits until the log holds `text` after byte `from` (and not `absent`, when given), up to
 * `seconds`; the time it was seen, or a negative number. */
static double waitFor(int watch, const char* file, long from, const char* text, const char* absent,
                      double seconds) {
    static char buffer[1 << 16];
    const double deadline = now() + seconds;
    for (;;) {
        readLog(file, from, buffer, sizeof buffer);
        if (strstr(buffer, text) != NULL && (absent == NULL || strstr(buffer, absent) == NULL))
            return now();
        const double left = deadline - now();
        if (left <= 0)
            return -1.0;
        struct pollfd ready = {watch, POLLIN, 0};
        if (poll(&ready, 1, (int)(left * 1000) + 1) > 0) {
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
        }
    }
}

static void typeSpace(Display* display, Window window) {
    const KeyCode code = XKeysymToKeycode(display, XK_space);
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: key_latency <window> <debug file> <presses>\n");
        return 2;
    }
    const Window window = strtoul(argv[1], NULL, 10);
    const char* file = argv[2];
    const int presses = atoi(argv[3]);
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "key_latency: cannot open the display\n");
        return 1;
    }
    /* The folder is watched: the log is made afresh by each start. */
    char folder[4096];
    snprintf(folder, sizeof folder, "%s", file);
    char* slash = strrchr(folder, '/');
    if (slash != NULL)
        *slash = '\0';
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 ||
        inotify_add_watch(watch, slash != NULL ? folder : ".", IN_MODIFY | IN_CREATE) < 0) {
        fprintf(stderr, "key_latency: cannot watch %s: %s\n", folder, strerror(errno));
        return 1;
    }
    srand(1);
    for (int i = 0; i < presses; ++i) {
        typeSpace(display, window);
        /* SetDebugMode starts the log afresh, so the run before's end is gone from it. The
         * sound file is the last thing InitialiseDSU sets up: the loop runs once it is in the
         * log, past whatever InitialiseDSU had to do first (recovering sessions, say). */
        if (waitFor(watch, file, 0, "InitialiseDSU: sound into", "TerminateDSU", 20.0) < 0) {
            fprintf(stderr, "key_latency: run %d did not start\n", i + 1);
            return 1;
        }
        const struct timespec pause = {0, (150 + rand() % 250) * 1000000L};
        nanosleep(&pause, NULL);
        const long from = logSize(file);
        const double pressed = now();
        typeSpace(display, window);
        const double answered = waitFor(
            watch, file, from, "SendCommandToDSU(WB0000)\nSendCommandToDSU(WB0100)", NULL, 20.0);
        if (answered < 0) {
            fprintf(stderr, "key_latency: run %d was not silenced\n", i + 1);
            return 1;
        }
        printf("%.3f\n", (answered - pressed) * 1000.0);
        fflush(stdout);
        if (waitFor(watch, file, from, "TerminateDSU", NULL, 20.0) < 0) {
            fprintf(stderr, "key_latency: run %d did not end\n", i + 1);
            return 1;
        }
    }
    XCloseDisplay(display);
    return 0;
}
