/* A stand-in device library for measuring the program while it streams: 256 packets per second
 * by the clock from InitialiseDSU on, and a poll without a packet due answers "no data" at once,
 * as a library without a wait of its own does. The packets hold a 10 Hz sine on the channel
 * elements. With debug mode on, set-up, commands and shut-down (not polls) go to the debug file,
 * one line each. */

#include "device/kardemo.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#define EXPORT __attribute__((visibility("default")))

static const double PacketsPerSecond = KARDEMO_PACKET_RATE;
static struct timespec started;
static long long delivered;
static int initialised;
static FILE* debugLog;

static void logLine(const char* text) {
    if (debugLog != NULL) {
        fputs(text, debugLog);
        fputc('\n', debugLog);
        fflush(debugLog);
    }
}

static long long packetsDue(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double elapsed =
        (double)(now.tv_sec - started.tv_sec) + (double)(now.tv_nsec - started.tv_nsec) * 1e-9;
    return (long long)(elapsed * PacketsPerSecond);
}

EXPORT int32_t SetDebugMode(int32_t* one, int32_t mode, char* debugFile) {
    (void)one;
    if (debugLog != NULL)
        fclose(debugLog);
    debugLog = (mode == 1 && debugFile != NULL) ? fopen(debugFile, "w") : NULL;
    logLine("SetDebugMode");
    return 0;
}
EXPORT int32_t SetRecordingLength(int32_t length) {
    (void)length;
    return 0;
}
EXPORT int32_t ReadDelay(int32_t delay) {
    (void)delay;
    return 0;
}
EXPORT int32_t SetDataTransferMode(int32_t mode, char* text1, char* text2) {
    (void)mode;
    (void)text1;
    (void)text2;
    return 0;
}
EXPORT int32_t SetDSUBaudRate(int32_t* one, int32_t baudCode) {
    (void)one;
    (void)baudCode;
    return 0;
}
EXPORT int32_t SetDSUPacketLength(int32_t* one, int32_t length) {
    (void)one;
    (void)length;
    return 0;
}
EXPORT int32_t SetComPorts(int32_t* one, int32_t first, int32_t second, int32_t port) {
    (void)one;
    (void)first;
    (void)second;
    (void)port;
    return 0;
}
EXPORT int32_t SetScanWaitTime(int32_t* one, int32_t waitTime) {
    (void)one;
    (void)waitTime;
    return 0;
}

EXPORT int32_t InitialiseDSU(int32_t* one) {
    (void)one;
    clock_gettime(CLOCK_MONOTONIC, &started);
    delivered = 0;
    initialised = 1;
    logLine("InitialiseDSU");
    return 0;
}

EXPORT int32_t GetP3Data(int32_t* packet, int32_t elements, int32_t* one, int32_t* packetCount,
                         int32_t* reserved) {
    (void)one;
    (void)reserved;
    *packetCount = 0;
    if (!initialised || elements < KARDEMO_PACKET_ELEMENTS)
        return -1;
    if (delivered >= packetsDue())
        return 1;
    const double phase = 2.0 * M_PI * 10.0 * (double)delivered / PacketsPerSecond;
    const int32_t value = 512 + (int32_t)lround(40.0 * sin(phase));
    for (int i = 0; i < KARDEMO_PACKET_ELEMENTS; ++i)
        packet[i] = value;
    ++delivered;
    *packetCount = 1;
    return 0;
}

EXPORT int32_t ActiveComPort(int32_t* one) {
    (void)one;
    logLine("ActiveComPort");
    return 1;
}

EXPORT int32_t TerminateDSU(int32_t first, int32_t second, char* sessionFile) {
    (void)first;
    (void)second;
    (void)sessionFile;
    initialised = 0;
    logLine("TerminateDSU");
    return 0;
}

EXPORT int32_t SendCommandToDSU(char* command, int32_t length) {
    char line[32];
    snprintf(line, sizeof line, "SendCommandToDSU(%.6s)", length == 6 ? command : "");
    logLine(line);
    return 0;
}

EXPORT int32_t ListActiveCOMPorts(int32_t* ports) {
    ports[0] = 1;
    return 1;
}
