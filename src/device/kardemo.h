/* The C interface of the DSU device library, libkardemo.so.
 *
 * Every integer is a signed 32-bit value and every result a status. Texts are writable
 * NUL-terminated 8-bit strings, valid during the call only. "one" arguments point at a
 * variable holding 1. The program calls these fourteen functions by name after loading
 * the library at run time; our bundled DSU (src/dsu) implements them. */
#ifndef SOLVANE_KARDEMO_H
#define SOLVANE_KARDEMO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KARDEMO_PACKET_ELEMENTS 8 /* elements of one packet */
#define KARDEMO_PACKET_RATE 256   /* packets a second: the DSU's sample rate */
#define KARDEMO_PORT_SLOTS 501    /* slots of the ListActiveCOMPorts array */

int32_t SetDebugMode(int32_t *one, int32_t mode, char *debugFile);
int32_t SetRecordingLength(int32_t length);
int32_t ReadDelay(int32_t delay);
int32_t SetDataTransferMode(int32_t mode, char *text1, char *text2);
int32_t SetDSUBaudRate(int32_t *one, int32_t baudCode);
int32_t SetDSUPacketLength(int32_t *one, int32_t length);
int32_t SetComPorts(int32_t *one, int32_t first, int32_t second, int32_t port);
int32_t SetScanWaitTime(int32_t *one, int32_t waitTime);
int32_t InitialiseDSU(int32_t *one);
int32_t GetP3Data(int32_t *packet, int32_t elements, int32_t *one, int32_t *packetCount,
                  int32_t *reserved);
int32_t ActiveComPort(int32_t *one);
int32_t TerminateDSU(int32_t first, int32_t second, char *sessionFile);
int32_t SendCommandToDSU(char *command, int32_t length);
int32_t ListActiveCOMPorts(int32_t *ports); /* ports: KARDEMO_PORT_SLOTS slots */

#ifdef __cplusplus
}
#endif

#endif
