#include "dsu/eeg/LslLibrary.h"

#include "dsu/common/ConfigError.h"

#include <dlfcn.h>

namespace solvane::dsusim {

namespace {

constexpr const char* WhereToGetIt =
    "install liblsl 1.14 or later from the liblsl project's release packages "
    "(github.com/sccn/liblsl/releases), or name its file with LslLibrary";

} // namespace

LslLibrary::LslLibrary(const std::string& path) {
    // RTLD_NODELETE: liblsl runs threads of its own that may outlive our last inlet, so its
    // code stays mapped after dlclose.
    constexpr int Mode = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
    std::string failures;
    if (!path.empty()) {
        handle_ = dlopen(path.c_str(), Mode);
        file_ = path;
        if (handle_ == nullptr)
            failures = dlerror();
    } else {
        for (const char* name : {"liblsl.so.2", "liblsl.so"}) {
            handle_ = dlopen(name, Mode);
            file_ = name;
            if (handle_ != nullptr)
                break;
            failures += (failures.empty() ? "" : "; ") + std::string(dlerror());
        }
    }
    if (handle_ == nullptr)
        throw SimulatorConfigError(ConfigKey::LslLibrary, ConfigFault::LibraryMissing,
                                   "LslLibrary: liblsl cannot be loaded (" + failures + "); " +
                                       WhereToGetIt);
    try {
        take(library_version, "lsl_library_version");
        version_ = library_version();
        if (version_ < OldestVersion)
            throw SimulatorConfigError(ConfigKey::LslLibrary, ConfigFault::LibraryTooOld,
                                       "LslLibrary: " + file_ + " is liblsl " +
                                           std::to_string(version_ / 100) + "." +
                                           std::to_string(version_ % 100) + "; " + WhereToGetIt);
        take(resolve_byprop, "lsl_resolve_byprop");
        take(resolve_all, "lsl_resolve_all");
        take(get_name, "lsl_get_name");
        take(get_type, "lsl_get_type");
        take(get_source_id, "lsl_get_source_id");
        take(get_hostname, "lsl_get_hostname");
        take(get_channel_count, "lsl_get_channel_count");
        take(get_nominal_srate, "lsl_get_nominal_srate");
        take(get_channel_format, "lsl_get_channel_format");
        take(get_desc, "lsl_get_desc");
        take(destroy_streaminfo, "lsl_destroy_streaminfo");
        take(create_inlet, "lsl_create_inlet");
        take(destroy_inlet, "lsl_destroy_inlet");
        take(get_fullinfo, "lsl_get_fullinfo");
        take(open_stream, "lsl_open_stream");
        take(pull_sample_f, "lsl_pull_sample_f");
        take(pull_chunk_f, "lsl_pull_chunk_f");
        take(child, "lsl_child");
        take(next_sibling_n, "lsl_next_sibling_n");
        take(child_value_n, "lsl_child_value_n");
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

LslLibrary::~LslLibrary() {
    dlclose(handle_);
}

template <typename Function> void LslLibrary::take(Function& function, const char* name) {
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr)
        throw SimulatorConfigError(ConfigKey::LslLibrary, ConfigFault::SymbolMissing,
                                   "LslLibrary: " + file_ + " has no function " + name +
                                       "; it is not a usable liblsl; " + WhereToGetIt);
    function = reinterpret_cast<Function>(symbol);
}

std::string LslLibrary::description() const {
    return file_ + " (liblsl " + std::to_string(version_ / 100) + "." +
           std::to_string(version_ % 100) + ")";
}

} // namespace solvane::dsusim
