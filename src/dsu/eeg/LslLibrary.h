#pragma once
// The user's liblsl (Lab Streaming Layer), loaded at run time: the program builds, installs
// and runs without it, and only Source = lsl needs it. The functions are declared here from
// liblsl's documented C API (lsl_c.h), as pointers taken from the library by name; the
// library stays loaded while the object lives.

#include <cstdint>
#include <string>

namespace solvane::dsusim {

class LslLibrary {
public:
    // Opaque handles of the C API.
    using StreamInfo = struct lsl_streaminfo_struct_*;
    using Inlet = struct lsl_inlet_struct_*;
    using Xml = struct lsl_xml_ptr_struct_*;

    /// lsl_error_code_t
    static constexpr int32_t NoError = 0;
    static constexpr int32_t TimeoutError = -1;
    static constexpr int32_t LostError = -2;
    /// lsl_channel_format_t values that matter here
    static constexpr int32_t FormatString = 3;
    static constexpr int32_t FormatUndefined = 0;
    /// lsl_get_nominal_srate of an irregular stream
    static constexpr double IrregularRate = 0.0;
    /// 1.14, as lsl_library_version() counts (major * 100 + minor)
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

    int32_t (*library_version)() = nullptr;
    int32_t (*resolve_byprop)(StreamInfo* buffer, uint32_t buffer_elements, const char* prop,
                              const char* value, int32_t minimum, double timeout) = nullptr;
    int32_t (*resolve_all)(StreamInfo* buffer, uint32_t buffer_elements,
                           double wait_time) = nullptr;
    const char* (*get_name)(StreamInfo info) = nullptr;
    const char* (*get_type)(StreamInfo info) = nullptr;
    const char* (*get_source_id)(StreamInfo info) = nullptr;
    const char* (*get_hostname)(StreamInfo info) = nullptr;
    int32_t (*get_channel_count)(StreamInfo info) = nullptr;
    double (*get_nominal_srate)(StreamInfo info) = nullptr;
    int32_t (*get_channel_format)(StreamInfo info) = nullptr; // an enum, int-sized
    Xml (*get_desc)(StreamInfo info) = nullptr;
    void (*destroy_streaminfo)(StreamInfo info) = nullptr;
    Inlet (*create_inlet)(StreamInfo info, int32_t max_buflen, int32_t max_chunklen,
                          int32_t recover) = nullptr;
    void (*destroy_inlet)(Inlet in) = nullptr;
    StreamInfo (*get_fullinfo)(Inlet in, double timeout, int32_t* ec) = nullptr;
    void (*open_stream)(Inlet in, double timeout, int32_t* ec) = nullptr;
    double (*pull_sample_f)(Inlet in, float* buffer, int32_t buffer_elements, double timeout,
                            int32_t* ec) = nullptr;
    unsigned long (*pull_chunk_f)(Inlet in, float* data_buffer, double* timestamp_buffer,
                                  unsigned long data_buffer_elements,
                                  unsigned long timestamp_buffer_elements, double timeout,
                                  int32_t* ec) = nullptr;
    Xml (*child)(Xml e, const char* name) = nullptr;
    Xml (*next_sibling_n)(Xml e, const char* name) = nullptr;
    const char* (*child_value_n)(Xml e, const char* name) = nullptr;

private:
    template <typename Function> void take(Function& function, const char* name);

    void* handle_ = nullptr;
    std::string file_;
    int32_t version_ = 0;
};

} // namespace solvane::dsusim
