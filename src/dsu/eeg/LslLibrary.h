#pragma once
// The user's liblsl (Lab Streaming Layer), loaded at run time: the program builds, installs
// and runs without it, and only Source = lsl needs it. The few calls it makes are declared
// here as pointers, taken from the library by name; the library stays loaded while the
// object lives.

#include <cstdint>
#include <string>

namespace solvane::dsusim {

class LslLibrary {
public:
    // Handles the library hands out; never looked into here, only passed back.
    using StreamInfo = struct StreamInfoHandle*;
    using Inlet = struct InletHandle*;
    using Xml = struct XmlHandle*;

    /// Error codes that the calls below set
    static constexpr int32_t NoError = 0;
    static constexpr int32_t TimeoutError = -1;
    static constexpr int32_t LostError = -2;
    /// Channel formats that matter here
    static constexpr int32_t FormatString = 3;
    static constexpr int32_t FormatUndefined = 0;
    /// The nominal rate of an irregular stream
    static constexpr double IrregularRate = 0.0;
    /// 1.14, counted as the library counts its version (major * 100 + minor)
    static constexpr int32_t OldestVersion = 114;

    /// Loads `path`, or when it is empty liblsl.so.2 and then liblsl.so from the system's
    /// search path. Throws SimulatorConfigError (key LslLibrary) when no library can be
    /// loaded, when it is older than 1.14 or lacks a function.
    explicit LslLibrary(const std::string& path);
    ~LslLibrary();
    LslLibrary(const LslLibrary&) = delete;
    LslLibrary& operator=(const LslLibrary&) = delete;

    /// The file that was loaded and its version, for the debug log.
    [[nodiscard]] std::string description() const;

    // The calls this program makes, each taken from the library by its exported name
    // ("lsl_" and the member's name). Streams are found into `found` (room for `room`),
    // samples pulled into `into` (room for `room` values; `stamps`, room for `stampRoom`).
    int32_t (*library_version)() = nullptr;
    int32_t (*resolve_byprop)(StreamInfo* found, uint32_t room, const char* property,
                              const char* value, int32_t atLeast, double seconds) = nullptr;
    int32_t (*resolve_all)(StreamInfo* found, uint32_t room, double seconds) = nullptr;
    const char* (*get_name)(StreamInfo stream) = nullptr;
    const char* (*get_type)(StreamInfo stream) = nullptr;
    const char* (*get_source_id)(StreamInfo stream) = nullptr;
    const char* (*get_hostname)(StreamInfo stream) = nullptr;
    int32_t (*get_channel_count)(StreamInfo stream) = nullptr;
    double (*get_nominal_srate)(StreamInfo stream) = nullptr;
    int32_t (*get_channel_format)(StreamInfo stream) = nullptr; // an enum, int-sized
    Xml (*get_desc)(StreamInfo stream) = nullptr;
    void (*destroy_streaminfo)(StreamInfo stream) = nullptr;
    Inlet (*create_inlet)(StreamInfo stream, int32_t bufferSeconds, int32_t chunkSamples,
                          int32_t reconnect) = nullptr;
    void (*destroy_inlet)(Inlet inlet) = nullptr;
    StreamInfo (*get_fullinfo)(Inlet inlet, double seconds, int32_t* error) = nullptr;
    void (*open_stream)(Inlet inlet, double seconds, int32_t* error) = nullptr;
    double (*pull_sample_f)(Inlet inlet, float* into, int32_t room, double seconds,
                            int32_t* error) = nullptr;
    unsigned long (*pull_chunk_f)(Inlet inlet, float* into, double* stamps, unsigned long room,
                                  unsigned long stampRoom, double seconds,
                                  int32_t* error) = nullptr;
    Xml (*child)(Xml node, const char* name) = nullptr;
    Xml (*next_sibling_n)(Xml node, const char* name) = nullptr;
    const char* (*child_value_n)(Xml node, const char* name) = nullptr;

private:
    template <typename Function> void take(Function& function, const char* name);

    void* handle_ = nullptr;
    std::string file_;
    int32_t version_ = 0;
};

} // namespace solvane::dsusim
