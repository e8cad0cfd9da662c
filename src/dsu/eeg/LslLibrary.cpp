#include "dsu/eeg/LslLibrary.h"

#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

constexpr const char* WhereToGetIt =
    "install liblsl 1.14 or later from the liblsl project's release packages "
    "(github.com/sccn/liblsl/releases), or name its file with LslLibrary";

// Whether the user's file is one dlopen may open: dlopen opens what it is given for reading
// and waits there for ever when that is a FIFO without a writer, so the file is looked at
// first, opened without waiting. False, with why, for what cannot be opened or is no plain
// file.
bool loadable(const std::string& path, std::string& failure) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        failure = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        failure = "it is no plain file (a folder, FIFO, device or socket)";
    ::close(fd);
    return failure.empty();
}

} // namespace

LslLibrary::LslLibrary(const std::string& path) {
    // RTLD_NODELETE: liblsl runs threads of its own that may outlive our last inlet, so its
    // code stays mapped after dlclose.
    constexpr int Mode = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
    std::string failures;
    if (!path.empty()) {
        file_ = shortened(path);
        if (!loadable(path, failures))
            failures = file_ + ": " + failures;
        else
            handle_ = dlopen(path.c_str(), Mode);
        if (handle_ == nullptr && failures.empty()) {
            // dlerror begins with the path, which may be long.
            failures = dlerror();
            if (failures.compare(0, path.size() + 2, path + ": ") == 0)
                failures = file_ + failures.substr(path.size());
            else
                failures = shortened(failures);
        }
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
