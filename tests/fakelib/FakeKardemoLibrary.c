/* A stand-in device library built as a real libkardemo.so, written in C against kardemo.h.
 * Each function answers a value made from its arguments, so that a caller can tell that the
 * right function was reached and received what it was handed. Built a second time without
 * TerminateDSU (FAKE_LACKS_TERMINATE) to stand for a library that lacks a function. */

#include "device/kardemo.h"

#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static int32_t length(const char* text) {
    return text != NULL ? (int32_t)strlen(text) : -1;
}

EXPORT int32_t SetDebugMode(int32_t* one, int32_t mode, char* debugFile) {
    return *one * 100000 + mode * 1000 + length(debugFile);
}

EXPORT int32_t SetRecordingLength(int32_t recordingLength) {
    return recordingLength + 1;
}

EXPORT int32_t ReadDelay(int32_t delay) {
    return delay + 2;
}

EXPORT int32_t SetDataTransferMode(int32_t mode, char* text1, char* text2) {
    return mode * 100 + length(text1) * 10 + length(text2) + 3;
}

EXPORT int32_t SetDSUBaudRate(int32_t* one, int32_t baudCode) {
    return *one * 100 + baudCode;
}

EXPORT int32_t SetDSUPacketLength(int32_t* one, int32_t packetLength) {
    return *one * 1000 + packetLength;
}

EXPORT int32_t SetComPorts(int32_t* one, int32_t first, int32_t second, int32_t port) {
    return *one * 1000000 + first * 10000 + second * 10 + port;
}

EXPORT int32_t SetScanWaitTime(int32_t* one, int32_t waitTime) {
    return -(*one) * waitTime;
}

EXPORT int32_t InitialiseDSU(int32_t* one) {
    return *one + 6;
}

EXPORT int32_t GetP3Data(int32_t* packet, int32_t elements, int32_t* one, int32_t* packetCount,
                         int32_t* reserved) {
    for (int32_t i = 0; i < elements; ++i)
        packet[i] = 100 + i;
    *packetCount = *one + 1;
    *reserved = 5;
    return 0;
}

EXPORT int32_t ActiveComPort(int32_t* one) {
    return *one + 41;
}

#ifndef FAKE_LACKS_TERMINATE
EXPORT int32_t TerminateDSU(int32_t first, int32_t second, char* sessionFile) {
    return first * 1000 + second * 100 + length(sessionFile);
}
#endif

EXPORT int32_t SendCommandToDSU(char* command, int32_t commandLength) {
    return commandLength * 1000 + command[0];
}

EXPORT int32_t ListActiveCOMPorts(int32_t* ports) {
    ports[0] = 1;
    ports[1] = 3;
    ports[500] = 9;
    return 1;
}
