/* A stand-in for liblsl with the same C interface (the functions the bundled DSU uses), for the
 * tests: it serves scripted streams without any network. Each stream has its metadata, a
 * channel format, a sine of known amplitude per channel (channel c: (c + 1) x the amplitude),
 * a backlog that an inlet holds as soon as it is opened, a pause in its time stamps and an end.
 * A blocking pull makes the next few samples "arrive" (or, paced, waits for the next one due
 * at the stream's rate from the moment the inlet was opened); after the end it waits out its
 * timeout and returns nothing, as a stream gone silent does with recovery on. The standin_
 * functions script it. Built a second time without lsl_child_value_n (STANDIN_LACKS_CHILD_VALUE) to
 * stand for a library that lacks a function. */

#define _GNU_SOURCE
#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define EXPORT __attribute__((visibility("default")))
#define MAX_STREAMS 8
#define MAX_CHANNELS 160
#define TEXT 40

typedef struct Node {
    int kind; /* 0 empty, 1 desc, 2 channels, 3 channel */
    int stream;
    int channel;
} Node;

typedef struct Stream {
    char name[TEXT], type[TEXT], source[TEXT];
    double rate;
    int format, channels, unopenable;
    char labels[MAX_CHANNELS][TEXT], units[MAX_CHANNELS][TEXT];
    double frequency, amplitude;
    long backlog, beforePause, total; /* samples */
    double pause;                     /* seconds */
    int paced;
    Node desc, channelList, channel[MAX_CHANNELS];
} Stream;

typedef struct Info {
    int stream, full;
} Info;

typedef struct Inlet {
    int stream;
    long backlogLeft, next, available;
    double opened; /* monotonic seconds */
} Inlet;

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static Stream streams[MAX_STREAMS];
static int streamCount;
static int version = 116;
static double lastResolveTimeout = -1.0, lastBufferLength = -1.0;
static int lastRecover = -1, inletsOpen, silentPulls;
static Node empty;
static double openedLast;
static long firstLive = -1; /* the sample the first blocking pull found waiting */

static double monotonic(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static Info* newInfo(int stream, int full) {
    Info* info = malloc(sizeof *info);
    info->stream = stream;
    info->full = full;
    return info;
}

static void split(const char* list, char (*into)[TEXT], int count) {
    for (int i = 0; i < count; ++i)
        into[i][0] = '\0';
    for (int i = 0; list != NULL && *list != '\0' && i < count; ++i) {
        const char* comma = strchr(list, ',');
        size_t length = comma != NULL ? (size_t)(comma - list) : strlen(list);
        if (length >= TEXT)
            length = TEXT - 1;
        memcpy(into[i], list, length);
        into[i][length] = '\0';
        list = comma != NULL ? comma + 1 : "";
    }
}

EXPORT void standin_reset(int libraryVersion) {
    pthread_mutex_lock(&lock);
    memset(streams, 0, sizeof streams);
    streamCount = 0;
    version = libraryVersion;
    lastResolveTimeout = lastBufferLength = -1.0;
    lastRecover = -1;
    silentPulls = 0;
    pthread_mutex_unlock(&lock);
}

/* labels and units: comma separated, or NULL for a stream without that metadata. */
EXPORT int standin_add_stream(const char* name, const char* type, const char* source, double rate,
                              int format, int channels, const char* labels, const char* units) {
    pthread_mutex_lock(&lock);
    const int s = streamCount++;
    Stream* stream = &streams[s];
    strncpy(stream->name, name, TEXT - 1);
    strncpy(stream->type, type, TEXT - 1);
    strncpy(stream->source, source, TEXT - 1);
    stream->rate = rate;
    stream->format = format;
    stream->channels = channels;
    split(labels, stream->labels, channels < MAX_CHANNELS ? channels : MAX_CHANNELS);
    split(units, stream->units, channels < MAX_CHANNELS ? channels : MAX_CHANNELS);
    stream->desc = (Node){1, s, 0};
    stream->channelList = (Node){labels != NULL || units != NULL ? 2 : 0, s, 0};
    for (int c = 0; c < MAX_CHANNELS; ++c)
        stream->channel[c] = (Node){3, s, c};
    stream->frequency = 10.0;
    stream->amplitude = 10.0;
    stream->total = (long)(rate * 4);
    stream->beforePause = stream->total;
    pthread_mutex_unlock(&lock);
    return s;
}

/* Channel c carries (c + 1) x amplitude x sin(2 pi frequency t), in the stream's units. */
EXPORT void standin_content(int s, double frequency, double amplitude) {
    streams[s].frequency = frequency;
    streams[s].amplitude = amplitude;
}

/* A backlog of constant 5000 that the inlet holds when opened, then `before` seconds of the
 * sine, a jump of `pause` seconds in the time stamps, `after` seconds more, then the end. */
EXPORT void standin_timeline(int s, double backlog, double before, double pause, double after) {
    Stream* stream = &streams[s];
    stream->backlog = (long)(backlog * stream->rate);
    stream->beforePause = (long)(before * stream->rate);
    stream->total = stream->beforePause + (long)(after * stream->rate);
    stream->pause = pause;
}

/* Samples come at the stream's rate in real time, sample k at standin_due(k). */
EXPORT void standin_paced(int s) {
    streams[s].paced = 1;
}
/* Monotonic seconds (CLOCK_MONOTONIC) at which sample k of the last inlet opened was due. */
EXPORT double standin_due(int s, long k) {
    return openedLast + (double)k / streams[s].rate;
}
/* The live part's sample the first blocking pull of the last inlet opened found waiting: those
 * before it were taken without waiting, as a backlog is; -1 before that pull. */
EXPORT long standin_first_live(void) {
    pthread_mutex_lock(&lock);
    const long first = firstLive;
    pthread_mutex_unlock(&lock);
    return first;
}

EXPORT void standin_unopenable(int s) {
    streams[s].unopenable = 1;
}

EXPORT double standin_last_resolve_timeout(void) {
    return lastResolveTimeout;
}
EXPORT double standin_last_buffer_length(void) {
    return lastBufferLength;
}
EXPORT int standin_last_recover(void) {
    return lastRecover;
}
EXPORT int standin_inlets_open(void) {
    return inletsOpen;
}
/* Blocking pulls that found the stream at its end: after the first, its reader has had all. */
EXPORT int standin_silent_pulls(void) {
    pthread_mutex_lock(&lock);
    const int pulls = silentPulls;
    pthread_mutex_unlock(&lock);
    return pulls;
}

/* ---- the liblsl C interface ---- */

EXPORT int32_t lsl_library_version(void) {
    return version;
}

EXPORT int32_t lsl_resolve_byprop(Info** buffer, uint32_t elements, const char* prop,
                                  const char* value, int32_t minimum, double timeout) {
    (void)minimum;
    pthread_mutex_lock(&lock);
    lastResolveTimeout = timeout;
    int32_t found = 0;
    for (int s = 0; s < streamCount && (uint32_t)found < elements; ++s) {
        const char* field = strcmp(prop, "name") == 0   ? streams[s].name
                            : strcmp(prop, "type") == 0 ? streams[s].type
                                                        : NULL;
        if (field != NULL && strcmp(field, value) == 0)
            buffer[found++] = newInfo(s, 0);
    }
    pthread_mutex_unlock(&lock);
    return found;
}

EXPORT int32_t lsl_resolve_all(Info** buffer, uint32_t elements, double waitTime) {
    pthread_mutex_lock(&lock);
    lastResolveTimeout = waitTime;
    int32_t found = 0;
    for (int s = 0; s < streamCount && (uint32_t)found < elements; ++s)
        buffer[found++] = newInfo(s, 0);
    pthread_mutex_unlock(&lock);
    return found;
}

EXPORT const char* lsl_get_name(Info* info) {
    return streams[info->stream].name;
}
EXPORT const char* lsl_get_type(Info* info) {
    return streams[info->stream].type;
}
EXPORT const char* lsl_get_source_id(Info* info) {
    return streams[info->stream].source;
}
EXPORT const char* lsl_get_hostname(Info* info) {
    (void)info;
    return "standin-host";
}
EXPORT int32_t lsl_get_channel_count(Info* info) {
    return streams[info->stream].channels;
}
EXPORT double lsl_get_nominal_srate(Info* info) {
    return streams[info->stream].rate;
}
EXPORT int lsl_get_channel_format(Info* info) {
    return streams[info->stream].format;
}
/* Resolved infos are short: only the full info of an inlet has the description. */
EXPORT Node* lsl_get_desc(Info* info) {
    return info->full ? &streams[info->stream].desc : &empty;
}
EXPORT void lsl_destroy_streaminfo(Info* info) {
    free(info);
}

EXPORT Node* lsl_child(Node* e, const char* name) {
    if (e->kind == 1 && strcmp(name, "channels") == 0)
        return &streams[e->stream].channelList;
    if (e->kind == 2 && strcmp(name, "channel") == 0)
        return &streams[e->stream].channel[0];
    return &empty;
}
EXPORT Node* lsl_next_sibling_n(Node* e, const char* name) {
    if (e->kind == 3 && strcmp(name, "channel") == 0 && e->channel + 1 < MAX_CHANNELS &&
        e->channel + 1 < streams[e->stream].channels)
        return &streams[e->stream].channel[e->channel + 1];
    return &empty;
}
#ifndef STANDIN_LACKS_CHILD_VALUE
EXPORT const char* lsl_child_value_n(Node* e, const char* name) {
    if (e->kind != 3)
        return "";
    if (strcmp(name, "label") == 0)
        return streams[e->stream].labels[e->channel];
    if (strcmp(name, "unit") == 0)
        return streams[e->stream].units[e->channel];
    return "";
}
#endif

EXPORT Inlet* lsl_create_inlet(Info* info, int32_t maxBuffer, int32_t maxChunk, int32_t recover) {
    (void)maxChunk;
    Inlet* inlet = calloc(1, sizeof *inlet);
    inlet->stream = info->stream;
    lastBufferLength = maxBuffer;
    lastRecover = recover;
    ++inletsOpen;
    return inlet;
}
EXPORT void lsl_destroy_inlet(Inlet* inlet) {
    --inletsOpen;
    free(inlet);
}
EXPORT Info* lsl_get_fullinfo(Inlet* inlet, double timeout, int32_t* ec) {
    (void)timeout;
    *ec = 0;
    return newInfo(inlet->stream, 1);
}
EXPORT void lsl_open_stream(Inlet* inlet, double timeout, int32_t* ec) {
    (void)timeout;
    if (streams[inlet->stream].unopenable) {
        *ec = -1; /* lsl_timeout_error */
        return;
    }
    *ec = 0;
    inlet->backlogLeft = streams[inlet->stream].backlog;
    inlet->opened = openedLast = monotonic();
    firstLive = -1;
}

/* A paced stream's samples due by now. */
static void arrive(Inlet* inlet) {
    const Stream* stream = &streams[inlet->stream];
    if (!stream->paced)
        return;
    const long due = (long)((monotonic() - inlet->opened) * stream->rate) + 1;
    inlet->available = due < stream->total ? due : stream->total;
}

/* Sample `k` of the live part (or of the backlog when `backlog`): its values and time stamp. */
static double sample(const Stream* stream, long k, int backlog, float* values) {
    double t = 1000.0 + (double)k / stream->rate;
    if (backlog)
        t -= (double)stream->backlog / stream->rate;
    else if (k >= stream->beforePause)
        t += stream->pause;
    for (int c = 0; c < stream->channels; ++c) {
        double v = backlog ? 5000.0
                           : (c + 1) * stream->amplitude *
                                 sin(2.0 * M_PI * stream->frequency * (double)k / stream->rate);
        if (stream->format >= 4) /* integer formats */
            v = round(v);
        values[c] = (float)v;
    }
    return t;
}

/* The next waiting sample into `values`; 0 when none is waiting. */
static double take(Inlet* inlet, float* values) {
    const Stream* stream = &streams[inlet->stream];
    if (inlet->backlogLeft > 0) {
        const long k = stream->backlog - inlet->backlogLeft--;
        return sample(stream, k, 1, values);
    }
    if (inlet->next < inlet->available)
        return sample(stream, inlet->next++, 0, values);
    return 0.0;
}

EXPORT double lsl_pull_sample_f(Inlet* inlet, float* buffer, int32_t elements, double timeout,
                                int32_t* ec) {
    const Stream* stream = &streams[inlet->stream];
    *ec = 0;
    if (elements < stream->channels) {
        *ec = -3; /* lsl_argument_error */
        return 0.0;
    }
    pthread_mutex_lock(&lock);
    arrive(inlet);
    if (firstLive < 0 && timeout > 0.0)
        firstLive = inlet->next;
    double t = take(inlet, buffer);
    if (t == 0.0 && timeout > 0.0 && stream->paced && inlet->available < stream->total) {
        const double wait = inlet->opened + (double)inlet->available / stream->rate - monotonic();
        pthread_mutex_unlock(&lock);
        if (wait > 0.0 && wait < timeout) {
            struct timespec pause = {0, (long)(wait * 1e9)};
            nanosleep(&pause, NULL);
        }
        pthread_mutex_lock(&lock);
        arrive(inlet);
        t = take(inlet, buffer);
    } else if (t == 0.0 && timeout > 0.0 && inlet->available < stream->total) {
        long arrive = (long)(stream->rate / 32.0) + 1;
        inlet->available =
            inlet->available + arrive < stream->total ? inlet->available + arrive : stream->total;
        t = take(inlet, buffer);
    }
    if (t == 0.0 && timeout > 0.0)
        ++silentPulls;
    pthread_mutex_unlock(&lock);
    if (t == 0.0 && timeout > 0.0) {
        /* Gone silent: nothing comes within the timeout. */
        const double wait = timeout < 0.05 ? timeout : 0.05;
        struct timespec pause = {0, (long)(wait * 1e9)};
        nanosleep(&pause, NULL);
    }
    return t;
}

EXPORT unsigned long lsl_pull_chunk_f(Inlet* inlet, float* data, double* stamps,
                                      unsigned long dataElements, unsigned long stampElements,
                                      double timeout, int32_t* ec) {
    (void)timeout;
    const Stream* stream = &streams[inlet->stream];
    const unsigned long channels = (unsigned long)stream->channels;
    *ec = 0;
    if (dataElements % channels != 0 ||
        (stamps != NULL && stampElements * channels < dataElements)) {
        *ec = -3;
        return 0;
    }
    pthread_mutex_lock(&lock);
    arrive(inlet);
    unsigned long samples = 0;
    while ((samples + 1) * channels <= dataElements) {
        const double t = take(inlet, data + samples * channels);
        if (t == 0.0)
            break;
        if (stamps != NULL)
            stamps[samples] = t;
        ++samples;
    }
    pthread_mutex_unlock(&lock);
    return samples * channels;
}
